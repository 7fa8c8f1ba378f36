#pragma once
// What every command of tessellink-cli shares: the parsed command line and the
// session that reads the data folder, the settings and the document on demand.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_app.h"
#include "settings/app_settings.h"
#include "store/tag_types.h"
#include "store/xbel_builder.h"

namespace tessellink {

// The command line is wrong: exit status 2 with the usage hint.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Invocation {
  std::optional<std::filesystem::path> dataFolder;
  std::optional<std::filesystem::path> file;
  bool json = false;
  std::string command;
  std::vector<std::string> operands;
  std::optional<std::string> fieldsText;  // --fields, read by the command it applies to
  std::optional<std::string> onConflict;  // sync: download, upload or merge
  bool deleteDead = false;                // check-links: delete the auto-selected bookmarks
  bool privateShare = false;              // share: mark the posts private
  // Search only.
  uint8_t fields = sfAll;
  bool allWords = false;
  bool caseSensitive = false;
  std::string searchOption;  // the first search-only option given, to refuse it elsewhere
};

// A text from the command line or a file, quoted for a message.
std::string Quoted(std::string_view text);

// The folder, the settings and the document, each read at most once and only
// when a command needs it.
class Session {
 public:
  Session(const Invocation& inv, const CliContext& context, std::ostream& err)
      : inv_(inv), context_(context), err_(err) {}

  const Invocation& Args() const { return inv_; }
  std::ostream& Err() { return err_; }
  bool ErrIsTerminal() const { return context_.StderrIsTerminal; }
  std::string ReadPassword(std::string_view prompt) const;
  const std::string& CaFile() const { return context_.CaFile; }

  const std::filesystem::path& DataFolder();
  // A missing settings file means the defaults, as at start-up; a broken one is
  // an error. The file is only read: a reader must not move it aside.
  TXMLAppSettingType& Settings();
  std::filesystem::path BookmarkFile();
  TXbelBuilder& Builder();
  TBmkRecList& Records();

 private:
  const Invocation& inv_;
  const CliContext& context_;
  std::ostream& err_;
  std::optional<std::filesystem::path> dataFolder_;
  std::optional<TXMLAppSettingType> settings_;
  TXbelBuilder builder_;
  bool loaded_ = false;
  TBmkRecList records_;
  bool recordsBuilt_ = false;
};

}  // namespace tessellink
