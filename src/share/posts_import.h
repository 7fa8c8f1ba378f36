#pragma once
// Merges the sharing service's collection (a posts document) into a bookmark
// document: known addresses get their share mark, the others become bookmarks
// of the "WebShare" folder.

#include <filesystem>
#include <string_view>

namespace tessellink {

class TXbelBuilder;

inline constexpr const char* kPostsTempFileName = "tmp.dat";
inline constexpr const char* kShareFolderTitle = "WebShare";
inline constexpr std::string_view kUnfiledTag = "system:unfiled";

struct TPostsImportResult {
  int posts = 0;
  int added = 0;        // new bookmarks in the share folder
  int skipped = 0;      // posts left out: a text too long for a bookmark file
  bool changed = false;  // anything in the document differs from before
};

// Writes `postsText` to "tmp.dat" in `dataFolder` and loads it from there.
// Throws FileReadError (or FileWriteError) before touching the document when
// the text is not a posts document. Texts enter the document as imports do
// (invalid UTF-8 repaired); a post with a text too long to keep the file
// loadable is left out and counted. Advances the builder's Progress once per post.
TPostsImportResult ImportPosts(TXbelBuilder& builder, std::string_view postsText,
                               const std::filesystem::path& dataFolder);

}  // namespace tessellink
