#pragma once
// Hand-over messages: the short texts by which a second start of the program
// passes a page or a file to the instance that already runs. The same reader
// serves the clipboard watcher and the instance channel.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessellink {

inline constexpr std::string_view kAddHandOverHeader = "[Tessellink]";
inline constexpr std::string_view kOpenHandOverHeader = "[Open Tessellink]";
// Longer texts are never taken for a message.
inline constexpr std::size_t kHandOverMaxCharacters = 2048;

// "[Tessellink]" CR LF address CR LF title CR LF (from a "tslink:" link).
std::string LinkHandOverText(std::string_view address, std::string_view title);
// "[Tessellink]" LF address LF title, no final line break (from the Opera menu).
std::string OperaHandOverText(std::string_view address, std::string_view title);
// "[Open Tessellink]" LF path, no final line break.
std::string OpenHandOverText(std::string_view path);

struct THandOver {
  enum class Kind { Open, Add };
  Kind kind = Kind::Add;
  std::string file;     // Open: the bookmark file to open
  std::string address;  // Add: the page, empty when the message has no second line
  std::string title;    // Add: empty when the message has no third line
  // An add message is consumed: the receiver clears the clipboard before it
  // acts, so the same page is not taken twice. An open message is left alone.
  bool clearClipboard = false;
};

// Nothing when the text is longer than kHandOverMaxCharacters characters, its
// first line is neither header (letter case ignored), or an open message names
// no file.
std::optional<THandOver> ReadHandOver(std::string_view text);

}  // namespace tessellink
