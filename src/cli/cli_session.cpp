#include "cli/cli_session.h"

#include <system_error>

#include "cli/cli_text.h"
#include "common/errors.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {
constexpr const char* kDefaultBookmarkFile = "default.xbel";
}

std::string Quoted(std::string_view text) { return "'" + OneLine(text) + "'"; }

std::string Session::ReadPassword(std::string_view prompt) const {
  if (!context_.ReadPassword) throw AppError("no password can be read here");
  return context_.ReadPassword(prompt);
}

const fs::path& Session::DataFolder() {
  if (!dataFolder_) {
    if (inv_.dataFolder) {
      dataFolder_ = *inv_.dataFolder;
    } else if (context_.DataFolder) {
      dataFolder_ = context_.DataFolder();
    } else {
      throw AppError("No data folder is known; give one with --data-folder");
    }
  }
  return *dataFolder_;
}

TXMLAppSettingType& Session::Settings() {
  if (!settings_) {
    const fs::path file = DataFolder() / kAppSettingFileName;
    std::error_code ec;
    if (fs::symlink_status(file, ec).type() == fs::file_type::not_found)
      settings_.emplace();
    else
      settings_.emplace(LoadAppSettingStrict(file));
  }
  return *settings_;
}

fs::path Session::BookmarkFile() {
  if (inv_.file) return *inv_.file;
  const std::string configured = Settings().DefaultFile();
  if (configured.empty()) return DataFolder() / kDefaultBookmarkFile;
  const fs::path path(configured);
  return path.is_absolute() ? path : DataFolder() / path;
}

TXbelBuilder& Session::Builder() {
  if (!loaded_) {
    builder_.LoadDocument(BookmarkFile());
    loaded_ = true;
  }
  return builder_;
}

TBmkRecList& Session::Records() {
  if (!recordsBuilt_) {
    Builder().BuildRecords(records_);
    recordsBuilt_ = true;
  }
  return records_;
}

}  // namespace tessellink
