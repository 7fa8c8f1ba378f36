#pragma once
// The sharing commands of the main window without the window: which bookmarks
// go to the service, the account check, and what the completion handlers do
// with the result. Everything here runs on the owner's thread; the workers
// report through the owner's dispatcher.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "share/posts_import.h"
#include "share/web_share_thread.h"

namespace tessellink {

class TRunLog;
class TXMLAppSettingType;
class TXbelBuilder;

enum class TShareMark { Public, Private };

inline constexpr const char* kNoShareAccountMessage =
    "Account for Tagpost is not set. Please configure the account first.";
inline constexpr const char* kOverwriteSharesQuestion = "Do you want to overwrite all exist bookmarks on Tagpost?";
inline constexpr const char* kDownloadErrorFormat = "An error occurred while getting bookmarks from Tagpost. Detail:%s";
inline constexpr const char* kDownloadDoneHint = "Synchronizing completed.";
inline constexpr const char* kConnectingHint = "Connecting with the server...";

// The user's part: message boxes, the Yes/No question and the options dialog.
class IShareQuestions {
 public:
  virtual ~IShareQuestions() = default;
  virtual bool AskYesNo(const std::string& question) = 0;
  virtual void Inform(const std::string& notice) = 0;
  virtual void ShowError(const std::string& message) = 0;
  virtual void OpenOptionsDialog() = 0;
};

class TShareCommands {
 public:
  // `builder` holds the open document; "tmp.dat" of a download goes to `dataFolder`.
  TShareCommands(TXMLAppSettingType& settings, TXbelBuilder& builder, std::filesystem::path dataFolder,
                 IShareQuestions& questions, IWorkerDispatcher& dispatcher, TRunLog* log = nullptr);
  ~TShareCommands();
  TShareCommands(const TShareCommands&) = delete;
  TShareCommands& operator=(const TShareCommands&) = delete;

  // Optional window targets.
  std::function<void(bool)> ProgressVisible;
  std::function<void(int64_t)> ProgressMaximum;  // the minimum is always 0
  std::function<void(int64_t)> ProgressPosition;
  std::function<void()> ProgressStep;
  std::function<void(const std::string&)> StatusPanel;  // panel 1
  std::function<void(bool)> TrayAnimation;
  std::function<void(const std::string&)> TrayHint;
  std::function<void()> RebuildViews;
  // Saves the document (and notes the change for synchronisation).
  std::function<void(bool)> SetModified;
  // After each share mark a worker set.
  std::function<void(TXMLBookmarkType bookmark, std::string_view mark)> Marked;
  std::string CaFile;  // trust anchors in place of the system's (tests)

  // Each command returns whether a worker started. Failures before that (a
  // proxy port that is not a number, say) are shown through ShowError.
  // "Share": no account check, public.
  bool ShareBookmarks(const std::vector<TXMLBookmarkType>& selected);
  bool ShareBookmarks(const std::vector<TXMLBookmarkType>& selected, TShareMark mark);
  // The folder and its subfolders; an empty handle does nothing.
  bool ShareFolder(TXMLContainerType folder, TShareMark mark);
  bool UnshareBookmark(TXMLBookmarkType focused);
  bool DownloadPosts();

  bool Busy() const { return running_ > 0; }
  // With a TQueueDispatcher: runs the workers' reports until all have finished.
  void RunUntilIdle(TQueueDispatcher& dispatcher);

  // The outcome of the last finished worker: its error text (or the load error
  // of a download), empty on success.
  const std::string& LastError() const { return lastError_; }
  int LastSent() const { return lastSent_; }
  const TPostsImportResult& LastImport() const { return lastImport_; }

 private:
  bool StartAdd(std::vector<TXMLBookmarkType> list, bool privateShare);
  std::shared_ptr<TWebShareThread> NewWorker(std::vector<TXMLBookmarkType> list, const char* command);
  void Start(const std::shared_ptr<TWebShareThread>& worker, void (TShareCommands::*complete)(TWebShareThread&));
  void CompleteShare(TWebShareThread& worker);
  void CompleteDownload(TWebShareThread& worker);
  void JoinFinishedWorkers();

  TXMLAppSettingType& settings_;
  TXbelBuilder& builder_;
  std::filesystem::path dataFolder_;
  IShareQuestions& questions_;
  IWorkerDispatcher& dispatcher_;
  TRunLog* log_;

  int running_ = 0;
  std::string lastError_;
  int lastSent_ = 0;
  TPostsImportResult lastImport_;
  std::vector<std::shared_ptr<TWebShareThread>> workers_;
  // Reports of workers that outlive the commands object find it gone.
  std::shared_ptr<TShareCommands*> self_;
};

}  // namespace tessellink
