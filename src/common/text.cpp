#include "common/text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessellink {

namespace {

constexpr std::array<unsigned char, 256> MakeAsciiUpperTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i >= 'a' && i <= 'z' ? i - 32 : i);
  return t;
}
constexpr auto kAsciiUpper = MakeAsciiUpperTable();

inline unsigned char AsciiUpper(char c) { return kAsciiUpper[static_cast<unsigned char>(c)]; }

// Decodes one UTF-8 sequence at `pos`; returns the code point and advances `pos`.
// An invalid byte decodes as -1 and advances by one byte.
int32_t DecodeUtf8(std::string_view s, std::size_t& pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int len = 0;
  int32_t cp = 0;
  int32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    ++pos;
    return -1;
  }
  if (pos + len > s.size()) {
    ++pos;
    return -1;
  }
  for (int i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return -1;
  }
  pos += len;
  return cp;
}

void AppendUtf8(std::string& out, int32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Appends the text mapped character by character; invalid bytes are copied unchanged.
template <typename Map>
void AppendMappedCase(std::string& out, std::string_view text, Map map) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(map(b)));
      ++pos;
      continue;
    }
    const int32_t cp = DecodeUtf8(text, pos);
    if (cp < 0)
      out.push_back(static_cast<char>(b));
    else
      AppendUtf8(out, map(cp));
  }
}

// Maps text character by character; invalid bytes are copied unchanged.
// `offsets`, when given, receives for every output byte the input byte offset of
// the character it came from.
template <typename Map>
std::string MapCase(std::string_view text, Map map, std::vector<std::size_t>* offsets = nullptr) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(map(b)));
      ++pos;
    } else {
      const int32_t cp = DecodeUtf8(text, pos);
      if (cp < 0)
        out.push_back(static_cast<char>(b));
      else
        AppendUtf8(out, map(cp));
    }
    if (offsets) offsets->resize(out.size(), start);
  }
  return out;
}

UChar32 ToUpper(UChar32 c) { return c < 0x80 ? AsciiUpper(static_cast<char>(c)) : u_toupper(c); }
UChar32 ToLower(UChar32 c) {
  return c < 0x80 ? (c >= 'A' && c <= 'Z' ? c + 32 : c) : u_tolower(c);
}

// Position of the first occurrence of an ASCII upper-case needle in a
// haystack, letter case ignored, or npos. With `stopAtNonAscii`, the scan gives
// up at the first byte outside ASCII (returning kNonAscii) unless a match lies
// before it, so a caller can fall back to full case folding in one pass.
constexpr std::size_t kNonAscii = std::string_view::npos - 1;

std::size_t FindAsciiUpper(std::string_view h, std::string_view upperNeedle, std::size_t start,
                           bool stopAtNonAscii = false) {
  const std::size_t m = upperNeedle.size();
  if (m == 0 || h.size() < m || start > h.size() - m) {
    if (stopAtNonAscii && !IsAscii(h.substr(std::min(start, h.size())))) return kNonAscii;
    return std::string_view::npos;
  }
  const std::size_t last = h.size() - m;  // last possible start
  const unsigned char first = static_cast<unsigned char>(upperNeedle[0]);
  auto matchesAt = [&](std::size_t i) {
    for (std::size_t j = 1; j < m; ++j)
      if (AsciiUpper(h[i + j]) != static_cast<unsigned char>(upperNeedle[j])) return false;
    return true;
  };
  std::size_t i = start;
#if defined(__SSE2__)
  // x | 0x20 equals c | 0x20 only for the two case forms of a letter c (and for
  // a few punctuation pairs, which the full compare then rejects).
  const __m128i folded = _mm_set1_epi8(static_cast<char>(first | 0x20));
  const __m128i bit = _mm_set1_epi8(0x20);
  for (; i + 16 <= last + 1; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h.data() + i));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(block, bit), folded)));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block));
    // Candidates at or after a byte outside ASCII are left to the folding path.
    if (stopAtNonAscii && high) mask &= (1u << __builtin_ctz(high)) - 1;
    while (mask) {
      const std::size_t k = i + static_cast<std::size_t>(__builtin_ctz(mask));
      mask &= mask - 1;
      if (AsciiUpper(h[k]) == first && k + m <= h.size() && matchesAt(k) &&
          (!stopAtNonAscii || IsAscii(h.substr(k, m))))
        return k;
    }
    if (stopAtNonAscii && high) return kNonAscii;
  }
#endif
  for (; i <= last; ++i) {
    if (stopAtNonAscii && static_cast<unsigned char>(h[i]) >= 0x80) return kNonAscii;
    if (AsciiUpper(h[i]) == first && matchesAt(i) && (!stopAtNonAscii || IsAscii(h.substr(i, m)))) return i;
  }
  if (stopAtNonAscii && !IsAscii(h.substr(i))) return kNonAscii;
  return std::string_view::npos;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

bool IsAscii(std::string_view text) {
  const char* p = text.data();
  std::size_t n = text.size();
  uint64_t acc = 0;
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    acc |= w;
    p += 8;
    n -= 8;
  }
  while (n--) acc |= static_cast<unsigned char>(*p++);
  return (acc & 0x8080808080808080ULL) == 0;
}

std::size_t FindInvalidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    // Skip ASCII runs eight bytes at a time.
    while (pos + 8 <= text.size()) {
      uint64_t w;
      std::memcpy(&w, text.data() + pos, 8);
      if (w & 0x8080808080808080ULL) break;
      pos += 8;
    }
    if (pos >= text.size()) break;
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    if (DecodeUtf8(text, pos) < 0) return start;
  }
  return std::string_view::npos;
}

bool IsValidUtf8(std::string_view text) { return FindInvalidUtf8(text) == std::string_view::npos; }

std::string RepairUtf8(std::string_view bytes) {
  std::size_t pos = FindInvalidUtf8(bytes);
  if (pos == std::string_view::npos) return std::string(bytes);
  std::string out(bytes.substr(0, pos));
  while (pos < bytes.size()) {
    const std::size_t start = pos;
    if (DecodeUtf8(bytes, pos) < 0)
      out += "\xEF\xBF\xBD";
    else
      out.append(bytes.substr(start, pos - start));
  }
  return out;
}

std::string UpperCase(std::string_view text) {
  return IsAscii(text) ? AsciiUpperCase(text) : MapCase(text, ToUpper);
}
std::string LowerCase(std::string_view text) {
  return IsAscii(text) ? AsciiLowerCase(text) : MapCase(text, ToLower);
}

std::string AsciiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(AsciiUpper(c));
  return out;
}

std::string AsciiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) & 0x80) {
      const std::string ua = UpperCase(a.substr(i));
      const std::string ub = UpperCase(b.substr(i));
      const int c = ua.compare(ub);
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    const unsigned char ua = kAsciiUpper[ca], ub = kAsciiUpper[cb];
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && SameAsciiText(a, b)) return true;
  if (IsAscii(a) && IsAscii(b)) return false;
  return CompareText(a, b) == 0;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool ContainsUpper(std::string_view haystack, std::string_view upperNeedle) {
  if (upperNeedle.empty()) return false;
  if (IsAscii(upperNeedle)) {
    const std::size_t hit = FindAsciiUpper(haystack, upperNeedle, 0, true);
    if (hit != kNonAscii) return hit != std::string_view::npos;
  } else if (IsAscii(haystack)) {
    return false;  // upper-case forms of ASCII text are ASCII
  }
  // Folded into a buffer that lives on, so that searching many texts does not
  // allocate for each.
  thread_local std::string folded;
  folded.clear();
  AppendMappedCase(folded, haystack, ToUpper);
  const bool found = folded.find(upperNeedle) != std::string::npos;
  if (folded.capacity() > (1u << 20)) std::string().swap(folded);
  return found;
}

bool Contains(std::string_view haystack, std::string_view needle, bool ignoreCase) {
  if (needle.empty()) return false;
  if (!ignoreCase) return haystack.find(needle) != std::string_view::npos;
  return ContainsUpper(haystack, UpperCase(needle));
}

std::size_t FindText(std::string_view haystack, std::string_view needle, std::size_t start,
                     bool ignoreCase, SearchDirection direction) {
  constexpr auto npos = std::string_view::npos;
  if (needle.empty()) return npos;
  const bool forward = direction == SearchDirection::Forward;
  if (!ignoreCase) {
    if (forward) return start > haystack.size() ? npos : haystack.find(needle, start);
    return haystack.rfind(needle, start);
  }
  const std::string upperNeedle = UpperCase(needle);
  if (forward && IsAscii(haystack) && IsAscii(upperNeedle))
    return FindAsciiUpper(haystack, upperNeedle, start);
  // Search the folded text and map the hit back to the original byte offset.
  std::vector<std::size_t> offsets;
  const std::string folded = MapCase(haystack, ToUpper, &offsets);
  std::size_t foldedStart = 0;
  if (start >= haystack.size()) {
    foldedStart = forward ? folded.size() + 1 : folded.size();
  } else {
    foldedStart = static_cast<std::size_t>(
        std::lower_bound(offsets.begin(), offsets.end(), start) - offsets.begin());
  }
  std::size_t hit = npos;
  if (forward) {
    if (foldedStart <= folded.size()) hit = folded.find(upperNeedle, foldedStart);
  } else {
    hit = folded.rfind(upperNeedle, foldedStart);
  }
  return hit == npos ? npos : offsets[hit];
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::string ReplaceFirst(std::string_view text, std::string_view from, std::string_view to) {
  const std::size_t hit = from.empty() ? std::string_view::npos : text.find(from);
  if (hit == std::string_view::npos) return std::string(text);
  std::string out(text.substr(0, hit));
  out.append(to);
  out.append(text.substr(hit + from.size()));
  return out;
}

std::string_view TrimLeft(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

std::string_view TrimRight(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && IsBlank(text[n - 1])) --n;
  return text.substr(0, n);
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.emplace_back(text.substr(pos, end - pos));
    if (end < text.size()) end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
    pos = end;
  }
  return lines;
}

std::optional<int32_t> ParseInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0 || (!hex && digit > 9)) return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (value > (hex ? 0xFFFFFFFFULL : 0x80000000ULL)) return std::nullopt;
  }
  if (hex) {
    const auto bits = static_cast<uint32_t>(value);
    const auto v = static_cast<int32_t>(bits);
    return negative ? static_cast<int32_t>(0u - bits) : v;
  }
  if (!negative && value > 0x7FFFFFFFULL) return std::nullopt;
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(value)) : static_cast<int32_t>(value);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (static_cast<unsigned char>(text[pos]) < 0x80)
      ++pos;
    else
      DecodeUtf8(text, pos);
    ++count;
  }
  return count;
}

}  // namespace tessellink
