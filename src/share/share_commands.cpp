#include "share/share_commands.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "common/errors.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "store/xbel_builder.h"

namespace tessellink {

TShareCommands::TShareCommands(TXMLAppSettingType& settings, TXbelBuilder& builder, std::filesystem::path dataFolder,
                               IShareQuestions& questions, IWorkerDispatcher& dispatcher, TRunLog* log)
    : settings_(settings),
      builder_(builder),
      dataFolder_(std::move(dataFolder)),
      questions_(questions),
      dispatcher_(dispatcher),
      log_(log),
      self_(std::make_shared<TShareCommands*>(this)) {}

TShareCommands::~TShareCommands() {
  *self_ = nullptr;
  // A finished worker may still be leaving the dispatcher's Post.
  for (const auto& worker : workers_) worker->Wait();
}

void TShareCommands::JoinFinishedWorkers() {
  if (Busy()) return;
  for (const auto& worker : workers_) worker->Wait();
  workers_.clear();
}

void TShareCommands::RunUntilIdle(TQueueDispatcher& dispatcher) {
  if (Busy()) dispatcher.RunUntil([this] { return !Busy(); });
  JoinFinishedWorkers();
}

std::shared_ptr<TWebShareThread> TShareCommands::NewWorker(std::vector<TXMLBookmarkType> list, const char* command) {
  return TWebShareThread::Create(settings_.Username(), Unscramble(settings_.Password()), std::move(list), command,
                                 ShareEndpointFromSettings(settings_, CaFile), dispatcher_, log_);
}

void TShareCommands::Start(const std::shared_ptr<TWebShareThread>& worker,
                           void (TShareCommands::*complete)(TWebShareThread&)) {
  std::weak_ptr<TShareCommands*> self = self_;
  worker->OnComplete = [self, complete](TWebShareThread& done) {
    const auto alive = self.lock();
    if (!alive || !*alive) return;
    TShareCommands& commands = **alive;
    --commands.running_;
    commands.lastError_ = done.ErrorText();
    commands.lastSent_ = done.Sent();
    (commands.*complete)(done);
  };
  JoinFinishedWorkers();
  ++running_;
  workers_.push_back(worker);
  worker->Start();
}

bool TShareCommands::StartAdd(std::vector<TXMLBookmarkType> list, bool privateShare) {
  std::shared_ptr<TWebShareThread> worker;
  try {
    worker = NewWorker(std::move(list), "add");
  } catch (const std::exception& e) {
    questions_.ShowError(e.what());
    return false;
  }
  worker->PrivateShare = privateShare;
  worker->ProgressStep = ProgressStep;
  worker->Marked = Marked;
  if (ProgressMaximum) ProgressMaximum(static_cast<int64_t>(worker->List().size()));
  if (ProgressVisible) ProgressVisible(true);
  Start(worker, &TShareCommands::CompleteShare);
  return true;
}

bool TShareCommands::ShareBookmarks(const std::vector<TXMLBookmarkType>& selected) { return StartAdd(selected, false); }

bool TShareCommands::ShareBookmarks(const std::vector<TXMLBookmarkType>& selected, TShareMark mark) {
  if (settings_.Username().empty()) {
    questions_.Inform(kNoShareAccountMessage);
    questions_.OpenOptionsDialog();
    return false;
  }
  if (ProgressPosition) ProgressPosition(0);
  return StartAdd(selected, mark == TShareMark::Private);
}

bool TShareCommands::ShareFolder(TXMLContainerType folder, TShareMark mark) {
  if (settings_.Username().empty()) {
    questions_.Inform(kNoShareAccountMessage);
    questions_.OpenOptionsDialog();
    return false;
  }
  if (!folder) return false;
  const bool overwrite = questions_.AskYesNo(kOverwriteSharesQuestion);
  std::vector<TXMLBookmarkType> list;
  builder_.CollectBookmarks(folder, list, overwrite ? CollectMode::All : CollectMode::UnsharedOnly);
  if (ProgressPosition) ProgressPosition(0);
  return StartAdd(std::move(list), mark == TShareMark::Private);
}

bool TShareCommands::UnshareBookmark(TXMLBookmarkType focused) {
  if (!focused) return false;
  std::shared_ptr<TWebShareThread> worker;
  try {
    worker = NewWorker({focused}, "delete");
  } catch (const std::exception& e) {
    questions_.ShowError(e.what());
    return false;
  }
  worker->Marked = Marked;
  Start(worker, &TShareCommands::CompleteShare);
  return true;
}

bool TShareCommands::DownloadPosts() {
  if (settings_.Username().empty()) {
    questions_.ShowError(kNoShareAccountMessage);
    questions_.OpenOptionsDialog();
    return false;
  }
  std::shared_ptr<TWebShareThread> worker;
  try {
    worker = NewWorker({}, "getall");
  } catch (const std::exception& e) {
    questions_.ShowError(e.what());
    return false;
  }
  if (TrayAnimation) TrayAnimation(true);
  Start(worker, &TShareCommands::CompleteDownload);
  if (TrayHint) TrayHint(kConnectingHint);
  return true;
}

void TShareCommands::CompleteShare(TWebShareThread& worker) {
  if (ProgressVisible) ProgressVisible(false);
  if (SetModified) SetModified(true);
  if (!worker.ErrorText().empty() && StatusPanel) StatusPanel(worker.ErrorText());
}

void TShareCommands::CompleteDownload(TWebShareThread& worker) {
  lastImport_ = {};
  if (!worker.ErrorText().empty()) {
    std::string message(kDownloadErrorFormat);
    message.replace(message.find("%s"), 2, worker.ErrorText());
    questions_.ShowError(message);
    if (TrayAnimation) TrayAnimation(false);
    return;
  }
  try {
    lastImport_ = ImportPosts(builder_, worker.Reply(), dataFolder_);
  } catch (const std::exception& e) {
    // Nothing was changed: the reply was refused before the document was touched.
    lastError_ = e.what();
    questions_.ShowError(e.what());
    if (TrayAnimation) TrayAnimation(false);
    return;
  }
  if (SetModified) SetModified(true);
  if (TrayAnimation) TrayAnimation(false);
  if (TrayHint) TrayHint(kDownloadDoneHint);
  if (RebuildViews) RebuildViews();
}

}  // namespace tessellink
