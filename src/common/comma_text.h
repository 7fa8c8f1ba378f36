#pragma once
// Comma text: the list format of tag texts, keyword lists and INI values.
// Commas and blanks (any character up to the space) separate items, blanks
// before an item are skipped, and an item in double quotes keeps blanks and
// commas inside it ("" inside quotes stands for one quote).

#include <string>
#include <string_view>
#include <vector>

namespace tessellink {

std::vector<std::string> SplitCommaText(std::string_view text);

// Calls `item` for each item without building a list; the view may point into
// `text` or into a scratch buffer and is valid only during the call.
template <typename F>
void ForEachCommaItem(std::string_view text, F&& item);

// Items with a blank, comma, quote or control character are quoted.
std::string JoinCommaText(const std::vector<std::string>& items);

// True when `item` is one of the comma-text items of `list`, letter case ignored.
bool InCommaList(std::string_view item, std::string_view list);

namespace detail {
// Parses one item starting at `pos` (which is not at a separator); returns the
// position after it. Quoted items are unescaped into `scratch`.
std::size_t NextCommaItem(std::string_view text, std::size_t pos, std::string_view& item,
                          std::string& scratch);
std::size_t SkipCommaSeparator(std::string_view text, std::size_t pos, bool& trailingEmpty);
}  // namespace detail

template <typename F>
void ForEachCommaItem(std::string_view text, F&& item) {
  std::string scratch;
  std::size_t pos = 0;
  while (pos < text.size() && static_cast<unsigned char>(text[pos]) <= ' ' && text[pos] != '\0') ++pos;
  while (pos < text.size() && text[pos] != '\0') {
    std::string_view value;
    pos = detail::NextCommaItem(text, pos, value, scratch);
    item(value);
    bool trailingEmpty = false;
    pos = detail::SkipCommaSeparator(text, pos, trailingEmpty);
    if (trailingEmpty) item(std::string_view());
  }
}

}  // namespace tessellink
