#include "interchange/folder_tags.h"

#include <algorithm>
#include <vector>

#include "common/comma_text.h"
#include "common/text.h"
#include "store/xbel_builder.h"

namespace tessellink {
namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The filler words are ASCII, so matching them byte by byte with ASCII case
// folding finds exactly what a Unicode-aware match would.
std::string ReplaceAllCaseless(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + from.size() <= text.size() &&
        std::equal(from.begin(), from.end(), text.begin() + static_cast<std::ptrdiff_t>(i),
                   [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); })) {
      out.append(to);
      i += from.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

}  // namespace

std::string FolderNameTags(TXMLBookmarkType bookmark) {
  std::string words;
  for (pugi::xml_node n = bookmark.Node().parent(); n && !IsXbelRootNode(n); n = n.parent())
    if (IsFolderNode(n)) words.append(TXMLFolderType(n).Title()).push_back(' ');
  if (words.empty()) return {};

  static constexpr std::string_view kFillers[] = {" and ", "&", ";amp", " on ", " at ", " the ", "(", ")"};
  for (std::string_view filler : kFillers) words = ReplaceAllCaseless(words, filler, " ");

  std::vector<std::string> list = SplitCommaText(words);
  std::stable_sort(list.begin(), list.end(),
                   [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
  std::string tags;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i + 1 < list.size() && list[i] == list[i + 1]) continue;
    if (CharacterCount(list[i]) == 1) continue;
    // Deeply nested folders with long titles must not give a value the
    // bookmark file cannot hold: whole words up to the limit.
    if (tags.size() + 1 + list[i].size() > kMaxFolderNameTagsBytes) break;
    tags.append(" ").append(list[i]);
  }
  return tags;
}

void TagsFromFolderNames(TXMLBookmarkType bookmark) {
  TXbelBuilder::SetMetadata(bookmark, TagsOwnerUri, FolderNameTags(bookmark));
}

}  // namespace tessellink
