// The storage client against the real servers: tessellink-accountd signs, s3rver
// stores. Both run as child processes on loopback ports they pick themselves.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/test_support.h"
#include "sync/s3_storage.h"
#include "sync_integration/sync_servers.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class StorageRoundTrip : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::MissingS3rverTools();
    ASSERT_TRUE(missing.empty()) << missing;
    servers_ = std::make_unique<test::SyncServers>(work_.path());
  }

  TS3Storage Client(const std::string& user, const std::string& password) {
    TStorageEndpoint endpoint;
    endpoint.baseUrl = servers_->BaseUrl();
    endpoint.storageHost = servers_->StorageHost();
    endpoint.connectTimeoutMs = 5000;
    endpoint.idleTimeoutMs = 10000;
    TS3Storage client(endpoint);
    client.UserName = user;
    client.Password = password;
    return client;
  }

  test::TempDir work_;
  std::unique_ptr<test::SyncServers> servers_;
};

TEST_F(StorageRoundTrip, RegisterUploadReadHeadersAndDownload) {
  TS3Storage account = Client("alice", "pa ss=?");
  ASSERT_TRUE(account.Register("alice", "pa ss=?", "alice@example.com")) << account.LastReply.Desc;
  ASSERT_TRUE(account.Login("alice", "pa ss=?")) << account.LastReply.Desc;

  TS3Storage first = Client("alice", "pa ss=?");
  EXPECT_EQ(first.GetObjectInfo(kStorageBucket, StorageKey("alice")), kFileMissing);

  const std::string body(200000, 'x');
  TS3Storage upload = Client("alice", "pa ss=?");
  upload.SetVersion("7");
  ASSERT_TRUE(upload.PutObject(kStorageBucket, StorageKey("alice"), true, body)) << Lines(upload.Errors);

  TS3Storage info = Client("alice", "pa ss=?");
  EXPECT_NE(info.GetObjectInfo(kStorageBucket, StorageKey("alice")), "");
  EXPECT_TRUE(info.HasRemoteVersion);
  EXPECT_EQ(info.RemoteVersion, 7);
  EXPECT_EQ(info.ContentLength, static_cast<int>(body.size()));

  TS3Storage download = Client("alice", "pa ss=?");
  std::string got;
  ASSERT_TRUE(download.GetObject(kStorageBucket, StorageKey("alice"), got)) << Lines(download.Errors);
  EXPECT_EQ(got, body);
}

TEST_F(StorageRoundTrip, WrongPasswordSendsNothing) {
  TS3Storage account = Client("bob", "right");
  ASSERT_TRUE(account.Register("bob", "right", "bob@example.com")) << account.LastReply.Desc;
  TS3Storage wrong = Client("bob", "wrong");
  EXPECT_FALSE(wrong.PutObject(kStorageBucket, StorageKey("bob"), true, "data"));
  ASSERT_FALSE(wrong.Errors.empty());
  EXPECT_EQ(wrong.Errors.back(), "Authentication failed.");
  // Nothing reached the storage.
  TS3Storage right = Client("bob", "right");
  EXPECT_EQ(right.GetObjectInfo(kStorageBucket, StorageKey("bob")), kFileMissing);
  // Another user's object is not signed either.
  TS3Storage other = Client("bob", "right");
  EXPECT_FALSE(other.PutObject(kStorageBucket, StorageKey("alice"), true, "data"));
}

}  // namespace
}  // namespace tessellink
