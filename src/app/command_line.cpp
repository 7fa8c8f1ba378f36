#include "app/command_line.h"

#include "app/hand_over.h"
#include "common/text.h"

namespace tessellink {

namespace {

constexpr std::string_view kLinkScheme = "tslink:";

// Drops `count` characters from the front; a stray byte counts as one character.
std::string_view DropCharacters(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (; count > 0 && pos < text.size(); --count) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    const std::size_t tail = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    for (std::size_t i = 0; i < tail && pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80; ++i)
      ++pos;
  }
  return text.substr(pos);
}

// The extension as the shell sees it: from the last "." of the last path
// component on, the dot included; a leading dot counts.
std::string_view FileExtension(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

}  // namespace

std::string UrlDecodeUtf8(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '%') {
      const int hi = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
      const int lo = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
      const int value = hi < 0 || lo < 0 ? 0 : hi * 16 + lo;
      if (value > 0) bytes.push_back(static_cast<char>(value));
      i += 3;
    } else {
      bytes.push_back(c == '+' ? ' ' : c);
      ++i;
    }
  }
  return RepairUtf8(bytes);
}

std::optional<std::string> HandleTslinkUrl(std::string_view link, TRunLog& log) {
  log.LogFmt("decode url is %.*s", static_cast<int>(link.size()), link.data());
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view rest = link.substr(colon + 1);
  const std::size_t amp = rest.find('&');
  if (amp == std::string_view::npos) return std::nullopt;  // fewer than two pieces
  const std::string_view first = rest.substr(0, amp);
  std::string_view second = rest.substr(amp + 1);
  second = second.substr(0, second.find('&'));  // further pieces are ignored
  // The dropped characters are the add-on's keys ("url=", "title="), unchecked.
  const std::string address = UrlDecodeUtf8(DropCharacters(first, 4));
  const std::string title = UrlDecodeUtf8(DropCharacters(second, 6));
  return LinkHandOverText(address, title);
}

std::optional<std::string> HandOverForParameter(std::string_view parameter, TRunLog& log,
                                                const IEnvironmentServices& env) {
  if (parameter.starts_with(kLinkScheme)) {
    log.Log("begin to deal with tslink");
    return HandleTslinkUrl(parameter, log);
  }
  // Shells match file extensions without regard to letter case.
  if (SameText(FileExtension(parameter), ".xbel")) return OpenHandOverText(env.LongPathOf(std::string(parameter)));
  const std::string address = RepairUtf8(DropCharacters(parameter, 1));
  const std::string title = env.OperaPageTitle();
  log.Log("Opera web page is " + title);
  std::string text = OperaHandOverText(address, title);
  log.Log("Linkstr " + text);
  return text;
}

std::optional<std::string> HandOverForCommandLine(const std::vector<std::string>& parameters, TRunLog& log,
                                                  const IEnvironmentServices& env) {
  if (parameters.empty()) return std::nullopt;
  log.Log(parameters.front());
  return HandOverForParameter(parameters.front(), log, env);
}

}  // namespace tessellink
