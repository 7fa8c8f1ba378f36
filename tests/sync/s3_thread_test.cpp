#include "sync/s3_thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/environment_services.h"
#include "common/atomic_file.h"
#include "store/xbel_document.h"
#include "support/test_support.h"
#include "sync/fake_s3_server.h"

namespace tessellink {
namespace {

using test::FakeS3Server;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr char kObject[] = "corvane_bmk/alice.xbel";

using test::OneBookmarkXbel;

std::string JoinErrorsForTest(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& line : errors) text += line + "|";
  return text;
}

std::string Inflate(const std::string& compressed, const TempDir& dir) {
  const auto file = dir / "inflated";
  ExtractToFile(&compressed, file);
  return ReadFile(file);
}

// Runs workers the way the main window does: reports and the completion
// handler arrive through a queue that this (the owner's) thread drains.
class S3ThreadTest : public ::testing::Test {
 protected:
  std::shared_ptr<TS3Thread> Worker(const std::string& command, std::string data = {}) {
    auto worker = TS3Thread::Create(command, true, server_.NewStorage(), std::move(data), "alice.xbel",
                                    kStorageBucket, dispatcher_);
    worker->StatusPanel = [this](const std::string& text) {
      EXPECT_EQ(std::this_thread::get_id(), owner_);
      statuses_.push_back(text);
    };
    worker->ProgressPosition = [this](int64_t position) {
      EXPECT_EQ(std::this_thread::get_id(), owner_);
      positions_.push_back(position);
    };
    worker->ProgressMaximum = [this](int64_t maximum) { maximum_ = maximum; };
    return worker;
  }

  // Starts the worker and drains the queue until its completion handler has run.
  void Run(const std::shared_ptr<TS3Thread>& worker) {
    bool done = false;
    worker->OnComplete = [&](TS3Thread& w) {
      EXPECT_EQ(std::this_thread::get_id(), owner_);
      EXPECT_EQ(&w, worker.get());
      done = true;
    };
    worker->Start();
    dispatcher_.RunUntil([&] { return done; });
    worker->Wait();
    dispatcher_.Drain();
  }

  bool Shown(const std::string& prefix) const {
    for (const std::string& s : statuses_) {
      if (s.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

  static void ExpectRising(const std::vector<int64_t>& positions) {
    for (size_t i = 1; i < positions.size(); ++i) EXPECT_LE(positions[i - 1], positions[i]);
  }

  FakeS3Server server_;
  TQueueDispatcher dispatcher_;
  std::thread::id owner_ = std::this_thread::get_id();
  std::vector<std::string> statuses_;
  std::vector<int64_t> positions_;
  int64_t maximum_ = -1;
};

TEST(S3CommandTest, NamesAndAliases) {
  EXPECT_EQ(ParseS3Command("SYNC"), TS3Command::Sync);
  EXPECT_EQ(ParseS3Command("GETFILE"), TS3Command::GetFile);
  EXPECT_EQ(ParseS3Command("GET"), TS3Command::GetFile);
  EXPECT_EQ(ParseS3Command("PUTFILE"), TS3Command::PutFile);
  EXPECT_EQ(ParseS3Command("PUT"), TS3Command::PutFile);
  EXPECT_EQ(ParseS3Command("HEADEREX"), TS3Command::HeaderEx);
  EXPECT_EQ(ParseS3Command("HEADER"), TS3Command::HeaderEx);
  EXPECT_EQ(ParseS3Command("sync"), std::nullopt);
  EXPECT_EQ(ParseS3Command(""), std::nullopt);
}

TEST(S3StatusTextTest, EveryReason) {
  const char* const fixed[] = {"Resolving...", "Resolved",  "Begin to connect...", "Disconnected", "Socket bound",
                               "Server connected", "Read OK", "Write OK", "Listening", "Accepting connection"};
  for (int reason = 0; reason < 10; ++reason) EXPECT_EQ(S3StatusText(reason, "", 0, 0), fixed[reason]);
  EXPECT_EQ(S3StatusText(10, "5", 105, 7), "Bytes read: 105");
  EXPECT_EQ(S3StatusText(11, "5", 105, 7), "Bytes written: 7");
  EXPECT_EQ(S3StatusText(12, "a moment", 0, 0), "Waiting: a moment");
  EXPECT_EQ(S3StatusText(13, "", 0, 0), "Error");
  EXPECT_EQ(S3StatusText(14, "", 0, 0), "Unknown status");
  EXPECT_EQ(S3StatusText(-1, "", 0, 0), "Unknown status");
}

TEST_F(S3ThreadTest, PutFileUploadsWithTheVersionAndReportsBytesWritten) {
  const std::string data(20000, 'z');
  for (const char* command : {"PUTFILE", "PUT"}) {
    SCOPED_TRACE(command);
    statuses_.clear();
    positions_.clear();
    auto worker = Worker(command, data);
    worker->Storage().SetVersion("6");
    Run(worker);
    EXPECT_TRUE(worker->Success());
    EXPECT_EQ(worker->ResultMessage(), "Upload succeeded.");
    const auto object = server_.Object(kObject);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->body, data);
    EXPECT_EQ(object->version, "6");
    // The counts run over the signing exchange too, so they reach at least the body.
    EXPECT_GE(worker->BytesWritten(), static_cast<int64_t>(data.size()));
    EXPECT_TRUE(Shown("Bytes written: " + std::to_string(worker->BytesWritten())));
    ASSERT_FALSE(positions_.empty());
    ExpectRising(positions_);
    EXPECT_EQ(positions_.back(), worker->BytesWritten());
    EXPECT_FALSE(worker->Storage().OnStatus);  // released at the end
  }
}

TEST_F(S3ThreadTest, PutFileFailures) {
  server_.FailUploads(500);
  auto refused = Worker("PUTFILE", "data");
  Run(refused);
  EXPECT_FALSE(refused->Success());
  EXPECT_EQ(refused->ResultMessage(), "Error");
  EXPECT_EQ(refused->Storage().Errors, std::vector<std::string>{"Upload Error, return code is:500"});
  EXPECT_FALSE(server_.Object(kObject));

  server_.FailUploads(0);
  server_.RefuseSigning("Wrong password.");
  auto unsigned_ = Worker("PUTFILE", "data");
  Run(unsigned_);
  EXPECT_FALSE(unsigned_->Success());
  EXPECT_EQ(unsigned_->ResultMessage(), "Error");
  EXPECT_EQ(unsigned_->Storage().Errors, (std::vector<std::string>{"Wrong password.", "Authentication failed."}));
  EXPECT_FALSE(server_.Object(kObject));
}

TEST_F(S3ThreadTest, HeaderExReadsVersionAndLength) {
  server_.PutObject(kObject, std::string(1234, 'b'), "9");
  for (const char* command : {"HEADEREX", "HEADER"}) {
    SCOPED_TRACE(command);
    auto worker = Worker(command);
    Run(worker);
    EXPECT_TRUE(worker->Success());
    EXPECT_EQ(worker->ResultMessage(), "Remote file information returned.");
    EXPECT_NE(worker->HeaderText().find("x-amz-meta-version"), std::string::npos);
    EXPECT_EQ(worker->Storage().RemoteVersion, 9);
    EXPECT_EQ(worker->Storage().ContentLength, 1234);
    EXPECT_TRUE(worker->Storage().Errors.empty());
  }
}

TEST_F(S3ThreadTest, HeaderExOutcomes) {
  auto missing = Worker("HEADEREX");
  Run(missing);
  EXPECT_TRUE(missing->Success());
  EXPECT_EQ(missing->HeaderText(), kFileMissing);

  server_.FailStorage(403, "<Error>\n<Code>AccessDenied</Code>\n</Error>");
  auto refused = Worker("HEADEREX");
  Run(refused);
  EXPECT_FALSE(refused->Success());
  EXPECT_EQ(refused->ResultMessage(), "Error");
  EXPECT_TRUE(refused->HeaderText().empty());
  EXPECT_FALSE(refused->Storage().Errors.empty());
}

TEST_F(S3ThreadTest, GetFileDownloadsAndMovesTheProgress) {
  const std::string body(50000, 'q');
  server_.PutObject(kObject, body, "2");
  for (const char* command : {"GETFILE", "GET"}) {
    SCOPED_TRACE(command);
    positions_.clear();
    auto worker = Worker(command);
    Run(worker);
    EXPECT_TRUE(worker->Success());
    EXPECT_EQ(worker->ResultMessage(), "Download succeeded.");
    EXPECT_EQ(worker->Data(), body);
    EXPECT_EQ(worker->Storage().RemoteVersion, 2);
    EXPECT_EQ(maximum_, static_cast<int64_t>(body.size()));
    ASSERT_FALSE(positions_.empty());
    ExpectRising(positions_);
    EXPECT_GE(positions_.back(), static_cast<int64_t>(body.size()));
    EXPECT_TRUE(Shown("Bytes read: "));
  }
}

TEST_F(S3ThreadTest, GetFileOfAMissingObjectFails) {
  auto worker = Worker("GETFILE");
  Run(worker);
  EXPECT_FALSE(worker->Success());
  EXPECT_EQ(worker->ResultMessage(), "Error");
  EXPECT_TRUE(worker->Data().empty());
  EXPECT_FALSE(worker->Storage().Errors.empty());
}

TEST_F(S3ThreadTest, UnknownCommandFailsWithoutRequests) {
  auto worker = Worker("DELETE");
  Run(worker);
  EXPECT_FALSE(worker->Success());
  EXPECT_EQ(worker->ResultMessage(), "Error");
  EXPECT_TRUE(statuses_.empty());
}

TEST_F(S3ThreadTest, InPlaceDispatcherRunsReportsAndCompletion) {
  server_.PutObject(kObject, "abc", "1");
  TInPlaceDispatcher inPlace;
  auto worker = TS3Thread::Create("HEADEREX", true, server_.NewStorage(), {}, "alice.xbel", kStorageBucket, inPlace);
  int statuses = 0;
  bool done = false;
  worker->StatusPanel = [&](const std::string&) { ++statuses; };
  worker->OnComplete = [&](TS3Thread& w) { done = w.Success(); };
  worker->Start();
  worker->Wait();
  EXPECT_TRUE(done);
  EXPECT_GT(statuses, 0);
}

// "SYNC": the fixture holds an open document and its default file.
class S3SyncTest : public S3ThreadTest {
 protected:
  S3SyncTest() {
    WriteFile(defaultFile_, OneBookmarkXbel("Local", "http://local.example/"));
    open_ = TXbelDocument::Load(defaultFile_);
    before_ = ReadFile(defaultFile_);
  }

  std::shared_ptr<TS3Thread> SyncWorker(int32_t newVersion) {
    auto worker = Worker("SYNC");
    worker->DownloadedFile = dir_ / "temp.xbel";
    worker->NewVersion = newVersion;
    worker->MergeStep = [this](const std::filesystem::path& downloaded) {
      EXPECT_EQ(std::this_thread::get_id(), owner_);
      ++merges_;
      return MergeDownloadedFile(*open_, downloaded, defaultFile_);
    };
    return worker;
  }

  void ExpectNothingChanged(const TS3Thread& worker, const std::string& remoteBody) {
    EXPECT_FALSE(worker.Success());
    EXPECT_EQ(ReadFile(defaultFile_), before_);
    EXPECT_EQ(server_.Puts(), 0);
    const auto object = server_.Object(kObject);
    if (!remoteBody.empty()) {
      ASSERT_TRUE(object);
      EXPECT_EQ(object->body, remoteBody);
    }
  }

  TempDir dir_;
  std::filesystem::path defaultFile_ = dir_ / "default.xbel";
  std::unique_ptr<TXbelDocument> open_;
  std::string before_;
  int merges_ = 0;
};

TEST_F(S3SyncTest, DownloadsMergesOnTheOwnerThreadAndUploadsTheNewVersion) {
  const std::string remote = CompressBytes(OneBookmarkXbel("Remote", "http://remote.example/"));
  server_.PutObject(kObject, remote, "3");
  auto worker = SyncWorker(4);
  Run(worker);
  EXPECT_TRUE(worker->Success()) << JoinErrorsForTest(worker->Storage().Errors);
  EXPECT_EQ(worker->ResultMessage(), "Upload succeed.");
  EXPECT_EQ(merges_, 1);
  EXPECT_EQ(worker->Data(), remote);

  const std::string merged = ReadFile(defaultFile_);
  EXPECT_NE(merged.find("http://local.example/"), std::string::npos);
  EXPECT_NE(merged.find("http://remote.example/"), std::string::npos);
  EXPECT_NE(open_->SaveText(XbelSaveMode::Ordinary).find("http://remote.example/"), std::string::npos);

  const auto object = server_.Object(kObject);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->version, "4");
  EXPECT_EQ(Inflate(object->body, dir_), merged);
  EXPECT_TRUE(Shown("Bytes read: "));
  EXPECT_TRUE(Shown("Bytes written: "));
}

TEST_F(S3SyncTest, FailedDownloadChangesNothing) {
  auto worker = SyncWorker(4);
  Run(worker);
  EXPECT_EQ(worker->ResultMessage(), "Download failed.");
  EXPECT_EQ(merges_, 0);
  ExpectNothingChanged(*worker, {});
  EXPECT_FALSE(server_.Object(kObject));
}

TEST_F(S3SyncTest, CorruptDownloadChangesNothing) {
  server_.PutObject(kObject, "not a zlib stream", "3");
  auto worker = SyncWorker(4);
  Run(worker);
  EXPECT_EQ(worker->ResultMessage(), "Error");
  EXPECT_EQ(merges_, 0);
  EXPECT_EQ(worker->Storage().Errors, std::vector<std::string>{"Extract file error"});
  ExpectNothingChanged(*worker, "not a zlib stream");
}

TEST_F(S3SyncTest, DownloadThatIsNotXbelChangesNothing) {
  const std::string remote = CompressBytes("<html>not bookmarks</html>");
  server_.PutObject(kObject, remote, "3");
  auto worker = SyncWorker(4);
  Run(worker);
  EXPECT_EQ(worker->ResultMessage(), "Error");
  EXPECT_EQ(merges_, 1);
  EXPECT_EQ(worker->Storage().Errors.size(), 1u);
  ExpectNothingChanged(*worker, remote);
}

TEST_F(S3SyncTest, FailedUploadIsReported) {
  const std::string remote = CompressBytes(OneBookmarkXbel("Remote", "http://remote.example/"));
  server_.PutObject(kObject, remote, "3");
  server_.FailUploads(503);
  auto worker = SyncWorker(4);
  Run(worker);
  EXPECT_FALSE(worker->Success());
  EXPECT_EQ(worker->ResultMessage(), "Upload failed.");
  EXPECT_EQ(worker->Storage().Errors, std::vector<std::string>{"Upload Error, return code is:503"});
  const auto object = server_.Object(kObject);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->version, "3");
  EXPECT_EQ(object->body, remote);
}

// A worker started while another one is inside its run waits for it: the
// header request of the second arrives only after the first one's upload.
TEST_F(S3SyncTest, WorkersRunOneAtATime) {
  server_.PutObject(kObject, CompressBytes(OneBookmarkXbel("Remote", "http://remote.example/")), "3");
  auto first = SyncWorker(4);
  auto second = Worker("HEADEREX");
  bool secondDone = false;
  second->OnComplete = [&](TS3Thread&) { secondDone = true; };
  const TS3Thread::TMergeStep merge = first->MergeStep;
  first->MergeStep = [&](const std::filesystem::path& downloaded) {
    second->Start();
    return merge(downloaded);
  };
  Run(first);
  dispatcher_.RunUntil([&] { return secondDone; });
  second->Wait();
  EXPECT_TRUE(first->Success());
  EXPECT_TRUE(second->Success());
  EXPECT_EQ(second->Storage().RemoteVersion, 4);
  const std::vector<std::string> log = server_.Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "GET /corvane_bmk/alice.xbel");
  EXPECT_EQ(log[1], "PUT /corvane_bmk/alice.xbel");
  EXPECT_EQ(log[2], "HEAD /corvane_bmk/alice.xbel");
}

}  // namespace
}  // namespace tessellink
