#pragma once
// The value types of the tag and search operations.

#include <cstdint>
#include <string>
#include <vector>

namespace tessellink {

// The tag that stands for bookmarks without tags; never stored.
inline constexpr const char* kNoneTag = "(none)";
inline constexpr const char* kHotTag = "[Hot]";

struct TTagEx {
  std::string Tag;
  int Count = 0;
  friend bool operator==(const TTagEx&, const TTagEx&) = default;
};
using TTagExList = std::vector<TTagEx>;

enum TSearchField : uint8_t {
  sfTitle = 1,
  sfDesc = 2,
  sfLink = 4,
  sfTags = 8,
  sfAll = 15,
};

struct TSearchCondition {
  std::string Keywords;  // comma text
  uint8_t Fields = sfAll;
  bool CaseSensitive = false;
  bool AllWords = false;  // every keyword must match, not just one
};

}  // namespace tessellink
