#include "sync/s3_thread.h"

#include <zlib.h>

#include <exception>
#include <future>
#include <utility>

#include "app/environment_services.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/merge.h"
#include "settings/xml_file.h"
#include "store/xbel_document.h"

namespace tessellink {
namespace {

// One worker at a time in the whole process.
std::mutex& SyncLock() {
  static std::mutex lock;
  return lock;
}

constexpr const char* kError = "Error";

}  // namespace

std::optional<TS3Command> ParseS3Command(std::string_view command) {
  if (command == "SYNC") return TS3Command::Sync;
  if (command == "GETFILE" || command == "GET") return TS3Command::GetFile;
  if (command == "PUTFILE" || command == "PUT") return TS3Command::PutFile;
  if (command == "HEADEREX" || command == "HEADER") return TS3Command::HeaderEx;
  return std::nullopt;
}

std::string S3StatusText(int reason, std::string_view value, int64_t bytesRead, int64_t bytesWritten) {
  switch (reason) {
    case 0: return "Resolving...";
    case 1: return "Resolved";
    case 2: return "Begin to connect...";
    case 3: return "Disconnected";
    case 4: return "Socket bound";
    case 5: return "Server connected";
    case 6: return "Read OK";
    case 7: return "Write OK";
    case 8: return "Listening";
    case 9: return "Accepting connection";
    case 10: return "Bytes read: " + std::to_string(bytesRead);
    case 11: return "Bytes written: " + std::to_string(bytesWritten);
    case 12: return "Waiting: " + std::string(value);
    case 13: return "Error";
    default: return "Unknown status";
  }
}

std::string CompressBytes(std::string_view bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                           static_cast<uLong>(bytes.size()), Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) throw AppError("Could not compress the bookmark file.");
  out.resize(size);
  return out;
}

std::string MergeDownloadedFile(TXbelDocument& open, const std::filesystem::path& downloaded,
                                const std::filesystem::path& defaultFile) {
  const std::unique_ptr<TXbelDocument> remote = TXbelDocument::Load(downloaded);
  MergeDocument(open.Root(), remote->Root());
  SaveXmlFile(open.Dom().document_element(), defaultFile, XmlLayout::Raw);
  return CompressBytes(ReadFileBytes(defaultFile));
}

std::shared_ptr<TS3Thread> TS3Thread::Create(std::string command, bool octetStream,
                                             std::shared_ptr<TS3Storage> storage, std::string data, std::string key,
                                             std::string bucket, ISyncDispatcher& dispatcher) {
  return std::shared_ptr<TS3Thread>(new TS3Thread(std::move(command), octetStream, std::move(storage),
                                                  std::move(data), std::move(key), std::move(bucket), dispatcher));
}

TS3Thread::TS3Thread(std::string command, bool octetStream, std::shared_ptr<TS3Storage> storage, std::string data,
                     std::string key, std::string bucket, ISyncDispatcher& dispatcher)
    : command_(std::move(command)),
      operation_(ParseS3Command(command_)),
      octetStream_(octetStream),
      storage_(storage ? std::move(storage) : std::make_shared<TS3Storage>()),
      data_(std::move(data)),
      key_(std::move(key)),
      bucket_(std::move(bucket)),
      dispatcher_(dispatcher) {}

void TS3Thread::Start() {
  thread_.Start([self = shared_from_this()] { self->Execute(); });
}

void TS3Thread::Wait() {
  thread_.Wait();
}

void TS3Thread::Execute() {
  {
    std::lock_guard lock(SyncLock());
    storage_->OnStatus = [this](int reason, std::string_view value) { OnStorageStatus(reason, value); };
    try {
      RunCommand();
    } catch (const std::exception& e) {
      storage_->Errors.emplace_back(e.what());
      Finish(false, kError);
    } catch (...) {
      Finish(false, kError);
    }
    storage_->OnStatus = nullptr;
  }
  StatusPanel = nullptr;
  ProgressPosition = nullptr;
  ProgressMaximum = nullptr;
  MergeStep = nullptr;
  // The handler may drop the owner's last handle; the task keeps the worker alive until it returns.
  dispatcher_.Post([self = shared_from_this()] {
    if (self->OnComplete) {
      TCompletion handler = std::move(self->OnComplete);
      self->OnComplete = nullptr;
      handler(*self);
    }
  });
}

void TS3Thread::Finish(bool success, std::string message) {
  success_ = success;
  resultMessage_ = std::move(message);
}

void TS3Thread::RunCommand() {
  if (!operation_) {
    Finish(false, kError);
    return;
  }
  switch (*operation_) {
    case TS3Command::GetFile: {
      readProgress_ = false;
      storage_->GetObjectInfo(bucket_, key_);
      if (ProgressPosition || ProgressMaximum) {
        if (ProgressMaximum) {
          dispatcher_.Post([target = ProgressMaximum, max = int64_t{storage_->ContentLength}] { target(max); });
        }
        readProgress_ = true;
      }
      std::string body;
      if (storage_->GetObject(bucket_, key_, body)) {
        data_ = std::move(body);
        Finish(true, "Download succeeded.");
      } else {
        Finish(false, kError);
      }
      return;
    }
    case TS3Command::PutFile:
      if (storage_->PutObject(bucket_, key_, octetStream_, data_)) {
        Finish(true, "Upload succeeded.");
      } else {
        Finish(false, kError);
      }
      return;
    case TS3Command::HeaderEx:
      headerText_ = storage_->GetObjectInfo(bucket_, key_);
      if (!headerText_.empty()) {
        Finish(true, "Remote file information returned.");
      } else {
        Finish(false, kError);
      }
      return;
    case TS3Command::Sync:
      RunSync();
      return;
  }
}

void TS3Thread::RunSync() {
  readProgress_ = true;
  std::string body;
  if (!storage_->GetObject(bucket_, key_, body)) {
    Finish(false, "Download failed.");
    return;
  }
  data_ = std::move(body);
  if (!MergeStep || DownloadedFile.empty()) {
    Finish(false, kError);
    return;
  }
  std::string compressed;
  try {
    ExtractToFile(&data_, DownloadedFile);
    TMergeStep merge = MergeStep;
    const std::filesystem::path downloaded = DownloadedFile;
    compressed = OnOwnerThread([&merge, &downloaded] { return merge(downloaded); });
  } catch (const std::exception& e) {
    storage_->Errors.emplace_back(e.what());
    Finish(false, kError);
    return;
  }
  storage_->SetVersion(std::to_string(NewVersion));
  if (storage_->PutObject(bucket_, key_, octetStream_, compressed)) {
    Finish(true, "Upload succeed.");
  } else {
    Finish(false, "Upload failed.");
  }
}

std::string TS3Thread::OnOwnerThread(const std::function<std::string()>& step) {
  auto promise = std::make_shared<std::promise<std::string>>();
  std::future<std::string> result = promise->get_future();
  dispatcher_.Post([promise, step] {
    try {
      promise->set_value(step());
    } catch (...) {
      promise->set_exception(std::current_exception());
    }
  });
  return result.get();
}

void TS3Thread::OnStorageStatus(int reason, std::string_view value) {
  bool moveProgress = false;
  int64_t position = 0;
  if (reason == 10 || reason == 11) {
    const std::optional<int32_t> count = ParseInteger(value);
    const int64_t bytes = count && *count > 0 ? *count : 0;
    if (reason == 10) {
      bytesRead_ += bytes;
      moveProgress = readProgress_;
      position = bytesRead_;
    } else {
      bytesWritten_ += bytes;
      moveProgress = true;
      position = bytesWritten_;
    }
  }
  if (StatusPanel) {
    dispatcher_.Post([target = StatusPanel, text = S3StatusText(reason, value, bytesRead_, bytesWritten_)] {
      target(text);
    });
  }
  if (moveProgress && ProgressPosition) {
    dispatcher_.Post([target = ProgressPosition, position] { target(position); });
  }
}

}  // namespace tessellink
