// Two data folders stand for two computers that share one account: the CLI's
// sync commands against the real account service and s3rver.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "support/child_process.h"
#include "net/loopback_server.h"
#include "support/test_support.h"
#include "sync/s3_storage.h"
#include "sync/sync_record.h"
#include "sync_integration/sync_servers.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

using test::OneBookmarkXbel;
using Result = test::CliResult;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class TwoComputers : public testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::MissingS3rverTools();
    ASSERT_TRUE(missing.empty()) << missing;
    servers_ = std::make_unique<test::SyncServers>(work_.path());
    for (const fs::path& folder : {first_, second_})
      test::WriteSyncSettings(folder, servers_->BaseUrl(), servers_->StorageHost());
  }

  static Result Cli(const fs::path& folder, std::vector<std::string> args) {
    return test::RunCliIn(folder, std::move(args));
  }

  void Edit(const fs::path& folder, const std::string& title) {
    const Result r = test::EditByImport(folder, work_.path(), title);
    ASSERT_EQ(r.code, 0) << r.err;
  }

  static TXMLFileInfoType Record(const fs::path& folder) { return LoadFileInfo(folder / kFileInfoFileName); }

  static void ExpectRecord(const fs::path& folder, int32_t download, int32_t local) {
    const TXMLFileInfoType record = Record(folder);
    EXPECT_EQ(record.Download.version, download) << folder;
    EXPECT_EQ(record.Local.version, local) << folder;
  }

  std::string Bookmarks(const fs::path& folder) { return test::ReadFile(folder / "default.xbel"); }

  void RegisterAndLogIn() {
    Result r = Cli(first_, {"account", "register", "alice", "alice@example.com"});
    ASSERT_EQ(r.code, 0) << r.err;
    r = Cli(second_, {"account", "login", "alice"});
    ASSERT_EQ(r.code, 0) << r.err;
  }

  test::TempDir work_;
  fs::path first_ = work_ / "first";
  fs::path second_ = work_ / "second";
  std::unique_ptr<test::SyncServers> servers_;
};

TEST_F(TwoComputers, EditsTravelBothWaysAndConflictsMerge) {
  RegisterAndLogIn();
  test::WriteFile(first_ / "default.xbel", OneBookmarkXbel("First", "http://first.example/"));

  // The first computer's first synchronisation finds no online copy.
  Result r = Cli(first_, {"sync"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "Begin to get remote file information...\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "Remote file is not found.Upload local file...\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "Upload succeeded.\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "decision: RemoteMissing\n")) << r.out;
  ExpectRecord(first_, 0, 0);

  // An edit raises the local version; the next sync uploads it.
  Edit(first_, "edited");
  ExpectRecord(first_, 0, 1);
  r = Cli(first_, {"sync"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "decision: LocalNewer\n")) << r.out;
  ExpectRecord(first_, 1, 1);

  // The second computer has nothing yet and takes the online copy (its data folder
  // named by a relative path with a "." in it, as a user may type it).
  r = Cli(fs::path(".") / fs::relative(second_), {"sync"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "decision: RemoteNewer\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "Download succeeded.\n")) << r.out;
  EXPECT_EQ(Bookmarks(second_), Bookmarks(first_));
  ExpectRecord(second_, 1, 1);

  // Both change; the first uploads, the second meets a conflict.
  Edit(first_, "fromfirst");
  ASSERT_EQ(Cli(first_, {"sync"}).code, 0);
  ExpectRecord(first_, 2, 2);
  Edit(second_, "fromsecond");
  const std::string secondBefore = Bookmarks(second_);

  r = Cli(second_, {"sync"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "decision: Conflict\n")) << r.err;
  EXPECT_TRUE(Has(r.err, "--on-conflict")) << r.err;
  EXPECT_EQ(Bookmarks(second_), secondBefore);
  ExpectRecord(second_, 1, 2);

  r = Cli(second_, {"sync", "--on-conflict", "merge"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "Synchronize succeed\n")) << r.out;
  ExpectRecord(second_, 3, 3);
  for (const char* href : {"http://first.example/", "http://fromfirst.example/", "http://fromsecond.example/"})
    EXPECT_TRUE(Has(Bookmarks(second_), href)) << href;

  r = Cli(second_, {"sync"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "local file is identical to the remote.\n")) << r.out;
  EXPECT_TRUE(Has(r.out, "decision: Identical\n")) << r.out;

  // The first computer gets the merge.
  r = Cli(first_, {"sync"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "decision: RemoteNewer\n")) << r.out;
  EXPECT_TRUE(Has(Bookmarks(first_), "http://fromsecond.example/"));
  ExpectRecord(first_, 3, 3);
}

// A forward proxy on loopback: it knows the servers only by made-up names that
// no resolver answers, so a request arrives only when it went through the proxy.
class NamingProxy {
 public:
  NamingProxy(std::string accountHostPort, std::string storageHostPort) {
    routes_ = {{"accounts.invalid", std::move(accountHostPort)}, {"storage.invalid", std::move(storageHostPort)}};
    const auto forward = [this](const httplib::Request& req, httplib::Response& res) { Forward(req, res); };
    server_.Get(".*", forward);
    server_.Put(".*", forward);
  }
  int port() const { return thread_->port(); }
  void Start() { thread_ = std::make_unique<test::ServerThread>(server_); }
  int forwarded() const { return forwarded_; }
  bool allAuthenticated() const { return allAuthenticated_; }

 private:
  void Forward(const httplib::Request& req, httplib::Response& res) {
    // The target of a proxied request is the whole address: http://name/path.
    const std::string prefix = "http://";
    const size_t hostEnd = req.target.find('/', prefix.size());
    const std::string host = req.target.substr(prefix.size(), hostEnd - prefix.size());
    if (req.target.rfind(prefix, 0) != 0 || hostEnd == std::string::npos || !routes_.contains(host)) {
      res.status = 502;
      return;
    }
    // "bob:proxy pw", the proxy account of the settings
    if (req.get_header_value("Proxy-Authorization") != "Basic Ym9iOnByb3h5IHB3") allAuthenticated_ = false;
    ++forwarded_;
    httplib::Client upstream("http://" + routes_.at(host));
    httplib::Headers headers;
    for (const auto& [name, value] : req.headers)
      if (name != "Host" && name.rfind("Proxy-", 0) != 0 && name != "Content-Length" && name.rfind("REMOTE_", 0) != 0 &&
          name.rfind("LOCAL_", 0) != 0)
        headers.emplace(name, value);
    const std::string path = req.target.substr(hostEnd);
    const httplib::Result result =
        req.method == "PUT" ? upstream.Put(path, headers, req.body, req.get_header_value("Content-Type"))
        : req.method == "HEAD" ? upstream.Head(path, headers)
                               : upstream.Get(path, headers);
    if (!result) {
      res.status = 502;
      return;
    }
    res.status = result->status;
    for (const auto& [name, value] : result->headers)
      if (name != "Content-Length" && name != "Transfer-Encoding" && name != "Connection") res.set_header(name, value);
    if (req.method == "HEAD") res.set_header("Content-Length", result->get_header_value("Content-Length"));
    res.body = result->body;
  }

  httplib::Server server_;
  std::unique_ptr<test::ServerThread> thread_;
  std::map<std::string, std::string> routes_;
  std::atomic<int> forwarded_{0};
  std::atomic<bool> allAuthenticated_{true};
};

TEST_F(TwoComputers, ManualProxyOfTheSettingsCarriesEveryRequest) {
  NamingProxy proxy(servers_->BaseUrl().substr(7, servers_->BaseUrl().size() - 8), servers_->StorageHost());
  proxy.Start();
  for (const fs::path& folder : {first_, second_}) {
    test::WriteSyncSettings(folder, "http://accounts.invalid/", "storage.invalid");
    TXMLAppSettingType settings = LoadAppSettingStrict(folder / kAppSettingFileName);
    TXMLProxyType proxySettings = settings.Proxy();
    proxySettings.SetManualsetting(true);
    proxySettings.SetSettingasie(false);
    proxySettings.SetServername("127.0.0.1");
    proxySettings.SetPort(std::to_string(proxy.port()));
    proxySettings.SetUsername("bob");
    proxySettings.SetPassword(Scramble("proxy pw"));
    SaveSettings(settings, folder);
  }
  RegisterAndLogIn();
  test::WriteFile(first_ / "default.xbel", OneBookmarkXbel("First", "http://first.example/"));
  Result r = Cli(first_, {"sync"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "decision: RemoteMissing\n")) << r.out;
  r = Cli(second_, {"download"});
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(Bookmarks(second_), Bookmarks(first_));
  // register, login, then per command a signed HEAD and a signed transfer (two requests each)
  EXPECT_EQ(proxy.forwarded(), 2 + 2 * 4);
  EXPECT_TRUE(proxy.allAuthenticated());
}

TEST_F(TwoComputers, WrongPasswordChangesNothing) {
  RegisterAndLogIn();
  test::WriteFile(first_ / "default.xbel", OneBookmarkXbel("First", "http://first.example/"));
  ASSERT_EQ(Cli(first_, {"sync"}).code, 0);

  // The second computer holds a wrong password.
  TXMLAppSettingType settings = LoadAppSettingStrict(second_ / kAppSettingFileName);
  settings.Tesselsync().SetPassword(Scramble("wrong"));
  SaveSettings(settings, second_);
  test::WriteFile(second_ / "default.xbel", OneBookmarkXbel("Second", "http://second.example/"));
  const std::string before = Bookmarks(second_);
  for (const char* command : {"sync", "upload", "download"}) {
    const Result r = Cli(second_, {command});
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_TRUE(Has(r.err, "Authentication failed.")) << command << ": " << r.err;
    EXPECT_EQ(Bookmarks(second_), before);
    ExpectRecord(second_, 0, 0);
  }
  // The online copy is still the first computer's.
  ASSERT_EQ(Cli(first_, {"download"}).code, 0);
  EXPECT_TRUE(Has(Bookmarks(first_), "http://first.example/"));
}

TEST_F(TwoComputers, AccountServiceDownChangesNothing) {
  RegisterAndLogIn();
  test::WriteFile(first_ / "default.xbel", OneBookmarkXbel("First", "http://first.example/"));
  ASSERT_EQ(Cli(first_, {"sync"}).code, 0);
  Edit(first_, "edited");
  const std::string before = Bookmarks(first_);

  servers_->StopAccountService();
  for (const char* command : {"sync", "upload", "download"}) {
    const Result r = Cli(first_, {command});
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_FALSE(r.err.empty()) << command;
    EXPECT_EQ(Bookmarks(first_), before);
    ExpectRecord(first_, 0, 1);
  }
}

TEST_F(TwoComputers, ConflictChoiceIsCheckedBeforeAnythingRuns) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"sync", "--on-conflict", "keep"}, {"upload", "--on-conflict", "merge"}, {"download", "extra"}}) {
    const Result r = Cli(first_, args);
    EXPECT_EQ(r.code, kCliUsage) << args[0] << ": " << r.err;
  }
  // Without an account there is nothing to synchronise with.
  const Result r = Cli(first_, {"sync"});
  EXPECT_EQ(r.code, kCliFailed);
  EXPECT_TRUE(Has(r.err, "account login")) << r.err;
  EXPECT_FALSE(fs::exists(first_ / kFileInfoFileName));
}

}  // namespace
}  // namespace tessellink
