#include "sync/sync_controller.h"

#include <exception>
#include <utility>

#include "app/environment_services.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "store/xbel_builder.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {
constexpr const char* kDefaultBookmarkFile = "default.xbel";
}  // namespace

TSyncController::TSyncController(fs::path dataFolder, TXMLAppSettingType& settings, TXbelBuilder& builder,
                                 fs::path openFile, ISyncQuestions& questions, TSyncStatusText status,
                                 ISyncDispatcher& dispatcher)
    : dataFolder_(std::move(dataFolder)),
      settings_(settings),
      builder_(builder),
      openFile_(std::move(openFile)),
      questions_(questions),
      status_(std::move(status)),
      dispatcher_(dispatcher),
      self_(std::make_shared<TSyncController*>(this)) {
  record_ = LoadFileInfo(dataFolder_ / kFileInfoFileName);
}

TSyncController::~TSyncController() {
  *self_ = nullptr;
  JoinFinishedWorkers();
}

void TSyncController::JoinFinishedWorkers() {
  // While busy a worker may wait for this thread (the merge step): never join then.
  if (Busy()) return;
  for (const auto& worker : workers_) worker->Wait();
  workers_.clear();
}

void TSyncController::ReloadRecord() { record_ = LoadFileInfo(dataFolder_ / kFileInfoFileName); }

fs::path TSyncController::DefaultFilePath() const {
  const std::string configured = settings_.DefaultFile();
  const fs::path path = configured.empty() ? fs::path(kDefaultBookmarkFile) : fs::path(configured);
  // "dir/./x" and "dir/x" name the same file; the comparison with the open file is textual.
  return (path.is_absolute() ? path : dataFolder_ / path).lexically_normal();
}

void TSyncController::RunUntilIdle(TQueueDispatcher& dispatcher) {
  if (Busy()) dispatcher.RunUntil([this] { return !Busy(); });
  JoinFinishedWorkers();
}

void TSyncController::Status(const std::string& text) {
  lastStatus_ = text;
  if (status_) status_(text);
}

void TSyncController::Fail(const std::string& text) {
  failed_ = true;
  Status(text);
}

void TSyncController::HideProgress(bool reset) {
  if (reset && ProgressPosition) ProgressPosition(0);
  if (ProgressVisible) ProgressVisible(false);
}

bool TSyncController::EnsureDefaultFile() {
  if (settings_.Tesselsync().Username().empty()) return false;
  const fs::path defaultFile = DefaultFilePath();
  if (SameText(openFile_.string(), defaultFile.string())) return true;
  if (questions_.AskYesNo("Current open file is not the default local file. Do you want to set it as default?")) {
    settings_.SetDefaultFile(openFile_.string());
    try {
      SaveSettings(settings_, dataFolder_);
    } catch (const std::exception& e) {
      // The choice holds for this run even when it could not be written down.
      Status(e.what());
    }
    return true;
  }
  questions_.Inform("Please open default local file to upload or download. Check it in Option window.");
  return false;
}

std::shared_ptr<TS3Storage> TSyncController::NewStorage() const {
  auto storage = std::make_shared<TS3Storage>(EndpointOverride ? *EndpointOverride : StorageEndpointFromSettings(settings_));
  const TXMLTesselsyncType account = settings_.Tesselsync();
  storage->SetUseSsl(EndpointOverride ? EndpointOverride->useSsl : account.Usessl());
  storage->UserName = account.Username();
  storage->Password = Unscramble(account.Password());
  return storage;
}

std::shared_ptr<TS3Thread> TSyncController::NewWorker(const char* command, std::shared_ptr<TS3Storage> storage,
                                                      std::string data, bool progress) {
  const std::string key = StorageKey(storage->UserName);
  auto worker = TS3Thread::Create(command, true, std::move(storage), std::move(data), key, kStorageBucket, dispatcher_);
  if (progress) {
    // The status panel shows the controller's texts and, through TransferStatus, each exchange's.
    if (TransferStatus) worker->StatusPanel = TransferStatus;
    worker->ProgressPosition = ProgressPosition;
    worker->ProgressMaximum = ProgressMaximum;
  }
  return worker;
}

void TSyncController::Start(const std::shared_ptr<TS3Thread>& worker) {
  std::weak_ptr<TSyncController*> self = self_;
  worker->OnComplete = [self](TS3Thread& done) {
    const auto alive = self.lock();
    if (alive && *alive) (*alive)->Complete(done);
  };
  JoinFinishedWorkers();
  ++running_;
  workers_.push_back(worker);
  worker->Start();
}

bool TSyncController::Synchronize() {
  if (!Busy()) {
    lastDecision_.reset();
    failed_ = cancelled_ = false;
  }
  if (!EnsureDefaultFile()) return false;
  if (!Busy()) {
    try {
      ReloadRecord();
    } catch (const std::exception& e) {
      Fail(e.what());
      return false;
    }
  }
  Status("Begin to get remote file information...");
  Start(NewWorker("HEADEREX", NewStorage(), {}, false));
  return true;
}

bool TSyncController::UploadFile() { return UploadFile(openFile_); }

bool TSyncController::UploadFile(const fs::path& file) {
  const bool chained = Busy();
  if (!chained) failed_ = cancelled_ = false;
  if (!EnsureDefaultFile()) return false;
  std::string compressed;
  try {
    if (!chained) ReloadRecord();
    compressed = CompressBytes(ReadFileBytes(file));
  } catch (const std::exception& e) {
    Fail("Upload failed." + std::string(e.what()));
    return false;
  }
  auto storage = NewStorage();
  storage->SetVersion(std::to_string(record_.Local.version));
  const auto length = static_cast<int64_t>(compressed.size());
  auto worker = NewWorker("PUTFILE", std::move(storage), std::move(compressed), true);
  if (ProgressMaximum) ProgressMaximum(length);
  if (ProgressVisible) ProgressVisible(true);
  Start(worker);
  return true;
}

bool TSyncController::DownloadFile() {
  const bool chained = Busy();
  if (!chained) failed_ = cancelled_ = false;
  if (!EnsureDefaultFile()) return false;
  if (!chained) {
    try {
      ReloadRecord();
    } catch (const std::exception& e) {
      Fail(e.what());
      return false;
    }
  }
  auto worker = NewWorker("GETFILE", NewStorage(), {}, true);
  if (ProgressVisible) ProgressVisible(true);
  if (ProgressPosition) ProgressPosition(0);
  if (ProgressMaximum) ProgressMaximum(record_.Download.size);
  Start(worker);
  return true;
}

bool TSyncController::MergeAndUpload() {
  Status("Begin to download...");
  auto worker = NewWorker("SYNC", NewStorage(), {}, true);
  if (ProgressVisible) ProgressVisible(true);
  if (ProgressPosition) ProgressPosition(0);
  if (ProgressMaximum) ProgressMaximum(record_.Download.size);
  worker->DownloadedFile = dataFolder_ / kTempXbelFileName;
  worker->NewVersion = remoteVersion_ + 1;
  std::weak_ptr<TSyncController*> self = self_;
  worker->MergeStep = [self](const fs::path& downloaded) -> std::string {
    const auto alive = self.lock();
    if (!alive || !*alive) throw AppError("The synchronisation was closed.");
    TSyncController& c = **alive;
    return MergeDownloadedFile(c.builder_.Document(), downloaded, c.DefaultFilePath());
  };
  Start(worker);
  return true;
}

void TSyncController::ApplyDecision(SyncDecision decision) {
  switch (decision) {
    case SyncDecision::RemoteMissing:
    case SyncDecision::LocalNewer:
      UploadFile();
      return;
    case SyncDecision::RemoteNewer:
      DownloadFile();
      return;
    case SyncDecision::Conflict:
      switch (questions_.ChooseConflictAction()) {
        case SyncChoice::Download:
          DownloadFile();
          return;
        case SyncChoice::Upload:
          UploadFile();
          return;
        case SyncChoice::Merge:
          MergeAndUpload();
          return;
        case SyncChoice::Cancel:
          cancelled_ = true;
          return;
      }
      return;
    case SyncDecision::NetworkError:
      failed_ = true;
      return;
    case SyncDecision::Identical:
      return;
  }
}

bool TSyncController::SaveRecord(const TXMLFileInfoType& record) {
  try {
    SaveFileInfo(record);
  } catch (const std::exception& e) {
    Fail(e.what());
    return false;
  }
  record_ = record;
  return true;
}

void TSyncController::Complete(TS3Thread& worker) {
  // Follow-on operations start before this one counts as finished, so that
  // Busy holds across the whole chain.
  try {
    Status(worker.ResultMessage());
    switch (worker.Operation().value_or(TS3Command::HeaderEx)) {
      case TS3Command::PutFile:
        CompleteUpload(worker);
        break;
      case TS3Command::HeaderEx:
        CompleteHeader(worker);
        break;
      case TS3Command::Sync:
        CompleteMerge(worker);
        break;
      case TS3Command::GetFile:
        CompleteDownload(worker);
        break;
    }
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  --running_;
}

void TSyncController::CompleteUpload(TS3Thread& worker) {
  HideProgress(true);
  if (!worker.Success()) {
    Fail("Upload failed." + JoinErrors(worker.Storage().Errors));
    return;
  }
  TXMLFileInfoType record = record_;
  record.Download.version = record.Local.version;
  SaveRecord(record);
}

void TSyncController::CompleteHeader(TS3Thread& worker) {
  HideProgress(false);
  if (ProgressMaximum) ProgressMaximum(worker.Storage().ContentLength);
  const SyncDecision decision = DecideSync(worker.HeaderText(), worker.Storage(), record_, remoteVersion_,
                                           [this](const std::string& text) { Status(text); });
  lastDecision_ = decision;
  if (worker.Success()) {
    ApplyDecision(decision);
  } else {
    Fail("Can not get remote file information." + JoinErrors(worker.Storage().Errors));
  }
}

void TSyncController::CompleteMerge(TS3Thread& worker) {
  HideProgress(true);
  if (!worker.Success()) {
    Fail("Synchronize failed." + JoinErrors(worker.Storage().Errors));
    return;
  }
  TXMLFileInfoType record = record_;
  record.Local.version = record.Download.version = worker.NewVersion;
  if (!SaveRecord(record)) return;
  Status("Synchronize succeed");
  if (DocumentChanged) DocumentChanged();
}

void TSyncController::CompleteDownload(TS3Thread& worker) {
  HideProgress(true);
  if (!worker.Success()) {
    Fail(JoinErrors(worker.Storage().Errors));
    return;
  }
  const fs::path defaultFile = DefaultFilePath();
  try {
    ExtractToFile(&worker.Data(), defaultFile);
  } catch (const std::exception&) {
    failed_ = true;
    questions_.ShowError("Extract file error");
    return;
  }
  TXMLFileInfoType record = record_;
  record.Local.version = record.Download.version = worker.Storage().RemoteVersion;
  if (!SaveRecord(record)) return;
  try {
    builder_.LoadDocument(defaultFile);
    openFile_ = defaultFile;
  } catch (const std::exception&) {
    return;  // the views stay as they were
  }
  if (DocumentChanged) DocumentChanged();
}

}  // namespace tessellink
