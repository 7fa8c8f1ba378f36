#include "cli/cli_text.h"

#include "common/text.h"

namespace tessellink {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Calls `valid` for each run of valid UTF-8 and `invalid` for each bad byte.
template <typename Valid, typename Invalid>
void ForEachUtf8Run(std::string_view text, Valid&& valid, Invalid&& invalid) {
  while (!text.empty()) {
    const std::size_t bad = FindInvalidUtf8(text);
    if (bad == std::string_view::npos) {
      valid(text);
      return;
    }
    if (bad > 0) valid(text.substr(0, bad));
    invalid();
    text.remove_prefix(bad + 1);
  }
}

bool IsC1Control(std::string_view run, std::size_t i) {
  return static_cast<unsigned char>(run[i]) == 0xC2 && i + 1 < run.size() &&
         static_cast<unsigned char>(run[i + 1]) >= 0x80 && static_cast<unsigned char>(run[i + 1]) <= 0x9F;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  ForEachUtf8Run(
      text,
      [&](std::string_view run) {
        for (char ch : run) {
          const auto c = static_cast<unsigned char>(ch);
          switch (c) {
            case '"':
              out += "\\\"";
              break;
            case '\\':
              out += "\\\\";
              break;
            case '\b':
              out += "\\b";
              break;
            case '\f':
              out += "\\f";
              break;
            case '\n':
              out += "\\n";
              break;
            case '\r':
              out += "\\r";
              break;
            case '\t':
              out += "\\t";
              break;
            default:
              if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0xF]);
              } else {
                out.push_back(ch);
              }
          }
        }
      },
      [&] { out += "\\ufffd"; });
  out.push_back('"');
}

std::string JsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendJsonString(out, text);
  return out;
}

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachUtf8Run(
      text,
      [&](std::string_view run) {
        for (std::size_t i = 0; i < run.size(); ++i) {
          const auto c = static_cast<unsigned char>(run[i]);
          if (c < 0x20 || c == 0x7F) {
            out.push_back(' ');
          } else if (IsC1Control(run, i)) {
            out.push_back(' ');
            ++i;
          } else {
            out.push_back(run[i]);
          }
        }
      },
      [&] { out += kReplacementUtf8; });
  return out;
}

}  // namespace tessellink
