// Comma text is the splitter under every tag operation, keyword search and INI
// list: splitting any text must be safe, and joining a list must give a text
// that splits back into exactly that list.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/comma_text.h"
#include "fuzz_check.h"

namespace {

using namespace tessellink;

// The input as a list: items separated by NUL bytes, which is the one byte no
// item can hold (a text ends at it).
std::vector<std::string> ItemsOf(std::string_view data) {
  std::vector<std::string> items;
  if (data.empty()) return items;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = data.find('\0', begin);
    items.emplace_back(data.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (end == std::string_view::npos) break;
    begin = end + 1;
  }
  return items;
}

void CheckRoundTrip(const std::vector<std::string>& items) {
  const std::string joined = JoinCommaText(items);
  FUZZ_CHECK(SplitCommaText(joined) == items, "joined items split back into the same items");
  for (const std::string& item : items)
    if (!item.empty()) FUZZ_CHECK(InCommaList(item, joined), "every joined item is in the list");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);

  // Any text: the items it splits into hold no NUL, and they join and split back.
  const std::vector<std::string> split = SplitCommaText(data);
  for (const std::string& item : split) FUZZ_CHECK(item.find('\0') == std::string::npos, "items hold no NUL");
  std::size_t visited = 0;
  ForEachCommaItem(data, [&](std::string_view) { ++visited; });
  FUZZ_CHECK(visited == split.size(), "ForEachCommaItem sees the items SplitCommaText returns");
  CheckRoundTrip(split);

  // Any list of items: join, then split.
  CheckRoundTrip(ItemsOf(data));
  return 0;
}
