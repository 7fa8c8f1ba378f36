#include "interchange/ini_file.h"

#include <system_error>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"

namespace tessellink {
namespace {

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// Quotes a value that would otherwise not read back as written: one that looks
// quoted already or has blanks at either end.
std::string ValueText(std::string_view value) {
  if (Unquote(value).size() == value.size() && Trim(value).size() == value.size()) return std::string(value);
  return "\"" + std::string(value) + "\"";
}

}  // namespace

TIniFile TIniFile::Parse(std::string_view text) {
  TIniFile ini;
  ini.sections_.push_back({});
  for (const std::string& raw : SplitLines(text)) {
    const std::string_view line = Trim(raw);
    if (line.size() >= 2 && line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close != std::string_view::npos) {
        ini.sections_.push_back({std::string(Trim(line.substr(1, close - 1))), raw, {}});
        continue;
      }
    }
    const std::size_t eq = line.find('=');
    if (line.empty() || line.front() == ';' || eq == std::string_view::npos || eq == 0) {
      ini.sections_.back().lines.push_back({{}, raw});
      continue;
    }
    ini.sections_.back().lines.push_back(
        {std::string(TrimRight(line.substr(0, eq))), std::string(Unquote(Trim(line.substr(eq + 1))))});
  }
  return ini;
}

TIniFile TIniFile::Load(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return TIniFile();
  return Parse(ReadFileBytes(file));
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
  for (std::size_t i = 1; i < sections_.size(); ++i)
    if (SameText(sections_[i].name, name)) return &sections_[i];
  return nullptr;
}

const TIniFile::Line* TIniFile::FindLine(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (!s) return nullptr;
  for (const Line& line : s->lines)
    if (!line.key.empty() && SameText(line.key, key)) return &line;
  return nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  const Line* line = FindLine(section, key);
  return std::string(line ? std::string_view(line->text) : fallback);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
  const Line* line = FindLine(section, key);
  if (!line) return fallback;
  return ParseInteger(line->text).value_or(fallback);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindLine(section, key) != nullptr;
}

std::vector<std::string> TIniFile::SectionNames() const {
  std::vector<std::string> names;
  for (std::size_t i = 1; i < sections_.size(); ++i) names.push_back(sections_[i].name);
  return names;
}

std::vector<std::string> TIniFile::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = FindSection(section))
    for (const Line& line : s->lines)
      if (!line.key.empty()) names.push_back(line.key);
  return names;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view rawValue) {
  // A line break would end the value and start a line of its own.
  std::string value(rawValue);
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  if (sections_.empty()) sections_.push_back({});
  Section* s = const_cast<Section*>(FindSection(section));
  if (!s) {
    sections_.push_back({std::string(section), "[" + std::string(section) + "]", {}});
    s = &sections_.back();
  }
  for (Line& line : s->lines) {
    if (!line.key.empty() && SameText(line.key, key)) {
      line.text = value;
      return;
    }
  }
  // After the last key, so that blank lines closing the section stay last.
  std::size_t at = s->lines.size();
  while (at > 0 && s->lines[at - 1].key.empty() && Trim(s->lines[at - 1].text).empty()) --at;
  s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::string(key), std::string(value)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::Text() const {
  std::string out;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    if (i > 0) out.append(sections_[i].header).append("\r\n");
    for (const Line& line : sections_[i].lines) {
      if (line.key.empty())
        out.append(line.text);
      else
        out.append(line.key).append("=").append(ValueText(line.text));
      out.append("\r\n");
    }
  }
  return out;
}

void TIniFile::Save(const std::filesystem::path& file) const { WriteFileAtomically(file, Text()); }

}  // namespace tessellink
