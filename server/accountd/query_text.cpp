#include "accountd/query_text.h"

namespace tessellink::accountd {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = HexValue(text[i + 1]);
    int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string PercentEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::optional<QueryValues> ParseQuery(std::string_view query) {
  QueryValues values;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    std::string_view item = query.substr(start, end - start);
    start = end + 1;
    if (item.empty()) continue;
    size_t equals = item.find('=');
    auto key = PercentDecode(item.substr(0, equals));
    auto value = PercentDecode(equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1));
    if (!key || !value) return std::nullopt;
    if (!values.emplace(std::move(*key), std::move(*value)).second) return std::nullopt;
  }
  return values;
}

std::string_view QueryOfTarget(std::string_view target) {
  size_t mark = target.find('?');
  return mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
}

}  // namespace tessellink::accountd
