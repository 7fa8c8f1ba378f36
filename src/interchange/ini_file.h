#pragma once
// INI files as Windows reads and writes them: section and key names ignore
// letter case, blanks around names and values are dropped, a value enclosed in
// a pair of double or single quotes loses them, the first of two equal keys or
// sections counts, and lines the reader does not understand (comments, text
// before the first section) are kept as they are when the file is written back.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessellink {

class TIniFile {
 public:
  TIniFile() = default;
  static TIniFile Parse(std::string_view text);
  // A missing file reads as an empty one; an unreadable one throws FileReadError.
  static TIniFile Load(const std::filesystem::path& file);

  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback = {}) const;
  // Integer text (StrToInt rules); anything else gives the fallback.
  int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
  // Non-zero integer text is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;

  // Replaces the first key of that name in place, or adds it at the end of the
  // section, adding the section at the end of the file when it is missing.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // Every line ended by CR LF.
  std::string Text() const;
  // Atomic: a failed write leaves the old file whole and throws FileWriteError.
  void Save(const std::filesystem::path& file) const;

 private:
  struct Line {
    std::string key;   // empty for a line that holds no key
    std::string text;  // the value for a key line, the whole line otherwise
  };
  struct Section {
    std::string name;   // empty for the lines before the first section
    std::string header; // the header line as read
    std::vector<Line> lines;
  };
  const Section* FindSection(std::string_view name) const;
  const Line* FindLine(std::string_view section, std::string_view key) const;

  std::vector<Section> sections_;
};

}  // namespace tessellink
