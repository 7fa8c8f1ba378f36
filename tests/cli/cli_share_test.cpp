// share, unshare and posts-download end to end, in-process, against a loopback
// posts API over TLS.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "share/posts_test_server.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"
#include "sync/sync_record.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0">
  <bookmark href="http://one.test/"><title>One</title></bookmark>
  <bookmark href="http://two.test/"><title>Two</title></bookmark>
  <bookmark href="www.three.test"><title>Three</title>
    <info><metadata owner="http://www.tessellink.net/xbel/Share">public</metadata></info></bookmark>
</xbel>)";

class CliShare : public testing::Test {
 protected:
  CliShare() : server_(dir_.path()) {
    fs::create_directory(data_);
    test::WriteFile(File(), kDocument);
    Account("alice");
  }
  void Account(const std::string& user) {
    TXMLAppSettingType settings;
    settings.SetUsername(user);
    settings.SetPassword(Scramble("s3cret"));
    settings.SetPostsApiUrl(server_.Url());
    settings.SetDefaultFile("default.xbel");
    SaveSettings(settings, data_);
  }
  fs::path File() const { return data_ / "default.xbel"; }

  int Run(std::vector<std::string> args, bool terminal = false) {
    args.insert(args.begin(), {"--data-folder", data_.string()});
    std::ostringstream out, err;
    CliContext context;
    context.CaFile = server_.CaFile();
    context.StderrIsTerminal = terminal;
    const int rc = RunCli(args, out, err, context);
    out_ = out.str();
    err_ = err.str();
    return rc;
  }
  std::vector<std::string> Marks() {
    TXbelBuilder builder;
    builder.LoadDocument(File());
    std::vector<TXMLBookmarkType> all;
    builder.CollectBookmarks(builder.Root(), all, CollectMode::All);
    std::vector<std::string> marks;
    for (TXMLBookmarkType b : all) marks.emplace_back(TXbelBuilder::ShareMark(b));
    return marks;
  }
  int LocalVersion() { return LoadFileInfo(data_ / kFileInfoFileName).Local.version; }

  test::TempDir dir_;
  fs::path data_ = dir_ / "data";
  test::PostsTestServer server_;
  std::string out_, err_;
};

TEST_F(CliShare, SharesTheBookmarksOfEachAddressAndSaves) {
  ASSERT_EQ(Run({"share", File().string(), "HTTP://ONE.test/", "http://two.test/", "--private"}, true), kCliOk)
      << err_;
  EXPECT_EQ(out_, "Shared http://one.test/ (private)\nShared http://two.test/ (private)\nShared 2 bookmarks as private.\n");
  EXPECT_NE(err_.find("\rSharing: 2/2 (100%)\n"), std::string::npos) << err_;
  EXPECT_EQ(Marks(), (std::vector<std::string>{"private", "private", "public"}));
  EXPECT_EQ(server_.Posts().size(), 2u);
  EXPECT_EQ(server_.Posts()[0].shared, "no");
  EXPECT_EQ(LocalVersion(), 1) << "a changed default file is noted for synchronisation";
}

TEST_F(CliShare, RefusesBeforeSendingAnything) {
  const struct {
    std::string user;
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {"alice", {"share", File().string(), "http://one.test/", "http://nowhere.test/"},
       "no bookmark with the address 'http://nowhere.test/'"},
      {"", {"share", File().string(), "http://one.test/"},
       "Account for Tagpost is not set. Please configure the account first."},
      {"", {"posts-download", File().string()}, "Account for Tagpost is not set. Please configure the account first."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    Account(c.user);
    EXPECT_EQ(Run(c.args), kCliFailed);
    EXPECT_NE(err_.find(c.error), std::string::npos) << err_;
    EXPECT_EQ(out_, "");
  }
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(test::ReadFile(File()), kDocument);
}

TEST_F(CliShare, AFailureMidwaySavesTheMarksAlreadySet) {
  server_.refuseAddNumber = 2;
  EXPECT_EQ(Run({"share", File().string(), "http://one.test/", "http://two.test/", "www.three.test"}), kCliFailed);
  EXPECT_NE(err_.find("Shared http://one.test/ (public)\n"), std::string::npos) << err_;
  EXPECT_NE(err_.find("sharing stopped after 1 of 3 bookmarks: HTTP 500 Internal Server Error"), std::string::npos)
      << err_;
  EXPECT_EQ(Marks(), (std::vector<std::string>{"public", "", "public"}));
}

TEST_F(CliShare, UnshareThenDownloadTheCollection) {
  server_.AddPost({"http://www.three.test", "Three", "", "yes", "2026-01-01T00:00:00Z"});
  server_.AddPost({"http://four.test/", "Four", "x,y", "no", "2026-01-02T00:00:00Z"});
  ASSERT_EQ(Run({"unshare", File().string(), "www.three.test"}), kCliOk) << err_;
  EXPECT_EQ(out_, "Unshared www.three.test\n");
  EXPECT_EQ(Marks(), (std::vector<std::string>{"", "", "no"}));
  ASSERT_EQ(server_.Posts().size(), 1u) << "the address went with http:// in front";

  ASSERT_EQ(Run({"posts-download", File().string()}), kCliOk) << err_;
  EXPECT_EQ(out_, "Downloaded 1 post, 1 new in folder WebShare.\n");
  EXPECT_EQ(Marks(), (std::vector<std::string>{"", "", "", "private"}));

  // An unchanged collection leaves the file as it is, unwritten.
  const fs::file_time_type old = fs::last_write_time(File()) - std::chrono::hours(24);
  fs::last_write_time(File(), old);
  const std::string saved = test::ReadFile(File());
  ASSERT_EQ(Run({"posts-download", File().string()}), kCliOk) << err_;
  EXPECT_EQ(out_, "Downloaded 1 post, 0 new in folder WebShare; no change.\n");
  EXPECT_EQ(fs::last_write_time(File()), old);
  EXPECT_EQ(test::ReadFile(File()), saved);

  server_.allReply = "<html/>";
  EXPECT_EQ(Run({"posts-download", File().string()}), kCliFailed);
  EXPECT_NE(err_.find("not a posts document"), std::string::npos) << err_;
  EXPECT_EQ(test::ReadFile(File()), saved);
}

}  // namespace
}  // namespace tessellink
