#include "interchange/html_tokenizer.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "common/atomic_file.h"
#include "common/comma_text.h"
#include "common/errors.h"
#include "common/text.h"

namespace tessellink {
namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Attribute names are ASCII, so a byte-wise ASCII fold finds them without
// moving any offset the way a Unicode upper-casing of the tag could.
std::size_t FindAsciiCaseless(std::string_view haystack, std::string_view needle) {
  if (needle.empty() || needle.size() > haystack.size()) return std::string_view::npos;
  const auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                              [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); });
  return it == haystack.end() ? std::string_view::npos : static_cast<std::size_t>(it - haystack.begin());
}

bool SameAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

struct NamedReference {
  std::string_view name;
  char32_t code;
};

// Sorted by name (byte order) for the binary search.
constexpr NamedReference kNamedReferences[] = {
    {"AElig", 0xC6},   {"Aacute", 0xC1}, {"Acirc", 0xC2},   {"Agrave", 0xC0},  {"Aring", 0xC5},
    {"Atilde", 0xC3},  {"Auml", 0xC4},   {"Ccedil", 0xC7},  {"Dagger", 0x2021}, {"ETH", 0xD0},
    {"Eacute", 0xC9},  {"Ecirc", 0xCA},  {"Egrave", 0xC8},  {"Euml", 0xCB},    {"Iacute", 0xCD},
    {"Icirc", 0xCE},   {"Igrave", 0xCC}, {"Iuml", 0xCF},    {"Ntilde", 0xD1},  {"OElig", 0x152},
    {"Oacute", 0xD3},  {"Ocirc", 0xD4},  {"Ograve", 0xD2},  {"Oslash", 0xD8},  {"Otilde", 0xD5},
    {"Ouml", 0xD6},    {"Scaron", 0x160}, {"THORN", 0xDE},  {"Uacute", 0xDA},  {"Ucirc", 0xDB},
    {"Ugrave", 0xD9},  {"Uuml", 0xDC},   {"Yacute", 0xDD},  {"Yuml", 0x178},   {"aacute", 0xE1},
    {"acirc", 0xE2},   {"acute", 0xB4},  {"aelig", 0xE6},   {"agrave", 0xE0},  {"amp", 0x26},
    {"apos", 0x27},    {"aring", 0xE5},  {"atilde", 0xE3},  {"auml", 0xE4},    {"bdquo", 0x201E},
    {"brvbar", 0xA6},  {"bull", 0x2022}, {"ccedil", 0xE7},  {"cedil", 0xB8},   {"cent", 0xA2},
    {"circ", 0x2C6},   {"copy", 0xA9},   {"curren", 0xA4},  {"dagger", 0x2020}, {"deg", 0xB0},
    {"divide", 0xF7},  {"eacute", 0xE9}, {"ecirc", 0xEA},   {"egrave", 0xE8},  {"emsp", 0x2003},
    {"ensp", 0x2002},  {"eth", 0xF0},    {"euml", 0xEB},    {"euro", 0x20AC},  {"fnof", 0x192},
    {"frac12", 0xBD},  {"frac14", 0xBC}, {"frac34", 0xBE},  {"gt", 0x3E},      {"hellip", 0x2026},
    {"iacute", 0xED},  {"icirc", 0xEE},  {"iexcl", 0xA1},   {"igrave", 0xEC},  {"iquest", 0xBF},
    {"iuml", 0xEF},    {"laquo", 0xAB},  {"ldquo", 0x201C}, {"lrm", 0x200E},   {"lsaquo", 0x2039},
    {"lsquo", 0x2018}, {"lt", 0x3C},     {"macr", 0xAF},    {"mdash", 0x2014}, {"micro", 0xB5},
    {"middot", 0xB7},  {"nbsp", 0xA0},   {"ndash", 0x2013}, {"not", 0xAC},     {"ntilde", 0xF1},
    {"oacute", 0xF3},  {"ocirc", 0xF4},  {"oelig", 0x153},  {"ograve", 0xF2},  {"ordf", 0xAA},
    {"ordm", 0xBA},    {"oslash", 0xF8}, {"otilde", 0xF5},  {"ouml", 0xF6},    {"para", 0xB6},
    {"permil", 0x2030}, {"plusmn", 0xB1}, {"pound", 0xA3},  {"quot", 0x22},    {"raquo", 0xBB},
    {"rdquo", 0x201D}, {"reg", 0xAE},    {"rlm", 0x200F},   {"rsaquo", 0x203A}, {"rsquo", 0x2019},
    {"sbquo", 0x201A}, {"scaron", 0x161}, {"sect", 0xA7},   {"shy", 0xAD},     {"sup1", 0xB9},
    {"sup2", 0xB2},    {"sup3", 0xB3},   {"szlig", 0xDF},   {"thinsp", 0x2009}, {"thorn", 0xFE},
    {"tilde", 0x2DC},  {"times", 0xD7},  {"trade", 0x2122}, {"uacute", 0xFA},  {"ucirc", 0xFB},
    {"ugrave", 0xF9},  {"uml", 0xA8},    {"uuml", 0xFC},    {"yacute", 0xFD},  {"yen", 0xA5},
    {"yuml", 0xFF},    {"zwj", 0x200D},  {"zwnj", 0x200C},
};

// Browsers read these numeric references as the Windows-1252 characters that
// old pages meant by them; the five unassigned ones stay as written.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char32_t LookUpName(std::string_view name) {
  const auto it = std::lower_bound(std::begin(kNamedReferences), std::end(kNamedReferences), name,
                                   [](const NamedReference& r, std::string_view n) { return r.name < n; });
  return it != std::end(kNamedReferences) && it->name == name ? it->code : 0;
}

// The character a numeric reference stands for, or 0 when it stays as written.
char32_t NumericCharacter(uint32_t value) {
  if (value >= 0x80 && value <= 0x9F) return kWindows1252High[value - 0x80];
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  if (value < 0x20 && value != '\t' && value != '\n' && value != '\r') return 0;
  if (value == 0x7F) return 0;
  return value;
}

// Decodes the reference starting at text[pos] == '&'. Returns the position
// after it, or pos when it stays as written.
std::size_t DecodeReferenceAt(std::string_view text, std::size_t pos, std::string& out) {
  const std::size_t n = text.size();
  std::size_t i = pos + 1;
  char32_t c = 0;
  if (i < n && text[i] == '#') {
    ++i;
    const bool hex = i < n && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    const std::size_t digitsStart = i;
    uint32_t value = 0;
    bool tooLarge = false;
    for (; i < n; ++i) {
      const int d = HexDigitValue(text[i]);
      if (d < 0 || (!hex && d > 9)) break;
      value = value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      if (value > 0x10FFFF) tooLarge = true, value = 0x110000;
    }
    if (i == digitsStart || i >= n || text[i] != ';' || tooLarge) return pos;
    c = NumericCharacter(value);
  } else {
    const std::size_t nameStart = i;
    while (i < n && i - nameStart <= 8 &&
           ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z') ||
            (text[i] >= '0' && text[i] <= '9')))
      ++i;
    if (i == nameStart || i >= n || text[i] != ';') return pos;
    c = LookUpName(text.substr(nameStart, i - nameStart));
  }
  if (c == 0) return pos;
  AppendUtf8(out, c);
  return i + 1;
}

}  // namespace

void TjsFastHTMLParser::Parse() const {
  const std::string_view t = text_;
  const std::size_t length = t.size();
  std::size_t pos = 0;
  while (pos < length) {
    const std::size_t open = t.find('<', pos);
    if (open == std::string_view::npos) return;
    if (open > pos && OnText) OnText(t.substr(pos, open - pos));
    std::size_t i = open + 1;
    char quote = 0;
    for (; i < length; ++i) {
      const char c = t[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    if (i >= length) return;
    if (OnTag) OnTag(t.substr(open, i - open + 1));
    pos = i + 1;
  }
}

std::string_view TagNameOf(std::string_view tag) {
  std::size_t i = 0;
  while (i < tag.size() && (tag[i] == '\t' || tag[i] == ' ' || tag[i] == '<')) ++i;
  const std::size_t start = i;
  while (i < tag.size() && tag[i] != '\0' && tag[i] != ' ' && tag[i] != '>') ++i;
  return tag.substr(start, i - start);
}

std::string_view AttributeChunk(std::string_view tag, std::string_view name) {
  const std::size_t start = FindAsciiCaseless(tag, name);
  if (start == std::string_view::npos) return {};
  const std::size_t n = tag.size();
  std::size_t i = start;
  while (i < n && tag[i] != '\0' && tag[i] != ' ' && tag[i] != '=' && tag[i] != '>') ++i;
  if (i < n && tag[i] == '=') ++i;
  if (i >= n || tag[i] == '\0' || tag[i] == ' ' || tag[i] == '>') return tag.substr(start, i - start);
  if (tag[i] == '"' || tag[i] == '\'') {
    // A ">" inside quotes belongs to the value, as it does for the tokenizer;
    // a quote never closed ends at the tag's own ">".
    const char quote = tag[i++];
    const std::size_t valueStart = i;
    while (i < n && tag[i] != quote && tag[i] != '\0') ++i;
    if (i >= n && n > valueStart && tag[n - 1] == '>') i = n - 1;
  } else {
    while (i < n && tag[i] != ' ' && tag[i] != '\0' && tag[i] != '>') ++i;
  }
  const std::size_t end = i < n && tag[i] != '>' ? i + 1 : i;
  return tag.substr(start, end - start);
}

std::string_view AttributeValue(std::string_view chunk) {
  const std::size_t eq = chunk.find('=');
  if (eq == std::string_view::npos) return {};
  std::size_t start = eq + 1;
  std::size_t end;
  if (start < chunk.size() && (chunk[start] == '"' || chunk[start] == '\'')) {
    const char quote = chunk[start++];
    end = chunk.find(quote, start);
  } else {
    end = chunk.find(' ', start);
  }
  if (end == std::string_view::npos) end = chunk.size();
  return chunk.substr(start, end - start);
}

std::string_view AttributeValueByName(std::string_view tag, std::string_view name) {
  const std::size_t n = tag.size();
  std::size_t i = 0;
  while (i < n && (IsBlank(tag[i]) || tag[i] == '<')) ++i;
  while (i < n && !IsBlank(tag[i]) && tag[i] != '>') ++i;  // the tag's own name
  while (i < n) {
    while (i < n && (IsBlank(tag[i]) || tag[i] == '/')) ++i;
    if (i >= n || tag[i] == '>') break;
    const std::size_t nameStart = i;
    while (i < n && !IsBlank(tag[i]) && tag[i] != '=' && tag[i] != '>') ++i;
    const std::string_view attribute = tag.substr(nameStart, i - nameStart);
    std::size_t j = i;
    while (j < n && IsBlank(tag[j])) ++j;
    std::string_view value;
    if (j < n && tag[j] == '=') {
      ++j;
      while (j < n && IsBlank(tag[j])) ++j;
      if (j < n && (tag[j] == '"' || tag[j] == '\'')) {
        const char quote = tag[j];
        const std::size_t valueStart = j + 1;
        std::size_t valueEnd = tag.find(quote, valueStart);
        if (valueEnd == std::string_view::npos) valueEnd = n;
        value = tag.substr(valueStart, valueEnd - valueStart);
        i = std::min(valueEnd + 1, n);
      } else {
        const std::size_t valueStart = j;
        while (j < n && !IsBlank(tag[j]) && tag[j] != '>') ++j;
        value = tag.substr(valueStart, j - valueStart);
        i = j;
      }
    }
    if (!attribute.empty() && SameAscii(attribute, name)) return value;
    if (i == nameStart) ++i;
  }
  return {};
}

std::string HtmlTextStripped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inMarkup = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') continue;
    if (c == '<') {
      inMarkup = true;
      continue;
    }
    if (c == '>') {
      inMarkup = false;
      continue;
    }
    if (inMarkup) continue;
    if ((c == ' ' || c == '\t') && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '<') continue;
    }
    out.push_back(c);
  }
  return out;
}

std::string HtmlTextToPlain(std::string_view text) {
  if (text.empty()) return {};
  std::string plain = HtmlTextStripped(text);
  // One after the other, "&amp;" last, so that "&amp;lt;" stays "&lt;".
  static constexpr std::string_view kReplacements[][2] = {
      {"&#39;", "'"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&gt;", ">"}, {"&lt;", "<"}, {"&amp;", "&"},
  };
  if (plain.find('&') == std::string::npos) return plain;
  for (const auto& r : kReplacements) plain = ReplaceAll(plain, r[0], r[1]);
  return plain;
}

std::string EscapeHtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '=': out += "%3D"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string EscapeHtmlAttribute(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;
      case '\n': out += "&#10;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string KeywordsToTags(std::string_view text) {
  std::string tags;
  ForEachCommaItem(text, [&](std::string_view word) {
    if (CharacterCount(word) != 1 && !SameText(word, "and") && !SameText(word, "or")) tags.append(word);
    tags.append("\r\n");
  });
  return tags;
}

std::string DecodeCharacterReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t amp = text.find('&', pos);
    if (amp == std::string_view::npos) {
      out.append(text.substr(pos));
      break;
    }
    out.append(text.substr(pos, amp - pos));
    const std::size_t after = DecodeReferenceAt(text, amp, out);
    if (after == amp) {
      out.push_back('&');
      pos = amp + 1;
    } else {
      pos = after;
    }
  }
  return out;
}

std::string ReadHtmlText(const std::filesystem::path& file) {
  const std::string bytes = ReadFileBytes(file);
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 32 + 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      text += "\r\n";
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      text += "\r\n";
    } else {
      text.push_back(c);
    }
  }
  if (!bytes.empty() && bytes.back() != '\r' && bytes.back() != '\n') text += "\r\n";
  return text;
}

std::string ImportedText(std::string_view text, const char* what) {
  std::string clean = IsValidUtf8(text) ? std::string(text) : RepairUtf8(text);
  std::erase(clean, '\0');
  if (clean.size() > kMaxImportedTextBytes)
    throw AppError(std::string(what) + " longer than " + std::to_string(kMaxImportedTextBytes) + " bytes");
  return clean;
}

}  // namespace tessellink
