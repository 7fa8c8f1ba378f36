#pragma once
// The synchronisation commands of the main window without the window: check,
// decide, upload, download and merge, each operation on a storage of its own,
// and the completion handlers that bring the record and the open document up
// to date. Everything here runs on the owner's thread; the workers report
// through the owner's dispatcher.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sync/s3_thread.h"
#include "sync/sync_decision.h"
#include "sync/sync_record.h"

namespace tessellink {

class TXMLAppSettingType;
class TXbelBuilder;

enum class SyncChoice { Download, Upload, Merge, Cancel };

// The user's part: the default-file question and the conflict dialog.
class ISyncQuestions {
 public:
  virtual ~ISyncQuestions() = default;
  virtual bool AskYesNo(const std::string& question) = 0;
  virtual void Inform(const std::string& notice) = 0;
  virtual void ShowError(const std::string& message) = 0;
  virtual SyncChoice ChooseConflictAction() = 0;
};

inline constexpr const char* kTempXbelFileName = "temp.xbel";

class TSyncController {
 public:
  // `builder` holds the open document, whose file is `openFile`. The record
  // "FileInfo.xml" of `dataFolder` is read now (created when missing).
  TSyncController(std::filesystem::path dataFolder, TXMLAppSettingType& settings, TXbelBuilder& builder,
                  std::filesystem::path openFile, ISyncQuestions& questions, TSyncStatusText status,
                  ISyncDispatcher& dispatcher);
  ~TSyncController();
  TSyncController(const TSyncController&) = delete;
  TSyncController& operator=(const TSyncController&) = delete;

  // Optional targets.
  TSyncStatusText TransferStatus;                // each exchange's report ("Bytes read: ..." and so on)
  std::function<void(int64_t)> ProgressPosition;
  std::function<void(int64_t)> ProgressMaximum;
  std::function<void(bool)> ProgressVisible;
  std::function<void()> DocumentChanged;        // after a merge or a download replaced the open document
  std::optional<TStorageEndpoint> EndpointOverride;  // in place of the settings' endpoint (tests)

  // Each command returns whether an operation started.
  bool EnsureDefaultFile();
  bool Synchronize();
  bool UploadFile();
  bool UploadFile(const std::filesystem::path& file);
  bool DownloadFile();
  bool MergeAndUpload();
  void ApplyDecision(SyncDecision decision);

  // True while an operation, or one it leads to, has not finished. With a
  // TQueueDispatcher the owner runs RunUntilIdle.
  bool Busy() const { return running_ > 0; }
  void RunUntilIdle(TQueueDispatcher& dispatcher);

  // The outcome of the last chain of operations.
  std::optional<SyncDecision> LastDecision() const { return lastDecision_; }
  const std::string& LastStatus() const { return lastStatus_; }
  bool Failed() const { return failed_; }          // a step failed or the decision was NetworkError
  bool Cancelled() const { return cancelled_; }    // the conflict dialog was cancelled
  int32_t RemoteVersion() const { return remoteVersion_; }

  const TXMLFileInfoType& Record() const { return record_; }
  TXMLFileInfoType& Record() { return record_; }
  void ReloadRecord();
  const std::filesystem::path& OpenFile() const { return openFile_; }
  void SetOpenFile(std::filesystem::path file) { openFile_ = std::move(file); }
  // DefaultFile of the settings, in the data folder when relative;
  // "default.xbel" there when empty.
  std::filesystem::path DefaultFilePath() const;

 private:
  std::shared_ptr<TS3Storage> NewStorage() const;
  std::shared_ptr<TS3Thread> NewWorker(const char* command, std::shared_ptr<TS3Storage> storage, std::string data,
                                       bool progress);
  void Start(const std::shared_ptr<TS3Thread>& worker);
  void Complete(TS3Thread& worker);
  void CompleteUpload(TS3Thread& worker);
  void CompleteHeader(TS3Thread& worker);
  void CompleteMerge(TS3Thread& worker);
  void CompleteDownload(TS3Thread& worker);
  bool SaveRecord(const TXMLFileInfoType& record);
  void Status(const std::string& text);
  void Fail(const std::string& text);
  void HideProgress(bool reset);

  std::filesystem::path dataFolder_;
  TXMLAppSettingType& settings_;
  TXbelBuilder& builder_;
  std::filesystem::path openFile_;
  ISyncQuestions& questions_;
  TSyncStatusText status_;
  ISyncDispatcher& dispatcher_;

  TXMLFileInfoType record_;
  int32_t remoteVersion_ = 0;
  std::atomic<int> running_{0};
  std::optional<SyncDecision> lastDecision_;
  std::string lastStatus_;
  bool failed_ = false;
  bool cancelled_ = false;
  // Joined once idle: a finished worker may still be leaving the dispatcher's Post.
  std::vector<std::shared_ptr<TS3Thread>> workers_;
  void JoinFinishedWorkers();
  // Reports of workers that outlive the controller find it gone.
  std::shared_ptr<TSyncController*> self_;
};

}  // namespace tessellink
