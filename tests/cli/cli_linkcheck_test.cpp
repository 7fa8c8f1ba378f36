// check-links run in-process against loopback servers.

#include <gtest/gtest.h>

#include <httplib.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "net/loopback_server.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::LoopbackUrl;
using test::ReadFile;
using test::ServerThread;
using test::TempDir;
using test::WriteFile;

struct Result {
  int rc = -1;
  std::string out, err;
};

class CliCheckLinks : public testing::Test {
 protected:
  void SetUp() override {
    server_.Get(R"(/(\d{3}))", [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
    });
    thread_ = std::make_unique<ServerThread>(server_);
    refused_ = LoopbackUrl(test::UnusedPort(), "/gone");
    WriteFile(file_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\">"
                     "<folder><title>News</title><bookmark href=\"" + thread_->url("/200") +
                         "\"><title>Fine\tpage</title></bookmark></folder>"
                         "<bookmark href=\"" + thread_->url("/404") + "\"><title>Missing</title></bookmark>"
                         "<bookmark href=\"" + thread_->url("/301") + "\"><title>Moved</title></bookmark>"
                         "<bookmark href=\"" + refused_ + "\"><title>Refused</title></bookmark>"
                         "</xbel>");
  }
  Result Run(std::vector<std::string> args, bool terminal = false) {
    args.insert(args.begin(), {"--data-folder", data_.path().string()});
    std::ostringstream out, err;
    CliContext context;
    context.StderrIsTerminal = terminal;
    Result r;
    r.rc = RunCli(args, out, err, context);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  std::vector<std::string> TitlesIn(const fs::path& file) {
    TXbelBuilder builder;
    builder.LoadDocument(file);
    TBmkRecList records;
    builder.BuildRecords(records);
    std::vector<std::string> titles;
    for (const TBmkRec* r : records) titles.emplace_back(r->Title());
    return titles;
  }

  httplib::Server server_;
  std::unique_ptr<ServerThread> thread_;
  std::string refused_;
  TempDir data_, work_;
  fs::path file_ = work_ / "links.xbel";
};

TEST_F(CliCheckLinks, ReportsEveryBookmarkInDocumentOrderWithASummary) {
  const std::string before = ReadFile(file_);
  const Result r = Run({"check-links", file_.string()});
  ASSERT_EQ(r.rc, kCliOk) << r.err;
  EXPECT_EQ(r.out, "OK\tNews\\\tFine page\t" + thread_->url("/200") + "\n" +
                       "Error,Not Found\t\\\tMissing\t" + thread_->url("/404") + "\n" +
                       "Redirected,Moved Permanently\t\\\tMoved\t" + thread_->url("/301") + "\n" +
                       "Possible error,Internal Server Error\t\\\tRefused\t" + refused_ + "\n" +
                       "Checked 4 bookmarks: 1 ok, 1 redirected, 1 error, 1 possible error, 0 unknown error\n");
  EXPECT_EQ(r.err, "");  // no progress line when standard error is no terminal
  EXPECT_EQ(ReadFile(file_), before);
}

TEST_F(CliCheckLinks, DeleteDeadRemovesTheBadOnesAndSaves) {
  // The default file: its synchronisation record learns of the change.
  const fs::path defaultFile = data_ / "default.xbel";
  fs::copy_file(file_, defaultFile);
  const Result r = Run({"check-links", defaultFile.string(), "--delete-dead"}, true);
  ASSERT_EQ(r.rc, kCliOk) << r.err;
  EXPECT_NE(r.out.find("Deleted 2 bookmarks from " + defaultFile.string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("\rChecking: 4/4 (100%)"), std::string::npos) << r.err;
  EXPECT_EQ(TitlesIn(defaultFile), (std::vector<std::string>{"Fine\tpage", "Moved"}));
  EXPECT_TRUE(fs::exists(data_ / "FileInfo.xml"));

  // Nothing dead left: nothing deleted and the file is not rewritten.
  WriteFile(file_, test::OneBookmarkXbel("Fine", thread_->url("/204")));
  const auto written = fs::last_write_time(file_);
  const Result again = Run({"--json", "check-links", file_.string(), "--delete-dead"});
  ASSERT_EQ(again.rc, kCliOk) << again.err;
  EXPECT_EQ(again.out, "{\"links\":[\n{\"verdict\":\"Ok\",\"status\":\"OK\",\"folder\":\"\\\\\",\"title\":\"Fine\","
                       "\"href\":\"" + thread_->url("/204") + "\"}\n],\"summary\":{\"Ok\":1,\"Redirected\":0,"
                       "\"Error\":0,\"PossibleError\":0,\"UnknownError\":0},\"deleted\":0}\n");
  EXPECT_EQ(fs::last_write_time(file_), written);
}

TEST_F(CliCheckLinks, AFileThatCannotBeReadFails) {
  const Result missing = Run({"check-links", (work_ / "none.xbel").string()});
  EXPECT_EQ(missing.rc, kCliFailed);
  EXPECT_FALSE(missing.err.empty());
  WriteFile(file_, "<xbel><bookmark");
  EXPECT_EQ(Run({"check-links", file_.string()}).rc, kCliFailed);
  EXPECT_EQ(Run({"check-links"}).rc, kCliUsage);
}

}  // namespace
}  // namespace tessellink
