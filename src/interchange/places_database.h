#pragma once
// Firefox's bookmark store, the SQLite database "places.sqlite" of a profile:
// TFF3Converter reads its folders and bookmarks into a document of its own.
// The database is only ever opened read-only, and the wizard works on a copy
// (CopyPlacesDatabase) so that a running Firefox is not disturbed.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "store/progress.h"
#include "store/xbel_document.h"
#include "store/xbel_elements.h"

namespace tessellink {

class TRunLog;

// The three statements the conversion runs, as they stand.
inline constexpr const char* kPlacesFolderQuery =
    "select id,parent,title,dateAdded,lastModified from moz_bookmarks where type=2 and title<>''";
inline constexpr const char* kPlacesCountQuery =
    "select count(a.id) from moz_bookmarks as a,moz_places as b where a.fk=b.id and a.title<>''";
inline constexpr const char* kPlacesBookmarkQuery =
    "select a.id,a.type,a.parent,a.title,b.url,a.dateAdded,a.lastModified,b.visit_count from moz_bookmarks as "
    "a,moz_places as b where a.fk=b.id and a.title<>''";

// One imported row: its id and parent id as text, and the element made for it.
struct TFF3DataRec {
  std::string id;
  std::string parent;
  TXMLFolderType folder;
  TXMLBookmarkType bookmark;
};

class TFF3Converter {
 public:
  TFF3Converter();
  ~TFF3Converter();
  TFF3Converter(const TFF3Converter&) = delete;
  TFF3Converter& operator=(const TFF3Converter&) = delete;

  // Its total becomes the number of bookmarks; it advances once per bookmark.
  void SetProgress(IProgress* progress) { progress_ = progress; }
  // Rows that cannot be taken over are noted there as "places import error, ...".
  void SetLog(TRunLog* log) { log_ = log; }

  // Reads the database at `path` into a new document and returns its root.
  // Throws FileReadError naming the database (and the statement) with SQLite's
  // message when it cannot be opened or read; the document is empty then.
  TXMLXbelType Convert(const std::filesystem::path& path);

  // The folder of the first folder record whose id is exactly `parentId`.
  TXMLFolderType FindFolderRecord(std::string_view parentId) const;

  TXbelDocument& Document() const { return *document_; }
  // Hands the document over (to a builder); the converter keeps a new empty one
  // and forgets its records.
  std::unique_ptr<TXbelDocument> TakeDocument();

  const std::vector<TFF3DataRec>& FolderRecords() const { return folders_; }
  const std::vector<TFF3DataRec>& BookmarkRecords() const { return bookmarks_; }

 private:
  struct Impl;
  void Reset();
  TXMLXbelType Read(const std::filesystem::path& path);

  std::unique_ptr<TXbelDocument> document_;
  std::vector<TFF3DataRec> folders_;
  std::vector<TFF3DataRec> bookmarks_;
  std::unique_ptr<Impl> impl_;  // the id index of the folder records
  IProgress* progress_ = nullptr;
  TRunLog* log_ = nullptr;
};

// The first "places.sqlite" under the Firefox profile roots that exist, in
// this order: <home>/.mozilla/firefox/, <home>/snap/firefox/common/.mozilla/firefox/,
// <home>/.var/app/org.mozilla.firefox/.mozilla/firefox/. Empty when none.
std::filesystem::path FindPlacesFile(const std::filesystem::path& home);

// Why CopyPlacesDatabase failed: what() is the text the wizard shows
// ("Selected bookmark file does not exist." or "Copy file failed."), Reason()
// names the file and the cause.
class PlacesCopyError : public AppError {
 public:
  PlacesCopyError(const std::string& message, std::string reason) : AppError(message), reason_(std::move(reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// Copies the database to <dataFolder>/ff3.sqlite, replacing an earlier copy,
// together with its "-wal" and "-shm" files when they are there (as
// "ff3.sqlite-wal" and "ff3.sqlite-shm"), so that the copy holds what a running
// Firefox has not yet written into the database file itself. Leftovers of an
// earlier copy are removed. Returns the copy's path; throws PlacesCopyError.
std::filesystem::path CopyPlacesDatabase(const std::filesystem::path& source, const std::filesystem::path& dataFolder);

}  // namespace tessellink
