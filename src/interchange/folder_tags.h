#pragma once
// Tags for an imported bookmark from the titles of the folders that hold it.

#include <cstddef>
#include <string>
#include <string_view>

#include "store/xbel_elements.h"

namespace tessellink {

// Folder-name tags stop at a whole word within this many bytes.
inline constexpr std::size_t kMaxFolderNameTagsBytes = 16 * 1024;

// The tags text made from the folder titles above the bookmark: filler words
// and one-character words dropped, duplicates collapsed, sorted, each word
// preceded by a space.
std::string FolderNameTags(TXMLBookmarkType bookmark);
// Sets the bookmark's tags value to FolderNameTags, empty text included.
void TagsFromFolderNames(TXMLBookmarkType bookmark);

}  // namespace tessellink
