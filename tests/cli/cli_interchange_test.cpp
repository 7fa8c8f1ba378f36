// The import and export commands, run in-process on real fixture files.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::FixturePath;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Result {
  int rc = -1;
  std::string out, err;
};

class CliInterchange : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"firefoxheader.txt", "export.ini"})
      fs::copy_file(test::SuppliedDataPath(name), data_ / name);
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
  static int Bookmarks(const fs::path& file) {
    TXbelBuilder builder;
    builder.LoadDocument(file);
    TBmkRecList records;
    builder.BuildRecords(records);
    return static_cast<int>(records.size());
  }

  TempDir data_, work_;
  fs::path target_ = work_ / "target.xbel";
};

TEST_F(CliInterchange, ImportCreatesTheTargetThenMergesWithoutDuplicates) {
  const std::string html = FixturePath("html/firefox_export.html").string();
  Result r = Run({"import", "html", html, target_.string()});
  ASSERT_EQ(r.rc, kCliOk) << r.err;
  EXPECT_EQ(r.out, "Added 5 folders and 9 bookmarks to " + target_.string() + "\n");
  EXPECT_EQ(Bookmarks(target_), 9);

  r = Run({"--json", "import", "html", html, target_.string()});
  EXPECT_EQ(r.out, "{\"folders\":0,\"bookmarks\":0,\"skipped\":0}\n");
  r = Run({"import", "html", FixturePath("html/buku_export.html").string(), target_.string()});
  EXPECT_EQ(r.rc, kCliOk);
  EXPECT_EQ(Bookmarks(target_), 13);
}

TEST_F(CliInterchange, EveryImportFormatReadsItsRealFile) {
  fs::create_directories(work_ / "favorites" / "Links");
  WriteFile(work_ / "favorites" / "Links" / "Example.url", "[InternetShortcut]\r\nURL=http://example.com/\r\n");
  const struct {
    const char* format;
    fs::path source;
  } cases[] = {
      {"ie", work_ / "favorites"},
      {"html", FixturePath("html/buku_export.html")},
      {"places", FixturePath("places/firefox_esr_places.sqlite")},
      {"opera", FixturePath("opera/opera9_hotlist.adr")},
      {"powermarks", FixturePath("powermarks/sample.pmk.html")},
      {"xbel", FixturePath("xbel/sample.xbel")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const fs::path target = work_ / (std::string(c.format) + ".xbel");
    const Result r = Run({"import", c.format, c.source.string(), target.string()});
    EXPECT_EQ(r.rc, kCliOk) << r.err;
    EXPECT_GT(Bookmarks(target), 0);
  }
}

TEST_F(CliInterchange, FailuresLeaveTheTargetAlone) {
  WriteFile(target_, ReadFile(FixturePath("xbel/sample.xbel")));
  const std::string before = ReadFile(target_);
  Result r = Run({"import", "html", (work_ / "missing.html").string(), target_.string()});
  EXPECT_EQ(r.rc, kCliFailed);
  EXPECT_NE(r.err.find("missing.html"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(target_), before);

  r = Run({"import", "netscape", "a", "b"});
  EXPECT_EQ(r.rc, kCliUsage);
  EXPECT_NE(r.err.find("unknown import format 'netscape'"), std::string::npos);
  EXPECT_EQ(Run({"export", "places", target_.string(), "x"}).rc, kCliUsage);
  EXPECT_EQ(Run({"--fields", "title", "stats"}).rc, kCliUsage);

  r = Run({"export-template", "fancy", target_.string(), (work_ / "o.txt").string()});
  EXPECT_EQ(r.rc, kCliFailed);
  EXPECT_NE(r.err.find("no style 'fancy'"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(work_ / "o.txt"));
}

TEST_F(CliInterchange, SkippedEntriesAreWarnedAbout) {
  const Result r = Run({"import", "powermarks", FixturePath("powermarks/sample.pmk.html").string(), target_.string()});
  EXPECT_EQ(r.rc, kCliOk);
  EXPECT_NE(r.err.find("warning: import powermarks: geth error:"), std::string::npos) << r.err;
}

TEST_F(CliInterchange, ExportsRoundTrip) {
  const std::string sample = FixturePath("xbel/sample.xbel").string();
  const int expected = Bookmarks(sample);
  const struct {
    const char* format;
    const char* destination;
  } cases[] = {{"html", "b.html"}, {"opera", "o.adr"}, {"ie", "fav"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const fs::path destination = work_ / c.destination;
    Result r = Run({"export", c.format, sample, destination.string()});
    ASSERT_EQ(r.rc, kCliOk) << r.err;
    EXPECT_EQ(r.out, "Exported " + std::to_string(expected) + " bookmarks to " + destination.string() + "\n");
    const fs::path back = work_ / (std::string(c.format) + "-back.xbel");
    r = Run({"import", c.format, destination.string(), back.string()});
    EXPECT_EQ(Bookmarks(back), expected) << r.err;
  }
}

TEST_F(CliInterchange, TemplatedExportTakesTheChosenFields) {
  const fs::path output = work_ / "list.txt";
  const Result r = Run({"export-template", "CSV", FixturePath("xbel/sample.xbel").string(), output.string(),
                        "--fields", "title,visited"});
  ASSERT_EQ(r.rc, kCliOk) << r.err;
  const std::string text = ReadFile(output);
  EXPECT_NE(text.find("\"Wikipedia\""), std::string::npos) << text;
  EXPECT_EQ(text.find("https://www.wikipedia.org/"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(CliInterchange, ProgressLineOnlyOnATerminal) {
  const std::string html = FixturePath("html/firefox_export.html").string();
  Result r = Run({"import", "html", html, target_.string()}, true);
  EXPECT_NE(r.err.find("\rImporting: "), std::string::npos);
  EXPECT_NE(r.err.find("(100%)\n"), std::string::npos) << r.err;
  r = Run({"import", "html", html, (work_ / "quiet.xbel").string()}, false);
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace tessellink
