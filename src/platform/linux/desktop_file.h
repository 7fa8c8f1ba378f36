#pragma once
// Desktop entry and mimeapps.list files: groups of "key=value" lines. Edits
// change only the lines they concern, so whatever else a user or another
// program keeps in such a file survives.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessellink {

class TKeyFile {
 public:
  explicit TKeyFile(std::string_view text = {});

  // The raw value (escapes left in), or nothing when the group or key is missing.
  std::optional<std::string> Get(std::string_view group, std::string_view key) const;
  // Replaces the key's line, or adds it at the end of the group; a missing
  // group is added at the end of the file.
  void Set(std::string_view group, std::string_view key, std::string_view value);
  // Lines ended by LF.
  std::string Text() const;

 private:
  // Index of the group's header line, or npos.
  std::size_t FindGroup(std::string_view group) const;
  std::vector<std::string> lines_;
};

// The string escapes of desktop entry values (\s \n \t \r \\).
std::string EscapeKeyValue(std::string_view text);
std::string UnescapeKeyValue(std::string_view value);

// Values such as MimeType: items separated by ";", empty items dropped.
std::vector<std::string> SplitListValue(std::string_view value);
std::string JoinListValue(const std::vector<std::string>& items);  // each item followed by ";"

// The Exec key. Tokens keep their "%" sequences as written ("%%" is a literal
// percent sign, "%f" a field code); quoting is removed.
std::vector<std::string> ExecTokens(std::string_view exec);
// Quotes a token when it holds a reserved character.
std::string QuoteExecToken(std::string_view token);
// A file path as an Exec token: quoted as needed and "%" doubled.
std::string ExecPathToken(std::string_view path);
// The path a token names ("%%" back to "%").
std::string ExecTokenPath(std::string_view token);

}  // namespace tessellink
