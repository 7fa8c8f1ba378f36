// The CLI's sync commands when the storage fails them: refused connections, a
// body cut short, replies that are not HTTP or not S3, an object that is not a
// zlib stream. Whatever goes wrong, the bookmark file, the record and the
// online copy stay exactly as they were. And an independent S3 client reads
// what the program stored.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_app.h"
#include "net/loopback_server.h"
#include "settings/app_settings.h"
#include "support/child_process.h"
#include "support/test_support.h"
#include "sync/s3_storage.h"
#include "sync/sync_record.h"
#include "sync_integration/sync_servers.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

using test::kSyncPassword;
using test::OneBookmarkXbel;
using Result = test::CliResult;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::optional<std::string> FileBytes(const fs::path& file) {
  if (!fs::exists(file)) return std::nullopt;
  return test::ReadFile(file);
}

// Inflates a zlib stream; nothing when `data` is not one.
std::optional<std::string> Inflate(const std::string& data) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return std::nullopt;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(buffer);
    zs.avail_out = sizeof buffer;
    rc = inflate(&zs, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - zs.avail_out);
    if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) break;
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || zs.avail_in != 0) return std::nullopt;
  return out;
}

using RawStorage = test::RawReplyServer;

// An S3 reply head for the online object, version 9 (newer than anything stored).
std::string ObjectHead(size_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Type: binary/octet-stream\r\nx-amz-meta-version: 9\r\nContent-Length: " +
         std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

const std::string kServerError = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

// HEAD finds the object; GET and PUT get `get` and `put`.
RawStorage::ReplyFor ObjectStorage(std::string get, std::string put = kServerError) {
  return [get, put](const std::string& method) {
    if (method == "HEAD") return ObjectHead(4000);
    return method == "GET" ? get : put;
  };
}

const std::string kHtml = "<html><body><h1>Welcome to our hotspot</h1></body></html>";
const std::string kHtmlReply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                               std::to_string(kHtml.size()) + "\r\nConnection: close\r\n\r\n" + kHtml;

// The bookmark file, the record and the online copy with its version.
struct Snapshot {
  std::optional<std::string> bookmarks, record, online;
  int32_t onlineVersion = -1;
  bool operator==(const Snapshot&) const = default;
};

class SyncFailures : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::MissingS3rverTools(/*need_s3cmd=*/true);
    ASSERT_TRUE(missing.empty()) << missing;
    servers_ = std::make_unique<test::SyncServers>(work_.path());
    for (const fs::path& folder : {first_, second_}) SetStorage(folder, servers_->StorageHost());
    ASSERT_EQ(Cli(first_, {"account", "register", "alice", "alice@example.com"}).code, 0);
    ASSERT_EQ(Cli(second_, {"account", "login", "alice"}).code, 0);
  }

  void SetStorage(const fs::path& folder, const std::string& host) {
    test::WriteSyncSettings(folder, servers_->BaseUrl(), host);
  }

  static Result Cli(const fs::path& folder, std::vector<std::string> args) {
    return test::RunCliIn(folder, std::move(args));
  }

  void Edit(const fs::path& folder, const std::string& title) {
    const Result r = test::EditByImport(folder, work_.path(), title);
    ASSERT_EQ(r.code, 0) << r.err;
  }

  TS3Storage Reader() {
    TStorageEndpoint endpoint;
    endpoint.baseUrl = servers_->BaseUrl();
    endpoint.storageHost = servers_->StorageHost();
    TS3Storage client(endpoint);
    client.UserName = "alice";
    client.Password = kSyncPassword;
    return client;
  }

  Snapshot Take(const fs::path& folder) {
    Snapshot s{FileBytes(folder / "default.xbel"), FileBytes(folder / kFileInfoFileName), std::nullopt};
    TS3Storage info = Reader();
    const std::string head = info.GetObjectInfo(test::kStorageBucket, StorageKey("alice"));
    EXPECT_FALSE(head.empty()) << "the real storage must answer";
    if (head == kFileMissing) return s;
    s.onlineVersion = info.HasRemoteVersion ? info.RemoteVersion : -2;
    TS3Storage get = Reader();
    std::string body;
    EXPECT_TRUE(get.GetObject(test::kStorageBucket, StorageKey("alice"), body));
    s.online = body;
    return s;
  }

  // The first computer uploads twice; the second took the first upload and
  // edited since, so its sync meets a conflict.
  void PrepareConflict() {
    test::WriteFile(first_ / "default.xbel", OneBookmarkXbel("First", "http://first.example/"));
    ASSERT_EQ(Cli(first_, {"sync"}).code, 0);
    Edit(first_, "edited");
    ASSERT_EQ(Cli(first_, {"sync"}).code, 0);
    ASSERT_EQ(Cli(second_, {"sync"}).code, 0);
    Edit(second_, "fromsecond");
    Edit(first_, "fromfirst");
    ASSERT_EQ(Cli(first_, {"sync"}).code, 0);
  }

  test::TempDir work_;
  fs::path first_ = work_ / "first";
  fs::path second_ = work_ / "second";
  std::unique_ptr<test::SyncServers> servers_;
};

struct FailureCase {
  const char* name;
  std::optional<RawStorage::ReplyFor> storage;  // none: a closed loopback port
  std::vector<std::vector<std::string>> commands;
  const char* message;  // on standard error
};

TEST_F(SyncFailures, AFailingStorageChangesNothing) {
  PrepareConflict();
  const Snapshot before = Take(second_);
  ASSERT_TRUE(before.online && before.bookmarks && before.record);
  ASSERT_EQ(before.onlineVersion, 2);

  const std::vector<std::string> sync = {"sync"}, upload = {"upload"}, download = {"download"},
                                 merge = {"sync", "--on-conflict", "merge"};
  const std::string notZlib = "this is not a zlib stream at all";
  const std::vector<FailureCase> cases = {
      {"closed port", std::nullopt, {sync, upload, download, merge}, "failed"},
      {"body cut short", ObjectStorage(ObjectHead(4000) + std::string(100, 'x')), {download, merge}, "failed"},
      {"not HTTP", [](const std::string&) { return std::string("\x16\x03\x01 garbage\0\xff\r\n\r\n", 17); },
       {sync, upload, download, merge}, "failed"},
      {"HTML page", ObjectStorage(kHtmlReply), {download, merge}, "Extract file error"},
      {"HTML to HEAD and GET", [](const std::string& method) { return method == "PUT" ? kServerError : kHtmlReply; },
       {sync, download}, "failed"},
      {"not zlib", ObjectStorage(ObjectHead(notZlib.size()) + notZlib), {download}, "Extract file error"},
  };
  for (const FailureCase& c : cases) {
    std::unique_ptr<RawStorage> fake;
    if (c.storage) fake = std::make_unique<RawStorage>(*c.storage);
    SetStorage(second_, fake ? fake->host_and_port() : "127.0.0.1:" + std::to_string(test::UnusedPort()));
    const Snapshot settled = Take(second_);  // the settings file is not part of it
    for (const std::vector<std::string>& command : c.commands) {
      SCOPED_TRACE(std::string(c.name) + ": " + command[0] + (command.size() > 1 ? " " + command.back() : ""));
      const Result r = Cli(second_, command);
      EXPECT_EQ(r.code, 1) << r.out << r.err;
      EXPECT_TRUE(Has(r.err, c.message)) << r.err;
      EXPECT_TRUE(Take(second_) == settled);
    }
    EXPECT_TRUE(settled == before) << c.name;
  }
}

TEST_F(SyncFailures, S3cmdReadsWhatTheProgramUploaded) {
  test::WriteFile(first_ / "default.xbel", OneBookmarkXbel("First \xc3\xa9t\xc3\xa9", "http://first.example/?a=1&b=2"));
  Edit(first_, "edited");
  const Result r = Cli(first_, {"upload"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;

  const fs::path config = work_ / "s3cmd.cfg";
  test::WriteFile(config, "[default]\naccess_key = " + std::string(kStorageAccessKeyId) + "\nsecret_key = " +
                              test::kSyncSecret + "\nhost_base = " + servers_->StorageHost() +
                              "\nhost_bucket = " + servers_->StorageHost() +
                              "\nuse_https = False\nsignature_v2 = True\nproxy_host = \n");
  const fs::path got = work_ / "got.z";
  test::ChildProcess s3cmd({"s3cmd", "--config", config.string(), "--signature-v2", "--no-progress", "get",
                            "--force", std::string("s3://") + test::kStorageBucket + "/alice.xbel", got.string()},
                           work_ / "s3cmd.err");
  const std::optional<int> status = s3cmd.Wait(std::chrono::seconds(60));
  ASSERT_TRUE(status) << "s3cmd did not finish";
  ASSERT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << s3cmd.Output() << test::ReadFile(work_ / "s3cmd.err");
  const std::optional<std::string> inflated = Inflate(test::ReadFile(got));
  ASSERT_TRUE(inflated) << "the stored object is not a zlib stream";
  EXPECT_EQ(*inflated, test::ReadFile(first_ / "default.xbel"));
}

}  // namespace
}  // namespace tessellink
