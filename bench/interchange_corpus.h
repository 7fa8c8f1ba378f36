#pragma once
// Deterministic input files for the import and export benchmarks, shaped like
// what browsers write: a Firefox bookmark HTML export, an Opera 9 hotlist and a
// Firefox places.sqlite, each with 100,000 bookmarks in about 2,000 folders
// nested up to 6 deep.

#include <filesystem>
#include <string>

namespace tessellink::bench {

struct InterchangeShape {
  int bookmarks = 100000;
  int folders = 2000;
  int maxDepth = 6;
};

// Netscape bookmark HTML as Firefox exports it: ADD_DATE/LAST_MODIFIED, some
// TAGS and SHORTCUTURL attributes, some <DD> notes, non-ASCII titles, "&amp;" in
// addresses, the toolbar and "Other Bookmarks" folders.
std::string MakeBookmarkHtml(const InterchangeShape& shape = {});
// Opera 9's hotlist layout: CR LF, tab-indented keys, ID, CREATED, VISITED,
// DESCRIPTION with code 2 line breaks, UNIQUEID, folders closed by "-".
std::string MakeOperaHotlist(const InterchangeShape& shape = {});
// Firefox's moz_places and moz_bookmarks tables (its column sets, 32 KiB pages),
// written with the SQLite API in one transaction: the root and its five
// built-in folders, folders of type 2, bookmarks of type 1, a few separators,
// and tag folders with their untitled tag rows. `file` is replaced.
void WritePlacesDatabase(const std::filesystem::path& file, const InterchangeShape& shape = {});

// The three files under `folder` (created when missing), named as below.
inline constexpr const char* kHtmlCorpusName = "bookmarks.html";
inline constexpr const char* kOperaCorpusName = "opera6.adr";
inline constexpr const char* kPlacesCorpusName = "places.sqlite";
void WriteInterchangeCorpus(const std::filesystem::path& folder, const InterchangeShape& shape = {});

// Each file is written on first use, once per process, into one temporary
// folder; RemoveInterchangeFolder deletes that folder (call it at exit).
const std::filesystem::path& InterchangeFolder();
const std::filesystem::path& HtmlCorpusFile();
const std::filesystem::path& OperaCorpusFile();
const std::filesystem::path& PlacesCorpusFile();
void RemoveInterchangeFolder();

}  // namespace tessellink::bench
