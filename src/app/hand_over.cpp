#include "app/hand_over.h"

#include <vector>

#include "common/text.h"

namespace tessellink {

std::string LinkHandOverText(std::string_view address, std::string_view title) {
  std::string text(kAddHandOverHeader);
  text += "\r\n";
  text += address;
  text += "\r\n";
  text += title;
  text += "\r\n";
  return text;
}

std::string OperaHandOverText(std::string_view address, std::string_view title) {
  std::string text(kAddHandOverHeader);
  text += '\n';
  text += address;
  text += '\n';
  text += title;
  return text;
}

std::string OpenHandOverText(std::string_view path) {
  std::string text(kOpenHandOverHeader);
  text += '\n';
  text += path;
  return text;
}

std::optional<THandOver> ReadHandOver(std::string_view text) {
  // A cheap byte test first: clipboard text can be large.
  if (text.size() > kHandOverMaxCharacters && CharacterCount(text) > kHandOverMaxCharacters) return std::nullopt;
  const std::vector<std::string> lines = SplitLines(text);
  if (lines.empty()) return std::nullopt;
  THandOver message;
  if (SameText(lines[0], kOpenHandOverHeader)) {
    // Without a file there is nothing to open.
    if (lines.size() < 2 || lines[1].empty()) return std::nullopt;
    message.kind = THandOver::Kind::Open;
    message.file = lines[1];
    return message;
  }
  if (SameText(lines[0], kAddHandOverHeader)) {
    message.kind = THandOver::Kind::Add;
    if (lines.size() > 1) message.address = lines[1];
    if (lines.size() > 2) message.title = lines[2];
    message.clearClipboard = true;
    return message;
  }
  return std::nullopt;
}

}  // namespace tessellink
