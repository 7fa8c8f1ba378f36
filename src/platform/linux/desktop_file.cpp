#include "platform/linux/desktop_file.h"

#include "common/text.h"

namespace tessellink {

namespace {

bool IsHeaderOf(std::string_view line, std::string_view group) {
  line = Trim(line);
  return line.size() == group.size() + 2 && line.front() == '[' && line.back() == ']' &&
         line.substr(1, group.size()) == group;
}

bool IsHeader(std::string_view line) {
  line = Trim(line);
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// True when `line` is "key = value" for this key; `value` then views the value.
bool IsKeyLine(std::string_view line, std::string_view key, std::string_view& value) {
  const std::string_view trimmed = TrimLeft(line);
  if (trimmed.empty() || trimmed.front() == '#') return false;
  const std::size_t eq = trimmed.find('=');
  if (eq == std::string_view::npos || TrimRight(trimmed.substr(0, eq)) != key) return false;
  value = TrimLeft(trimmed.substr(eq + 1));
  return true;
}

}  // namespace

TKeyFile::TKeyFile(std::string_view text) : lines_(SplitLines(text)) {}

std::size_t TKeyFile::FindGroup(std::string_view group) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (IsHeaderOf(lines_[i], group)) return i;
  return std::string::npos;
}

std::optional<std::string> TKeyFile::Get(std::string_view group, std::string_view key) const {
  const std::size_t header = FindGroup(group);
  if (header == std::string::npos) return std::nullopt;
  for (std::size_t i = header + 1; i < lines_.size() && !IsHeader(lines_[i]); ++i) {
    std::string_view value;
    if (IsKeyLine(lines_[i], key, value)) return std::string(value);
  }
  return std::nullopt;
}

void TKeyFile::Set(std::string_view group, std::string_view key, std::string_view value) {
  std::string line(key);
  line += '=';
  line += value;
  const std::size_t header = FindGroup(group);
  if (header == std::string::npos) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(group) + "]");
    lines_.push_back(std::move(line));
    return;
  }
  std::size_t end = header + 1;
  for (; end < lines_.size() && !IsHeader(lines_[end]); ++end) {
    std::string_view old;
    if (IsKeyLine(lines_[end], key, old)) {
      lines_[end] = std::move(line);
      return;
    }
  }
  // After the group's last line, before the blank lines that part it from the next.
  std::size_t at = end;
  while (at > header + 1 && Trim(lines_[at - 1]).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::string TKeyFile::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

std::string EscapeKeyValue(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ':
        out += i == 0 ? "\\s" : " ";  // a leading blank would be trimmed away
        break;
      default: out += c;
    }
  }
  return out;
}

std::string UnescapeKeyValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default:  // unknown escapes stay as written
        out += '\\';
        out += value[i];
    }
  }
  return out;
}

std::vector<std::string> SplitListValue(std::string_view value) {
  std::vector<std::string> items;
  std::size_t pos = 0;
  while (pos <= value.size()) {
    std::size_t end = value.find(';', pos);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view item = Trim(value.substr(pos, end - pos));
    if (!item.empty()) items.emplace_back(item);
    pos = end + 1;
  }
  return items;
}

std::string JoinListValue(const std::vector<std::string>& items) {
  std::string value;
  for (const std::string& item : items) {
    value += item;
    value += ';';
  }
  return value;
}

std::vector<std::string> ExecTokens(std::string_view exec) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  while (i < exec.size()) {
    while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t' || exec[i] == '\n')) ++i;
    if (i >= exec.size()) break;
    std::string token;
    if (exec[i] == '"') {
      for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        token += exec[i];
      }
      ++i;  // the closing quote
    } else {
      while (i < exec.size() && exec[i] != ' ' && exec[i] != '\t' && exec[i] != '\n') token += exec[i++];
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

std::string QuoteExecToken(std::string_view token) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  if (!token.empty() && token.find_first_of(kReserved) == std::string_view::npos) return std::string(token);
  std::string out = "\"";
  for (const char c : token) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string ExecPathToken(std::string_view path) { return QuoteExecToken(ReplaceAll(path, "%", "%%")); }

std::string ExecTokenPath(std::string_view token) { return ReplaceAll(token, "%%", "%"); }

}  // namespace tessellink
