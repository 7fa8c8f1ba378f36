#include "net/url_escape.h"

namespace tessellink {

std::string PercentEscape(std::string_view text, std::string_view alsoEscaped) {
  static constexpr char kHexUpper[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 32 || c >= 128 || alsoEscaped.find(ch) != std::string_view::npos) {
      out += '%';
      out += kHexUpper[c >> 4];
      out += kHexUpper[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string EscapeUrl(std::string_view text) { return PercentEscape(text, " #%*+<>"); }

std::string EscapeQueryValue(std::string_view text) { return PercentEscape(text, " #%*+<>&=?"); }

}  // namespace tessellink
