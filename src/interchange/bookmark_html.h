#pragma once
// Netscape/Firefox bookmark HTML: folders are H3 headings followed by nested
// DL lists, bookmarks are A anchors. The import fills a builder's working
// document; the export writes one.

#include <filesystem>

#include "store/xbel_builder.h"

namespace tessellink {

// Folders nested deeper than this keep their contents in the deepest allowed
// folder, so that the document still saves to a file that loads again.
inline constexpr std::size_t kMaxHtmlFolderDepth = 256;

// Appends the file's folders and bookmarks to the top level of the builder's
// working document. Throws FileReadError, before anything changes, when the file
// cannot be read; an entry that cannot be taken is logged through
// builder.RunLog and skipped. Advances builder.Progress once per bookmark.
void ImportBookmarkHtml(TXbelBuilder& builder, const std::filesystem::path& file);

// Writes the working document as bookmark HTML, after the lines of
// "firefoxheader.txt" in `dataFolder`. Throws FileReadError when the header
// cannot be read (nothing is written then) and FileWriteError when the file
// cannot be written (the old file stays whole).
void ExportBookmarkHtml(TXbelBuilder& builder, const std::filesystem::path& file,
                        const std::filesystem::path& dataFolder);

// Number of tags named "A" (with or without HREF): the progress total of an
// import. Throws FileReadError.
int CountAnchors(const std::filesystem::path& file);

}  // namespace tessellink
