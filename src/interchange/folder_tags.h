#pragma once
// Tags for an imported bookmark from the titles of the folders that hold it.

#include <string>
#include <string_view>

#include "store/xbel_elements.h"

namespace tessellink {

// The tags text made from the folder titles above the bookmark: filler words
// and one-character words dropped, duplicates collapsed, sorted, each word
// preceded by a space.
std::string FolderNameTags(TXMLBookmarkType bookmark);
// Sets the bookmark's tags value to FolderNameTags, empty text included.
void TagsFromFolderNames(TXMLBookmarkType bookmark);

}  // namespace tessellink
