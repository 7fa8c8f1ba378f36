// The sharing commands against a loopback posts API over TLS.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "share/posts_test_server.h"
#include "share/share_commands.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0">
  <folder><title>Stuff</title>
    <bookmark href="http://one.test/"><title>Tom &amp; Jerry = fun?</title>
      <info><metadata owner="http://www.tessellink.net/xbel/tags">cats&amp;mice,a=b</metadata></info></bookmark>
    <bookmark href="http://two.test/"><title>two</title>
      <info><metadata owner="http://www.tessellink.net/xbel/Share">public</metadata></info></bookmark>
    <bookmark href="http://three.test/"><title>three</title>
      <info><metadata owner="http://www.tessellink.net/xbel/Share">no</metadata></info></bookmark>
    <folder><title>Inner</title>
      <bookmark href="http://four.test/"><title>four</title>
        <info><metadata owner="http://www.tessellink.net/xbel/Share">private</metadata></info></bookmark>
      <bookmark href="http://five.test/"><title>five</title></bookmark>
    </folder>
  </folder>
  <bookmark href="www.noscheme.test/page"><title>no scheme</title>
    <info><metadata owner="http://www.tessellink.net/xbel/Share">public</metadata></info></bookmark>
</xbel>)";

class FakeQuestions : public IShareQuestions {
 public:
  bool AskYesNo(const std::string& question) override {
    calls.push_back("ask: " + question);
    return answer;
  }
  void Inform(const std::string& notice) override { calls.push_back("inform: " + notice); }
  void ShowError(const std::string& message) override { calls.push_back("error: " + message); }
  void OpenOptionsDialog() override { calls.push_back("options"); }
  bool answer = true;
  Strings calls;
};

class ShareCommandsTest : public testing::Test {
 protected:
  ShareCommandsTest() : server_(dir_.path()) {
    test::WriteFile(dir_ / "doc.xbel", kDocument);
    builder_.LoadDocument(dir_ / "doc.xbel");
    settings_.SetUsername("alice");
    settings_.SetPassword(Scramble("s3cret"));
    settings_.SetPostsApiUrl(server_.Url());
  }

  // Runs one command to its end, on this thread's queue, as the window's event loop would.
  template <typename Command>
  bool Run(Command command, const std::string& caFile = {}) {
    TShareCommands commands(settings_, builder_, dir_.path(), questions_, dispatcher_);
    commands.CaFile = caFile.empty() ? server_.CaFile() : caFile;
    commands.SetModified = [this](bool) { ++saves_; };
    commands.StatusPanel = [this](const std::string& text) { status_.push_back(text); };
    commands.ProgressStep = [this] { ++steps_; };
    commands.ProgressMaximum = [this](int64_t max) { maximum_ = max; };
    const bool started = command(commands);
    commands.RunUntilIdle(dispatcher_);
    lastError_ = commands.LastError();
    return started;
  }

  std::vector<TXMLBookmarkType> All() {
    std::vector<TXMLBookmarkType> all;
    builder_.CollectBookmarks(builder_.Root(), all, CollectMode::All);
    return all;
  }
  Strings Marks() {
    Strings marks;
    for (TXMLBookmarkType b : All()) marks.emplace_back(TXbelBuilder::ShareMark(b));
    return marks;
  }
  Strings SentUrls() {
    Strings urls;
    for (const test::TestRequest& r : server_.Requests()) urls.push_back(r.Param("url"));
    return urls;
  }
  TXMLFolderType Stuff() { return builder_.Root().Folder()[0]; }

  test::TempDir dir_;
  test::PostsTestServer server_;
  TXbelBuilder builder_;
  TXMLAppSettingType settings_;
  FakeQuestions questions_;
  TQueueDispatcher dispatcher_;
  int saves_ = 0, steps_ = 0;
  int64_t maximum_ = -1;
  Strings status_;
  std::string lastError_;
};

TEST_F(ShareCommandsTest, FolderShareSendsEverythingOnYesAndOnlyTheUnsharedOnNo) {
  const struct {
    bool overwrite;
    Strings sent;
  } cases[] = {
      {true, {"http://one.test/", "http://two.test/", "http://three.test/", "http://four.test/", "http://five.test/"}},
      {false, {"http://one.test/", "http://three.test/", "http://five.test/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.overwrite);
    test::PostsTestServer server(dir_.path());
    settings_.SetPostsApiUrl(server.Url());
    builder_.LoadDocument(dir_ / "doc.xbel");
    questions_ = {};
    questions_.answer = c.overwrite;
    steps_ = saves_ = 0;
    ASSERT_TRUE(Run([this](TShareCommands& s) { return s.ShareFolder(Stuff(), TShareMark::Public); },
                    server.CaFile()));
    EXPECT_EQ(lastError_, "");
    EXPECT_EQ(questions_.calls, Strings{"ask: Do you want to overwrite all exist bookmarks on Tagpost?"});
    Strings sent;
    for (const test::TestRequest& r : server.Requests()) {
      EXPECT_EQ(r.path, "/v1/posts/add");
      EXPECT_EQ(r.Param("shared"), "<none>");
      sent.push_back(r.Param("url"));
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(maximum_, static_cast<int64_t>(c.sent.size()));
    EXPECT_EQ(steps_, static_cast<int>(c.sent.size()));
    EXPECT_EQ(saves_, 1);
    EXPECT_EQ(Marks(), (Strings{"public", "public", "public", c.overwrite ? "public" : "private", "public", "public"}));
  }
}

TEST_F(ShareCommandsTest, PrivateShareKeepsTitleAndTagsWhole) {
  ASSERT_TRUE(Run([this](TShareCommands& s) { return s.ShareBookmarks({All()[0]}, TShareMark::Private); }));
  EXPECT_EQ(lastError_, "");
  const std::vector<test::TestRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].params.size(), 4u) << "a value holding & or = must not split into more parameters";
  EXPECT_EQ(requests[0].Param("url"), "http://one.test/");
  EXPECT_EQ(requests[0].Param("description"), "Tom & Jerry = fun?");
  EXPECT_EQ(requests[0].Param("tags"), "cats&mice,a=b");
  EXPECT_EQ(requests[0].Param("shared"), "no");
  EXPECT_EQ(Marks()[0], "private");
}

TEST_F(ShareCommandsTest, UnshareSendsTheFullAddressAndMarksNo) {
  ASSERT_TRUE(Run([this](TShareCommands& s) { return s.UnshareBookmark(All()[5]); }));
  EXPECT_EQ(lastError_, "");
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].path, "/v1/posts/delete");
  EXPECT_EQ(SentUrls(), Strings{"http://www.noscheme.test/page"});
  EXPECT_EQ(Marks()[5], "no");
  EXPECT_EQ(saves_, 1);
}

TEST_F(ShareCommandsTest, AFailureMidwayKeepsTheMarksOfWhatWasSentAndLeavesTheRest) {
  server_.refuseAddNumber = 3;
  std::vector<TXMLBookmarkType> all = All();
  all.pop_back();
  const Strings before = Marks();
  ASSERT_TRUE(Run([&all](TShareCommands& s) { return s.ShareBookmarks(all, TShareMark::Private); }));
  EXPECT_EQ(lastError_, "HTTP 500 Internal Server Error");
  EXPECT_EQ(status_, Strings{lastError_});
  EXPECT_EQ(SentUrls(), (Strings{"http://one.test/", "http://two.test/", "http://three.test/"}));
  EXPECT_EQ(Marks(), (Strings{"private", "private", before[2], before[3], before[4], before[5]}));
  EXPECT_EQ(saves_, 1) << "the marks that were set are saved";
}

TEST_F(ShareCommandsTest, RefusedRequestsChangeNothing) {
  const std::string before = builder_.Document().SaveText(XbelSaveMode::Ordinary);
  test::TempDir otherDir;
  test::PostsTestServer otherName(otherDir.path(), "DNS:other.example");

  settings_.SetPassword(Scramble("wrong"));
  ASSERT_TRUE(Run([this](TShareCommands& s) { return s.ShareFolder(Stuff(), TShareMark::Public); }));
  EXPECT_EQ(lastError_, "HTTP 401 Unauthorized");
  ASSERT_TRUE(Run([this](TShareCommands& s) { return s.DownloadPosts(); }));
  EXPECT_EQ(questions_.calls.back(),
            "error: An error occurred while getting bookmarks from Tagpost. Detail:HTTP 401 Unauthorized");
  settings_.SetPassword(Scramble("s3cret"));

  settings_.SetPostsApiUrl(otherName.Url());
  ASSERT_TRUE(Run([this](TShareCommands& s) { return s.UnshareBookmark(All()[5]); }, otherName.CaFile()));
  EXPECT_NE(lastError_, "");
  EXPECT_TRUE(otherName.Requests().empty());
  settings_.SetPostsApiUrl(server_.Url());

  server_.allReply = "<html><body>Maintenance</body></html>";
  ASSERT_TRUE(Run([this](TShareCommands& s) { return s.DownloadPosts(); }));
  EXPECT_NE(lastError_.find("not a posts document"), std::string::npos) << lastError_;
  EXPECT_EQ(questions_.calls.back(), "error: " + lastError_);

  EXPECT_EQ(builder_.Document().SaveText(XbelSaveMode::Ordinary), before);
  EXPECT_TRUE(server_.Requests().size() == 1u && server_.Requests()[0].path == "/v1/posts/all");
}

TEST_F(ShareCommandsTest, WithoutAnAccountNothingIsSent) {
  settings_.SetUsername("");
  const std::string message = "Account for Tagpost is not set. Please configure the account first.";
  EXPECT_FALSE(Run([this](TShareCommands& s) { return s.ShareBookmarks(All(), TShareMark::Public); }));
  EXPECT_FALSE(Run([this](TShareCommands& s) { return s.ShareFolder(Stuff(), TShareMark::Private); }));
  EXPECT_FALSE(Run([this](TShareCommands& s) { return s.DownloadPosts(); }));
  EXPECT_EQ(questions_.calls, (Strings{"inform: " + message, "options", "inform: " + message, "options",
                                       "error: " + message, "options"}));
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(saves_, 0);
}

TEST_F(ShareCommandsTest, DownloadMergesTheCollectionAndASecondOneAddsNothing) {
  server_.AddPost({"HTTP://ONE.TEST/", "One", "x", "no", "2026-01-01T00:00:00Z"});
  server_.AddPost({"http://elsewhere.test/", "Elsewhere", "", "yes", "2026-01-02T00:00:00Z"});
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(Run([this](TShareCommands& s) { return s.DownloadPosts(); }));
    EXPECT_EQ(lastError_, "");
    // Bookmarks missing from the collection lose their marks, "no" included.
    EXPECT_EQ(Marks(), (Strings{"private", "", "", "", "", "", "public"}));
    ASSERT_EQ(builder_.Root().Folder().Count(), 2u);
    EXPECT_EQ(builder_.Root().Folder()[1].Title(), "WebShare");
    EXPECT_EQ(builder_.Root().Folder()[1].Bookmark().Count(), 1u);
  }
  EXPECT_EQ(saves_, 2);
}

TEST_F(ShareCommandsTest, MarksReachTheDocumentOnlyOnTheOwnersThread) {
  TShareEndpoint endpoint = ShareEndpointFromSettings(settings_, server_.CaFile());
  auto worker = TWebShareThread::Create("alice", "s3cret", {All()[0]}, "add", endpoint, dispatcher_);
  worker->Start();
  worker->Wait();
  EXPECT_EQ(worker->ErrorText(), "");
  EXPECT_EQ(Marks()[0], "") << "the worker has ended; its mark waits in the owner's queue";
  dispatcher_.Drain();
  EXPECT_EQ(Marks()[0], "public");
}

}  // namespace
}  // namespace tessellink
