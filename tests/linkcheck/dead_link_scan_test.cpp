// The dead-link scan against real loopback servers: verdicts, the bound on
// checks in flight, stopping, selecting, deleting and sorting.

#include <gtest/gtest.h>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/worker_dispatcher.h"
#include "linkcheck/dead_link_scan.h"
#include "net/loopback_server.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::LoopbackUrl;
using test::RawReplyServer;
using test::ServerThread;
using test::SilentListener;
using test::TempDir;
using test::UnusedPort;

std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

std::string BookmarkXml(const std::string& title, const std::string& href) {
  return "<bookmark href=\"" + Escaped(href) + "\"><title>" + Escaped(title) + "</title></bookmark>";
}

std::string XbelOf(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\">" + body + "</xbel>";
}

// Answers GET and HEAD on "/<code>" with that status and httplib's own reason
// phrase, and notes each request's method and protocol. "/slow" answers 200
// after a pause (long enough for five checks to overlap on a loaded machine)
// and records the most requests it held at once.
class StatusServer {
 public:
  explicit StatusServer(std::chrono::milliseconds slow = std::chrono::milliseconds(400)) : slow_(slow) {
    server_.new_task_queue = [] { return new httplib::ThreadPool(16); };
    server_.Get(R"(/(\d{3}))", [this](const httplib::Request& req, httplib::Response& res) {
      Note(req);
      res.status = std::stoi(req.matches[1]);
      if (res.status == 301 || res.status == 302) res.set_header("Location", "/404");
    });
    server_.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
      Note(req);
      const int now = ++inFlight_;
      int seen = maxInFlight_.load();
      while (now > seen && !maxInFlight_.compare_exchange_weak(seen, now)) {
      }
      std::this_thread::sleep_for(slow_);
      --inFlight_;
      res.status = 200;
    });
    thread_ = std::make_unique<ServerThread>(server_);
  }
  std::string url(const std::string& path) const { return thread_->url(path); }
  int MaxInFlight() const { return maxInFlight_; }
  int Requests() const { return requests_; }
  std::set<std::string> MethodsSeen() {
    std::lock_guard lock(mutex_);
    return methods_;
  }

 private:
  void Note(const httplib::Request& req) {
    ++requests_;
    std::lock_guard lock(mutex_);
    methods_.insert(req.method + " " + req.version);
  }

  std::chrono::milliseconds slow_;
  httplib::Server server_;
  std::atomic<int> inFlight_{0}, maxInFlight_{0}, requests_{0};
  std::mutex mutex_;
  std::set<std::string> methods_;
  std::unique_ptr<ServerThread> thread_;
};

std::string RawStatus(const std::string& statusLine) {
  return "HTTP/1.1 " + statusLine + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

class DeadLinkScanTest : public testing::Test {
 protected:
  // Loads `xbel` as the open document and builds its record list.
  void Open(const std::string& xbel) {
    test::WriteFile(file_, xbel);
    builder_.LoadDocument(file_);
    records_.Clear();
    builder_.BuildRecords(records_);
  }
  std::unique_ptr<TDeadLinkScan> NewScan() {
    auto scan = std::make_unique<TDeadLinkScan>(records_, dispatcher_);
    scan->Options.timeoutMs = 500;  // the silent server must not hold a test for a minute
    return scan;
  }
  void RunToEnd(TDeadLinkScan& scan) {
    scan.Start();
    dispatcher_.RunUntil([&] { return !scan.Scanning(); });
  }
  std::vector<std::string> Shown(const TDeadLinkScan& scan) const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < scan.RowCount(); ++i) out.push_back(scan.Row(i).StatusText());
    return out;
  }
  std::vector<std::string> Titles(const TDeadLinkScan& scan) const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < scan.RowCount(); ++i) out.emplace_back(scan.Row(i).record.Title());
    return out;
  }

  TempDir dir_;
  fs::path file_ = dir_ / "bookmarks.xbel";
  TXbelBuilder builder_;
  TBmkRecList records_;
  TQueueDispatcher dispatcher_;
};

TEST_F(DeadLinkScanTest, EachAnswerGivesItsVerdictTextAndTick) {
  StatusServer server;
  RawReplyServer teapot(RawStatus("418 Short And Stout"));
  RawReplyServer unknown(RawStatus("599 Network Connect Timeout Error"));
  RawReplyServer gone(RawStatus("404 Gone Fishing"));
  RawReplyServer busy(RawStatus("503 Come Back Later"));
  SilentListener silent;
  const struct {
    std::string href;
    const char* shown;
    bool tickedOnArrival;
  } cases[] = {
      {server.url("/200"), "OK", false},
      {server.url("/204"), "OK", false},
      {server.url("/301"), "Redirected,Moved Permanently", false},  // not followed to its 404
      {server.url("/302"), "Redirected,Found", false},
      {server.url("/404"), "Error,Not Found", true},
      {server.url("/405"), "Error,Method Not Allowed", true},
      {server.url("/418"), "Unknow Error.I'm a teapot", false},
      {server.url("/500"), "Possible error,Internal Server Error", false},
      {server.url("/503"), "Possible error,Service Unavailable", false},
      {teapot.url("/"), "Unknow Error.Short And Stout", false},
      {unknown.url("/"), "Unknow Error.", false},
      {gone.url("/"), "Error,Gone Fishing", true},
      {busy.url("/"), "Possible error,Service Unavailable", false},
      {LoopbackUrl(silent.port()), "Possible error,Internal Server Error", false},
      {LoopbackUrl(UnusedPort()), "Possible error,Internal Server Error", false},
      {"http://nothing.invalid/", "Possible error,Internal Server Error", false},
      {"ftp://127.0.0.1/file.txt", "Unknow Error.", false},  // the request cannot even be made
      {"", "Unknow Error.", false},
  };
  std::string body = "<folder><title>News</title><folder><title>Tech</title>" + BookmarkXml("t0", cases[0].href) +
                     "</folder></folder>";
  for (std::size_t i = 1; i < std::size(cases); ++i) body += BookmarkXml("t" + std::to_string(i), cases[i].href);
  Open(XbelOf(body));

  auto scan = NewScan();
  ASSERT_EQ(scan->RowCount(), std::size(cases));
  for (std::size_t i = 0; i < scan->RowCount(); ++i) {
    EXPECT_EQ(scan->Row(i).status, LinkStatus::NotChecked);
    EXPECT_EQ(scan->Row(i).StatusText(), "");
  }
  EXPECT_EQ(scan->Row(0).path, "News\\Tech\\");
  EXPECT_EQ(scan->Row(1).path, "\\");
  EXPECT_EQ(scan->Row(0).Hint(), cases[0].href);

  RunToEnd(*scan);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].href);
    EXPECT_EQ(scan->Row(i).StatusText(), cases[i].shown);
    EXPECT_EQ(scan->Row(i).ticked, cases[i].tickedOnArrival);
  }
  EXPECT_EQ(server.MethodsSeen(), std::set<std::string>{"HEAD HTTP/1.1"});

  scan->AutoSelect();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].href);
    EXPECT_EQ(scan->Row(i).ticked, IsBadLink(scan->Row(i).status));
  }
  // Auto Select also clears ticks the user set on good rows.
  scan->SetTicked(0, true);
  scan->AutoSelect();
  EXPECT_FALSE(scan->Row(0).ticked);
}

TEST_F(DeadLinkScanTest, NeverMoreThanFiveChecksInFlightAndEveryRowFinishes) {
  StatusServer server;
  std::string body;
  for (int i = 0; i < 12; ++i) body += BookmarkXml("slow " + std::to_string(i), server.url("/slow"));
  Open(XbelOf(body));
  auto scan = NewScan();
  scan->Options.timeoutMs = 0;  // a loaded machine must not turn a slow answer into a failure
  std::size_t mostRunning = 0;
  scan->OnChanged = [&] { mostRunning = std::max(mostRunning, scan->RunningChecks()); };
  RunToEnd(*scan);

  EXPECT_EQ(server.MaxInFlight(), ParallelChecks);
  EXPECT_EQ(mostRunning, static_cast<std::size_t>(ParallelChecks));
  EXPECT_EQ(server.Requests(), 12);
  EXPECT_EQ(Shown(*scan), std::vector<std::string>(12, "OK"));
  EXPECT_EQ(scan->ProgressPosition(), 12);
}

TEST_F(DeadLinkScanTest, ThreeRowsStartThreeChecksAndTheScanStopsByItself) {
  StatusServer server;
  Open(XbelOf(BookmarkXml("a", server.url("/200")) + BookmarkXml("b", server.url("/404")) +
              BookmarkXml("c", server.url("/301"))));
  auto scan = NewScan();
  EXPECT_STREQ(scan->Caption(), "Start Scan");
  EXPECT_TRUE(scan->Idle());
  EXPECT_FALSE(scan->ProgressVisible());

  scan->ScanClick();
  EXPECT_STREQ(scan->Caption(), "Stop Scan");
  EXPECT_FALSE(scan->Idle());
  EXPECT_FALSE(scan->Stopped());
  EXPECT_TRUE(scan->ProgressVisible());
  EXPECT_EQ(scan->ProgressMaximum(), 3);
  EXPECT_EQ(scan->RunningChecks(), 3u);
  EXPECT_EQ(scan->RowCursor(), 2);
  EXPECT_EQ(Shown(*scan), (std::vector<std::string>{"Waiting", "Waiting", "Waiting"}));

  dispatcher_.RunUntil([&] { return !scan->Scanning(); });
  EXPECT_STREQ(scan->Caption(), "Start Scan");
  EXPECT_TRUE(scan->Idle());
  EXPECT_TRUE(scan->Stopped());
  EXPECT_FALSE(scan->ProgressVisible());
  EXPECT_EQ(scan->ProgressPosition(), 3);
  EXPECT_EQ(scan->RunningChecks(), 0u);
  EXPECT_EQ(Shown(*scan), (std::vector<std::string>{"OK", "Error,Not Found", "Redirected,Moved Permanently"}));

  // A second start checks every row again from the first.
  RunToEnd(*scan);
  EXPECT_EQ(scan->ProgressPosition(), 3);
  EXPECT_EQ(server.Requests(), 6);
}

TEST_F(DeadLinkScanTest, AnEmptyDocumentFinishesAtOnce) {
  Open(XbelOf(""));
  auto scan = NewScan();
  scan->ScanClick();
  EXPECT_FALSE(scan->Scanning());
  EXPECT_STREQ(scan->Caption(), "Start Scan");
  EXPECT_TRUE(scan->Idle());
  EXPECT_FALSE(scan->ProgressVisible());
}

TEST_F(DeadLinkScanTest, StopAbortsAtOnceAndLateResultsNeverReachTheRows) {
  SilentListener silent;
  StatusServer server;
  std::string body;
  for (int i = 0; i < 5; ++i) body += BookmarkXml("silent", LoopbackUrl(silent.port()));
  body += BookmarkXml("ok 1", server.url("/200")) + BookmarkXml("ok 2", server.url("/204"));
  Open(XbelOf(body));
  auto scan = NewScan();
  scan->Options.timeoutMs = 0;  // only the abort can end these checks

  scan->Start();
  scan->ScanClick();  // Stop
  EXPECT_STREQ(scan->Caption(), "Start Scan");
  EXPECT_TRUE(scan->Stopped());
  EXPECT_TRUE(scan->Idle());
  EXPECT_FALSE(scan->ProgressVisible());
  EXPECT_EQ(scan->RunningChecks(), 0u);
  dispatcher_.RunUntil([&] { return scan->EndingChecks() == 0; });
  EXPECT_EQ(Shown(*scan), (std::vector<std::string>{"Waiting", "Waiting", "Waiting", "Waiting", "Waiting", "", ""}));
  EXPECT_EQ(scan->ProgressPosition(), 0);
  EXPECT_EQ(server.Requests(), 0);

  // Stopped and started again at once: the aborted checks answer during the
  // new run and must neither set rows nor count as finished checks.
  scan->Start();
  scan->Stop();
  scan->Options.timeoutMs = 300;
  RunToEnd(*scan);
  EXPECT_EQ(scan->ProgressPosition(), 7);
  EXPECT_EQ(Shown(*scan), (std::vector<std::string>{
                              "Possible error,Internal Server Error", "Possible error,Internal Server Error",
                              "Possible error,Internal Server Error", "Possible error,Internal Server Error",
                              "Possible error,Internal Server Error", "OK", "OK"}));

  // Destroyed in the middle of a scan: the checks are aborted and their threads end.
  scan->Options.timeoutMs = 0;
  scan->Start();
  scan.reset();
  dispatcher_.Drain();
}

TEST_F(DeadLinkScanTest, DeleteRemovesExactlyTheTickedBookmarksAndTheirRecords) {
  Open(XbelOf("<folder><title>Keep</title>" + BookmarkXml("a", "http://a.example/") +
              BookmarkXml("b", "http://b.example/") + "</folder>" + BookmarkXml("c", "http://c.example/") +
              BookmarkXml("d", "http://d.example/")));
  auto scan = NewScan();
  int saves = 0;
  scan->OnModified = [&] {
    ++saves;
    builder_.SaveDocument(file_, XbelSaveMode::Ordinary);
  };
  scan->SetTicked(1, true);
  scan->SetTicked(2, true);
  EXPECT_EQ(scan->Delete(), 2u);
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(Titles(*scan), (std::vector<std::string>{"a", "d"}));

  // The owner's records match the document: none points at a removed element.
  TBmkRecList rebuilt;
  builder_.BuildRecords(rebuilt);
  ASSERT_EQ(records_.size(), rebuilt.size());
  for (std::size_t i = 0; i < rebuilt.size(); ++i) EXPECT_TRUE(records_[i]->Bookmark == rebuilt[i]->Bookmark);

  // Saved at once: the file holds the same, whatever the window does next.
  scan->Cancel();
  TXbelBuilder saved;
  saved.LoadDocument(file_);
  TBmkRecList savedRecords;
  saved.BuildRecords(savedRecords);
  std::vector<std::string> titles;
  for (const TBmkRec* r : savedRecords) titles.emplace_back(r->Title());
  EXPECT_EQ(titles, (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(TXbelBuilder::FolderPathOf(savedRecords[0]->Bookmark), "Keep\\");
}

TEST_F(DeadLinkScanTest, DeleteDuringAScanLetsTheRestFinish) {
  StatusServer server(std::chrono::milliseconds(100));
  std::string body;
  for (int i = 0; i < 9; ++i) body += BookmarkXml("r" + std::to_string(i), server.url("/slow"));
  Open(XbelOf(body));
  auto scan = NewScan();
  scan->Options.timeoutMs = 0;
  scan->Start();
  scan->SetTicked(1, true);  // running
  scan->SetTicked(6, true);  // not started yet
  scan->SetTicked(8, true);
  EXPECT_EQ(scan->Delete(), 3u);
  dispatcher_.RunUntil([&] { return !scan->Scanning(); });
  EXPECT_EQ(Titles(*scan), (std::vector<std::string>{"r0", "r2", "r3", "r4", "r5", "r7"}));
  EXPECT_EQ(Shown(*scan), std::vector<std::string>(6, "OK"));
  EXPECT_EQ(server.Requests(), 7);  // the deleted running row's check still counts
  EXPECT_EQ(records_.size(), 6u);
}

TEST_F(DeadLinkScanTest, HeaderClickSortsByBytesAndOnlyWhileIdle) {
  StatusServer server(std::chrono::milliseconds(100));
  Open(XbelOf("<folder><title>b</title>" + BookmarkXml("beta", server.url("/404")) + "</folder>" +
              "<folder><title>B</title>" + BookmarkXml("Alpha", server.url("/slow")) + "</folder>" +
              BookmarkXml("alpha", server.url("/301")) + BookmarkXml("Beta", server.url("/503"))));
  auto scan = NewScan();
  scan->Start();
  EXPECT_FALSE(scan->HeaderClick(1));  // scanning
  dispatcher_.RunUntil([&] { return !scan->Scanning(); });
  EXPECT_FALSE(scan->HeaderClick(1, false));  // right button
  EXPECT_FALSE(scan->HeaderClick(0));         // the check box column
  EXPECT_EQ(Titles(*scan), (std::vector<std::string>{"beta", "Alpha", "alpha", "Beta"}));

  ASSERT_TRUE(scan->HeaderClick(1));
  EXPECT_EQ(Titles(*scan), (std::vector<std::string>{"Alpha", "Beta", "alpha", "beta"}));
  ASSERT_TRUE(scan->HeaderClick(1));
  EXPECT_EQ(Titles(*scan), (std::vector<std::string>{"beta", "alpha", "Beta", "Alpha"}));
  // By detail, not by the shown text (which would put "Error,Not Found" first):
  // "Moved Permanently" < "Not Found" < "OK" < "Service Unavailable".
  ASSERT_TRUE(scan->HeaderClick(2));
  EXPECT_TRUE(scan->SortAscending());
  EXPECT_EQ(Titles(*scan), (std::vector<std::string>{"alpha", "beta", "Alpha", "Beta"}));
  // By path: "B\" < "\" (0x5C) < "b\"; equal paths keep their order.
  ASSERT_TRUE(scan->HeaderClick(3));
  EXPECT_EQ(Titles(*scan), (std::vector<std::string>{"Alpha", "alpha", "Beta", "beta"}));
  EXPECT_EQ(scan->SortColumn(), 3);
}

}  // namespace
}  // namespace tessellink
