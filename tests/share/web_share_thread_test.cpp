// The sharing worker's request addresses and its preparation, before anything is sent.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_log.h"
#include "common/errors.h"
#include "share/posts_test_server.h"
#include "share/web_share_thread.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

TEST(ShareUrls, EachQueryValueArrivesWhole) {
  EXPECT_EQ(AddPostUrl("https://api.test/", "http://a.b/?x=1&y=2", "Tom & Jerry = fun?", "a b,c+d", false),
            "https://api.test/v1/posts/add?url=http://a.b/%3Fx%3D1%26y%3D2"
            "&description=Tom%20%26%20Jerry%20%3D%20fun%3F&tags=a%20b,c%2Bd");
  EXPECT_EQ(AddPostUrl("https://api.test", "h", "t", "", true),
            "https://api.test/v1/posts/add?url=h&description=t&tags=&shared=no");
  EXPECT_EQ(AllPostsUrl("https://api.test"), "https://api.test/v1/posts/all?");
  EXPECT_EQ(DeletePostUrl("https://api.test", "www.x.org/p?q=1"),
            "https://api.test/v1/posts/delete?url=http://www.x.org/p%3Fq%3D1");
}

TEST(ShareUrls, OnlyAnAddressWithoutSchemeGetsHttp) {
  const struct {
    const char* href;
    const char* full;
  } cases[] = {
      {"www.example.com/page", "http://www.example.com/page"},
      {"localhost:8080/x", "http://localhost:8080/x"},
      {"example.com", "http://example.com"},
      {"", "http://"},
      {"http://example.com/", "http://example.com/"},
      {"HTTPS://example.com/", "HTTPS://example.com/"},
      {"ftp://files.example.com/", "ftp://files.example.com/"},
      {"mailto:someone@example.com", "mailto:someone@example.com"},
  };
  for (const auto& c : cases) EXPECT_EQ(FullAddress(c.href), c.full) << c.href;
}

class ShareWorkerPreparation : public testing::Test {
 protected:
  std::vector<std::string> Prepare(TShareEndpoint endpoint) {
    TRunLog log(dir_.path(), TLogStampFormat{[](const DateTimeFields&) { return std::string("d"); },
                                            [](const DateTimeFields&) { return std::string("t"); }});
    std::vector<std::string> lines;
    log.OnMessage = [&lines](std::string_view m) { lines.emplace_back(m); };
    TInPlaceDispatcher dispatcher;
    try {
      TWebShareThread::Create("u", "p", {}, "getall", std::move(endpoint), dispatcher, &log);
    } catch (const AppError& e) {
      lines.push_back(std::string("error: ") + e.what());
    }
    return lines;
  }
  test::TempDir dir_;
};

TEST_F(ShareWorkerPreparation, LogsItsStepsAndRefusesABadProxyPortOrAPlainAddress) {
  using Lines = std::vector<std::string>;
  TShareEndpoint none;
  none.apiUrl = "https://api.test";
  TShareEndpoint manual = none;
  manual.manualProxy = true;
  manual.manualPort = " 3128 ";
  TShareEndpoint both = manual;
  both.systemProxy = true;
  TShareEndpoint badPort = manual;
  badPort.manualPort = "31x8";
  TShareEndpoint plain;
  plain.apiUrl = "http://api.test";

  EXPECT_EQ(Prepare(none), (Lines{"begin to create share thread", "ssl created", "idhttp created", "-------",
                                  "proxy setting loaded", "thread created"}));
  EXPECT_EQ(Prepare(both),
            (Lines{"begin to create share thread", "ssl created", "idhttp created", "manualy setting", "-------",
                   "ie setting", "get record", "get host", "get port", "proxy setting loaded", "thread created"}));
  EXPECT_EQ(Prepare(badPort), (Lines{"begin to create share thread", "ssl created", "idhttp created",
                                     "manualy setting", "error: '31x8' is not a valid integer value"}));
  EXPECT_EQ(Prepare(plain).back(), "error: The sharing service address must begin with https://: 'http://api.test'");
}

TEST(ShareWorkerRun, AReplyBeyondTheLimitIsAnErrorNotAMemoryHog) {
  test::TempDir dir;
  test::PostsTestServer server(dir.path());
  server.allReply = "<posts user=\"alice\">" + std::string(5000, ' ') + "</posts>";
  TShareEndpoint endpoint;
  endpoint.apiUrl = server.Url();
  endpoint.caFile = server.CaFile();
  for (const std::size_t limit : {std::size_t{1000}, kMaxReplyBytes}) {
    TQueueDispatcher dispatcher;
    auto worker = TWebShareThread::Create("alice", "s3cret", {}, "getall", endpoint, dispatcher);
    worker->MaxReplyBytes = limit;
    bool done = false;
    worker->OnComplete = [&done](TWebShareThread&) { done = true; };
    worker->Start();
    dispatcher.RunUntil([&done] { return done; });
    if (limit == kMaxReplyBytes) {
      EXPECT_EQ(worker->ErrorText(), "");
      EXPECT_EQ(worker->Reply(), server.allReply);
    } else {
      EXPECT_EQ(worker->ErrorText(), "The sharing service's reply is too large.");
      EXPECT_EQ(worker->Reply(), "");
    }
  }
}

}  // namespace
}  // namespace tessellink
