#include "common/comma_text.h"

#include "common/text.h"

namespace tessellink {

namespace detail {

std::size_t NextCommaItem(std::string_view text, std::size_t pos, std::string_view& item,
                          std::string& scratch) {
  const std::size_t n = text.size();
  if (text[pos] == '"') {
    scratch.clear();
    ++pos;
    while (pos < n && text[pos] != '\0') {
      if (text[pos] == '"') {
        if (pos + 1 < n && text[pos + 1] == '"') {
          scratch.push_back('"');
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      scratch.push_back(text[pos++]);
    }
    item = scratch;
    return pos;
  }
  const std::size_t begin = pos;
  while (pos < n && static_cast<unsigned char>(text[pos]) > ' ' && text[pos] != ',') ++pos;
  item = text.substr(begin, pos - begin);
  return pos;
}

std::size_t SkipCommaSeparator(std::string_view text, std::size_t pos, bool& trailingEmpty) {
  const std::size_t n = text.size();
  auto isBlank = [&](std::size_t i) {
    return i < n && text[i] != '\0' && static_cast<unsigned char>(text[i]) <= ' ';
  };
  while (isBlank(pos)) ++pos;
  trailingEmpty = false;
  if (pos < n && text[pos] == ',') {
    if (pos + 1 >= n || text[pos + 1] == '\0') trailingEmpty = true;
    do {
      ++pos;
    } while (isBlank(pos));
  }
  return pos;
}

}  // namespace detail

std::vector<std::string> SplitCommaText(std::string_view text) {
  std::vector<std::string> items;
  ForEachCommaItem(text, [&](std::string_view item) { items.emplace_back(item); });
  return items;
}

std::string JoinCommaText(const std::vector<std::string>& items) {
  // A lone empty item would vanish as an empty text; quotes keep it.
  if (items.size() == 1 && items[0].empty()) return "\"\"";
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out.push_back(',');
    const std::string& item = items[i];
    bool quote = false;
    for (unsigned char c : item)
      if (c <= ' ' || c == ',' || c == '"') quote = true;
    if (!quote) {
      out += item;
      continue;
    }
    out.push_back('"');
    for (char c : item) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  }
  return out;
}

bool InCommaList(std::string_view item, std::string_view list) {
  bool found = false;
  ForEachCommaItem(list, [&](std::string_view candidate) {
    if (!found && SameText(candidate, item)) found = true;
  });
  return found;
}

}  // namespace tessellink
