#include "cli/cli_sync.h"

#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>

#include "common/errors.h"
#include "store/xbel_builder.h"
#include "sync/sync_controller.h"
#include "sync/sync_record.h"

namespace tessellink {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDefaultBookmarkFile = "default.xbel";

const char* DecisionName(SyncDecision decision) {
  switch (decision) {
    case SyncDecision::RemoteMissing:
      return "RemoteMissing";
    case SyncDecision::Conflict:
      return "Conflict";
    case SyncDecision::RemoteNewer:
      return "RemoteNewer";
    case SyncDecision::LocalNewer:
      return "LocalNewer";
    case SyncDecision::NetworkError:
      return "NetworkError";
    case SyncDecision::Identical:
      return "Identical";
  }
  return "";
}

std::optional<SyncChoice> ParseChoice(std::string_view text) {
  if (text == "download") return SyncChoice::Download;
  if (text == "upload") return SyncChoice::Upload;
  if (text == "merge") return SyncChoice::Merge;
  return std::nullopt;
}

// No one to ask: the command line chose beforehand, and the open file is
// always the default file.
class CliQuestions : public ISyncQuestions {
 public:
  CliQuestions(SyncChoice choice, std::string& text) : choice_(choice), text_(text) {}
  bool AskYesNo(const std::string&) override { return false; }
  void Inform(const std::string& notice) override { text_ += notice + "\n"; }
  void ShowError(const std::string& message) override { text_ += message + "\n"; }
  SyncChoice ChooseConflictAction() override { return choice_; }

 private:
  SyncChoice choice_;
  std::string& text_;
};

enum class Operation { Sync, Upload, Download };

void Run(Session& s, std::string& text, Operation operation) {
  if (s.Args().file) throw AppError("sync, upload and download work on the default file; --file does not apply");
  TXMLAppSettingType& settings = s.Settings();
  if (settings.Tesselsync().Username().empty())
    throw AppError("No synchronisation account: log in with 'account login USER' first");
  const fs::path defaultFile = SettingsDefaultFile(s);

  TXbelBuilder builder;
  std::error_code ec;
  if (fs::exists(defaultFile, ec)) builder.LoadDocument(defaultFile);

  const std::optional<std::string>& onConflict = s.Args().onConflict;
  const SyncChoice choice = onConflict ? ParseChoice(*onConflict).value_or(SyncChoice::Cancel) : SyncChoice::Cancel;
  CliQuestions questions(choice, text);
  TQueueDispatcher dispatcher;
  TSyncController controller(fs::absolute(s.DataFolder()).lexically_normal(), settings, builder, defaultFile,
                             questions, [&text](const std::string& line) { text += line + "\n"; }, dispatcher);
  bool started = false;
  switch (operation) {
    case Operation::Sync:
      started = controller.Synchronize();
      break;
    case Operation::Upload:
      started = controller.UploadFile();
      break;
    case Operation::Download:
      started = controller.DownloadFile();
      break;
  }
  controller.RunUntilIdle(dispatcher);
  dispatcher.Drain();
  if (controller.LastDecision()) text += std::string("decision: ") + DecisionName(*controller.LastDecision()) + "\n";

  std::string failure;
  if (controller.Cancelled()) {
    failure = "local and remote files both changed; choose with --on-conflict download|upload|merge";
  } else if (!started || controller.Failed()) {
    failure = operation == Operation::Sync ? "synchronisation failed"
              : operation == Operation::Upload ? "upload failed"
                                               : "download failed";
  }
  if (!failure.empty()) {
    // What happened so far belongs with the failure on standard error.
    s.Err() << text;
    text.clear();
    throw AppError(failure);
  }
}

}  // namespace

void CheckSyncOperands(const Invocation& inv) {
  if (!inv.onConflict) return;
  if (inv.command != "sync") throw UsageError("option --on-conflict applies to sync only");
  if (!ParseChoice(*inv.onConflict))
    throw UsageError("unknown --on-conflict choice '" + *inv.onConflict + "' (use download, upload, merge)");
}

fs::path SettingsDefaultFile(Session& s) {
  const std::string configured = s.Settings().DefaultFile();
  fs::path path = configured.empty() ? fs::path(kDefaultBookmarkFile) : fs::path(configured);
  if (path.is_relative()) path = s.DataFolder() / path;
  return fs::absolute(path).lexically_normal();
}

void NoteLocalChange(Session& s, const fs::path& file) {
  fs::path defaultFile;
  try {
    defaultFile = SettingsDefaultFile(s);
  } catch (const AppError&) {
    return;  // no data folder or settings: no default file to keep in step
  }
  if (fs::absolute(file).lexically_normal() != defaultFile) return;
  TXMLFileInfoType record = LoadFileInfo(s.DataFolder() / kFileInfoFileName);
  MarkLocalChange(record, file, file);
}

void RunSync(Session& s, std::string& text) { Run(s, text, Operation::Sync); }
void RunUpload(Session& s, std::string& text) { Run(s, text, Operation::Upload); }
void RunDownload(Session& s, std::string& text) { Run(s, text, Operation::Download); }

}  // namespace tessellink
