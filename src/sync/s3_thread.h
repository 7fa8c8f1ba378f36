#pragma once
// The synchronisation worker: runs one storage operation ("HEADEREX",
// "GETFILE", "PUTFILE" or "SYNC") off the owner's thread. It never calls the
// owner's objects itself: status texts, progress positions, the merge step of
// "SYNC" and the completion handler all go through the owner's dispatcher.
//
// "SYNC" downloads and inflates the online copy on the worker, then hands the
// merge, the save of the default file and the compression to the owner's
// thread (the worker waits for it), and uploads the result. The open document
// is therefore only ever touched on the owner's thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/worker_dispatcher.h"
#include "app/worker_thread.h"
#include "sync/s3_storage.h"

namespace tessellink {

class TXbelDocument;

// The synchronisation worker's name for the owner's dispatcher.
using ISyncDispatcher = IWorkerDispatcher;

enum class TS3Command { Sync, GetFile, PutFile, HeaderEx };

// "SYNC", "GETFILE", "PUTFILE", "HEADEREX", and "GET", "PUT", "HEADER" for the
// same operations (exact letters); nothing for anything else.
std::optional<TS3Command> ParseS3Command(std::string_view command);

// The status text of one transfer report, the running counts already updated.
std::string S3StatusText(int reason, std::string_view value, int64_t bytesRead, int64_t bytesWritten);

// One zlib stream (RFC 1950) at the default level.
std::string CompressBytes(std::string_view bytes);

// The merge step of "SYNC", for the owner's thread: the downloaded XBEL file is
// merged into the open document, which is saved to `defaultFile`; returns that
// file's bytes compressed. Throws AppError (and its kinds) on any failure; the
// default file is then left whole.
std::string MergeDownloadedFile(TXbelDocument& open, const std::filesystem::path& downloaded,
                                const std::filesystem::path& defaultFile);

class TS3Thread : public std::enable_shared_from_this<TS3Thread> {
 public:
  // Receives the inflated download's path on the owner's thread; returns the
  // compressed bytes to upload, or throws to fail the run.
  using TMergeStep = std::function<std::string(const std::filesystem::path& downloaded)>;
  using TCompletion = std::function<void(TS3Thread& worker)>;

  // An unknown command fails the run with "Error" without sending anything.
  static std::shared_ptr<TS3Thread> Create(std::string command, bool octetStream,
                                           std::shared_ptr<TS3Storage> storage, std::string data, std::string key,
                                           std::string bucket, ISyncDispatcher& dispatcher);
  TS3Thread(const TS3Thread&) = delete;
  TS3Thread& operator=(const TS3Thread&) = delete;

  // Optional user-interface targets, run through the dispatcher. Set before Start.
  std::function<void(const std::string&)> StatusPanel;
  std::function<void(int64_t)> ProgressPosition;
  std::function<void(int64_t)> ProgressMaximum;  // "GETFILE": ContentLength of the header request
  // "SYNC": where the download is inflated ("temp.xbel" in the data folder),
  // the merge step and the version the merged file is uploaded with.
  std::filesystem::path DownloadedFile;
  TMergeStep MergeStep;
  int32_t NewVersion = 0;
  // Runs through the dispatcher once the run has ended.
  TCompletion OnComplete;

  // Starts the run on a thread of its own. Workers run one at a time across
  // the process: a second one waits for the first. The owner keeps the worker
  // alive by its handle or lets it go: the thread holds it until it ends.
  void Start();
  // Blocks until the thread has ended (not for use inside a dispatched task of
  // this worker with an in-place dispatcher).
  void Wait();

  const std::string& Command() const { return command_; }
  std::optional<TS3Command> Operation() const { return operation_; }
  TS3Storage& Storage() { return *storage_; }
  const std::shared_ptr<TS3Storage>& StoragePtr() const { return storage_; }
  // Upload: what was sent. Download and "SYNC": the downloaded body.
  const std::string& Data() const { return data_; }
  const std::string& Key() const { return key_; }
  const std::string& Bucket() const { return bucket_; }
  bool Success() const { return success_; }
  const std::string& ResultMessage() const { return resultMessage_; }
  const std::string& HeaderText() const { return headerText_; }
  int64_t BytesRead() const { return bytesRead_; }
  int64_t BytesWritten() const { return bytesWritten_; }

 private:
  TS3Thread(std::string command, bool octetStream, std::shared_ptr<TS3Storage> storage, std::string data,
            std::string key, std::string bucket, ISyncDispatcher& dispatcher);
  void Execute();
  void RunCommand();
  void RunSync();
  void Finish(bool success, std::string message);
  void OnStorageStatus(int reason, std::string_view value);
  // Runs `step` on the owner's thread and waits for it; its exception comes back here.
  std::string OnOwnerThread(const std::function<std::string()>& step);

  std::string command_;
  std::optional<TS3Command> operation_;
  bool octetStream_;
  std::shared_ptr<TS3Storage> storage_;
  std::string data_;
  std::string key_;
  std::string bucket_;
  ISyncDispatcher& dispatcher_;

  bool readProgress_ = false;
  int64_t bytesRead_ = 0;
  int64_t bytesWritten_ = 0;
  bool success_ = false;
  std::string resultMessage_;
  std::string headerText_;
  TWorkerThread thread_;  // last: joined before the other members go
};

}  // namespace tessellink
