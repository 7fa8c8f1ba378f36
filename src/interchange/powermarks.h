#pragma once
// Powermarks export files: a flat DL list of anchors, each followed by comment
// markers for its description and keywords and a metadata record with dates
// and a visit counter. Every bookmark lands at the top level.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbel_builder.h"

namespace tessellink {

// Appends the file's bookmarks to the top level of the builder's working
// document. Throws FileReadError, before anything changes, when the file cannot
// be read; an entry that cannot be taken is logged through builder.RunLog.
// Advances builder.Progress once per anchor, imported or not.
void ImportPowermarks(TXbelBuilder& builder, const std::filesystem::path& file);

// The entries of a "<!--mdata=[...]-->" comment, numbered from 0.
std::vector<std::string> SplitMetadata(std::string_view comment);

// The moment `hex` (a 32-bit hexadecimal count, no prefix) seconds after
// 1970-01-01 00:00:00, as whole seconds since then. Throws AppError for text
// that is not such a number.
int64_t HexSecondsToDate(std::string_view hex);

}  // namespace tessellink
