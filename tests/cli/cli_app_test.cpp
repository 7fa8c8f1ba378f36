// The command-line tool, run in-process with its output captured.

#include "cli/cli_app.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "store/xbel_document.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::CopyFixture;
using test::ReadFile;
using test::SuppliedDataPath;
using test::TempDir;
using test::WriteFile;

struct Result {
  int rc = -1;
  std::string out, err;
};

class CliTest : public testing::Test {
 protected:
  // The data folder the program would choose is the temporary folder.
  Result Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliContext context;
    context.DataFolder = [this] {
      ++dataFolderCalls_;
      return dir_.path();
    };
    Result r;
    r.rc = RunCli(args, out, err, context);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  // Runs on a copy of the sample file.
  Result RunOnSample(std::vector<std::string> args) {
    args.insert(args.begin(), {"--file", sample_.string()});
    return Run(args);
  }
  void WriteSettings(const std::string& defaultFile, int recent = 20) {
    TXMLAppSettingType settings;
    settings.SetDefaultFile(defaultFile);
    settings.SetRecent(recent);
    SaveSettings(settings, dir_.path());
  }

  TempDir dir_;
  fs::path sample_ = CopyFixture("xbel/sample.xbel", dir_.path());
  int dataFolderCalls_ = 0;
};

constexpr const char* kTom =
    "Tom & Jerry \xC2\xAB"
    "caf\xC3\xA9\xC2\xBB <http://example.com/a?x=1&y=2> Work\\Projects\\\n";
constexpr const char* kWikipedia = "Wikipedia <https://www.wikipedia.org/> Work\\\n";
constexpr const char* kNews = "News <http://news.example.org/> \\\n";
constexpr const char* kFtp = "FTP <ftp://ftp.example.net/pub> \\\n";

TEST_F(CliTest, TextOutputOfEachCommand) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"stats"}, "bookmarks: 4\nfolders: 2\ntags: 6\nhot: 1\nbundles: 1\n"},
      // Quoted "free knowledge" counts as two tags; untagged bookmarks count under "(none)".
      {{"tags"}, "2  (none)\n1  free\n1  knowledge\n1  news\n1  reference\n1  sport\n1  [Hot]\n"},
      {{"hot"}, kTom},
      // Newest first: a full date, a day date, an older full date, no date last.
      {{"recent"}, std::string(kNews) + kWikipedia + kTom + kFtp},
      {{"recent", "2"}, std::string(kNews) + kWikipedia},
      {{"recent", "99"}, std::string(kNews) + kWikipedia + kTom + kFtp},
      {{"bundles"}, "Daily: news,sport\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    const Result r = RunOnSample(c.args);
    EXPECT_EQ(r.rc, kCliOk) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(CliTest, SearchKeywordsAndOptions) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      // Tags of one, title and address of the other; letter case ignored.
      {{"search", "news"}, std::string(kTom) + kNews},
      {{"search", "--fields", "title", "news"}, kNews},
      {{"search", "--fields=tags,desc", "news"}, kTom},
      {{"search", "--case", "News"}, kNews},
      {{"search", "--case", "--fields", "title,tags", "news"}, kTom},
      {{"search", "news", "wikipedia"}, std::string(kTom) + kWikipedia + kNews},
      {{"search", "--all", "news", "sport"}, kTom},
      {{"search", "news", "--all", "sport"}, kTom},
      // One argument is one keyword, blanks included.
      {{"search", "free knowledge"}, kWikipedia},
      {{"search", "knowledge free"}, ""},
      {{"search", "knowledge", "free"}, kWikipedia},
      {{"search", "a,b\"c"}, ""},
      // After "--" an argument that looks like an option is a keyword.
      {{"search", "--", "--json"}, ""},
      {{"search", "zzz"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Result r = RunOnSample(c.args);
    EXPECT_EQ(r.rc, kCliOk) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

TEST_F(CliTest, JsonOutputOfEachCommand) {
  const std::string tom =
      "{\"title\":\"Tom & Jerry \xC2\xAB"
      "caf\xC3\xA9\xC2\xBB\",\"href\":\"http://example.com/a?x=1&y=2\","
      "\"folder\":\"Work\\\\Projects\\\\\",\"tags\":[\"news\",\"sport\",\"[Hot]\"],\"added\":\"2008-03-14T09:05:33Z\"}";
  const std::string wikipedia =
      "{\"title\":\"Wikipedia\",\"href\":\"https://www.wikipedia.org/\",\"folder\":\"Work\\\\\","
      "\"tags\":[\"reference\",\"free knowledge\"],\"added\":\"2009-01-02\"}";
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"--json", "stats"}, "{\"bookmarks\":4,\"folders\":2,\"tags\":6,\"hot\":1,\"bundles\":1}\n"},
      {{"tags", "--json"},
       "[\n{\"tag\":\"(none)\",\"count\":2},\n{\"tag\":\"free\",\"count\":1},\n{\"tag\":\"knowledge\",\"count\":1},\n"
       "{\"tag\":\"news\",\"count\":1},\n{\"tag\":\"reference\",\"count\":1},\n{\"tag\":\"sport\",\"count\":1},\n"
       "{\"tag\":\"[Hot]\",\"count\":1}\n]\n"},
      {{"--json", "hot"}, "[\n" + tom + "\n]\n"},
      {{"--json", "search", "knowledge", "sport"}, "[\n" + tom + ",\n" + wikipedia + "\n]\n"},
      {{"--json", "search", "zzz"}, "[]\n"},
      {{"--json", "recent", "1"},
       "[\n{\"title\":\"News\",\"href\":\"http://news.example.org/\",\"folder\":\"\\\\\",\"tags\":[],"
       "\"added\":\"2010-05-06T07:08:09Z\"}\n]\n"},
      {{"--json", "bundles"}, "[\n{\"title\":\"Daily\",\"tags\":[\"news\",\"sport\"]}\n]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Result r = RunOnSample(c.args);
    EXPECT_EQ(r.rc, kCliOk) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

TEST_F(CliTest, EmptyDocumentGivesEmptyResults) {
  WriteFile(dir_ / "empty.xbel", "<xbel/>");
  const std::string file = (dir_ / "empty.xbel").string();
  EXPECT_EQ(Run({"--file", file, "stats"}).out, "bookmarks: 0\nfolders: 0\ntags: 0\nhot: 0\nbundles: 0\n");
  for (const char* command : {"tags", "hot", "recent", "bundles"}) {
    EXPECT_EQ(Run({"--file", file, command}).out, "") << command;
    EXPECT_EQ(Run({"--file", file, "--json", command}).out, "[]\n") << command;
  }
}

TEST_F(CliTest, HostileTextsStayOneLineAndValidJson) {
  // A tab, a line break, a control character, quotes, backslashes and non-ASCII text.
  WriteFile(
      dir_ / "hostile.xbel",
      "<xbel><folder><title>C:\\dir \"x\"</title>"
      "<bookmark href=\"http://h/&quot;q&quot;\" added=\"2020-01-01\"><title>Say \"hi\" \\ back&#9;tab&#10;line&#1;"
      " \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</title>"
      "<info><metadata owner=\"http://www.tessellink.net/xbel/tags\">a\\b \"c d\" [Hot]</metadata></info>"
      "</bookmark></folder></xbel>");
  const std::string file = (dir_ / "hostile.xbel").string();

  const Result json = Run({"--file", file, "--json", "hot"});
  EXPECT_EQ(json.rc, kCliOk) << json.err;
  EXPECT_EQ(json.out,
            "[\n{\"title\":\"Say \\\"hi\\\" \\\\ back\\ttab\\nline\\u0001 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\","
            "\"href\":\"http://h/\\\"q\\\"\",\"folder\":\"C:\\\\dir \\\"x\\\"\\\\\","
            "\"tags\":[\"a\\\\b\",\"c d\",\"[Hot]\"],\"added\":\"2020-01-01\"}\n]\n");

  const Result text = Run({"--file", file, "hot"});
  EXPECT_EQ(text.out,
            "Say \"hi\" \\ back tab line  \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 <http://h/\"q\"> C:\\dir \"x\"\\\n");
}

TEST_F(CliTest, ExitStatusAndMessages) {
  const std::string sample = sample_.string();
  const std::string missing = (dir_ / "missing.xbel").string();
  const std::string broken = CopyFixture("xbel/broken_truncated.xbel", dir_.path()).string();
  struct Case {
    std::vector<std::string> args;
    int rc;
    std::string inErr;  // part of the message
  };
  const Case cases[] = {
      {{}, kCliUsage, "no command given"},
      {{"frobnicate"}, kCliUsage, "unknown command 'frobnicate'"},
      {{"--file", sample, "STATS"}, kCliUsage, "unknown command"},
      {{"--bogus", "stats"}, kCliUsage, "unknown option '--bogus'"},
      {{"stats", "-x"}, kCliUsage, "unknown option '-x'"},
      {{"--file"}, kCliUsage, "--file needs a value"},
      {{"--file=", "stats"}, kCliUsage, "--file needs a value"},
      {{"--json=yes", "stats"}, kCliUsage, "--json takes no value"},
      {{"--file", sample, "stats", "extra"}, kCliUsage, "too many arguments"},
      {{"--file", sample, "search"}, kCliUsage, "missing argument"},
      {{"--file", sample, "--all", "stats"}, kCliUsage, "--all applies to search only"},
      {{"--file", sample, "search", "--fields", "body", "x"}, kCliUsage, "unknown search field 'body'"},
      {{"--file", sample, "search", "--fields", ",", "x"}, kCliUsage, "--fields needs"},
      {{"--file", sample, "recent", "abc"}, kCliUsage, "positive integer"},
      {{"--file", sample, "recent", "0"}, kCliUsage, "positive integer"},
      {{"--file", sample, "recent", "+3"}, kCliUsage, "positive integer"},
      {{"--file", sample, "recent", "99999999999"}, kCliUsage, "positive integer"},
      {{"--file", sample, "recent", "-1"}, kCliUsage, "unknown option '-1'"},
      {{"--file", sample, "recent", "1", "2"}, kCliUsage, "too many arguments"},
      // The command line is checked before any file is read.
      {{"--file", missing, "recent", "abc"}, kCliUsage, "positive integer"},
      {{"--file", missing, "stats"}, kCliFailed, "Cannot open \"" + missing + "\""},
      {{"--file", broken, "tags"}, kCliFailed, "broken_truncated.xbel\": the file is not well-formed XML"},
      {{"--file", dir_.path().string(), "hot"}, kCliFailed, "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const Result r = Run(c.args);
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("tessellink-cli: ")) << r.err;
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("--help") != std::string::npos, c.rc == kCliUsage) << r.err;
  }
}

TEST_F(CliTest, HelpListsEveryCommandAndWins) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"stats", "--help"}, {"--bogus", "-h"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.rc, kCliOk);
    EXPECT_EQ(r.out, CliUsage());
    EXPECT_EQ(r.err, "");
  }
  const std::string usage = CliUsage();
  for (const char* word : {"\n  stats ", "\n  tags ", "\n  search KEYWORD", "\n  hot ", "\n  recent [N]",
                           "\n  bundles ", "--data-folder DIR", "--file FILE", "--json", "--fields", "--all", "--case"})
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  EXPECT_EQ(usage.find('\t'), std::string::npos);
  EXPECT_EQ(dataFolderCalls_, 0);
}

TEST_F(CliTest, DefaultFileComesFromTheSettings) {
  // Two distinguishable documents: the sample (4 bookmarks) and a one-bookmark file.
  WriteFile(dir_ / "default.xbel", "<xbel><bookmark href=\"http://one/\"><title>One</title></bookmark></xbel>");
  fs::create_directory(dir_ / "sub");
  fs::copy_file(sample_, dir_ / "sub" / "mine.xbel");
  const std::string one = "bookmarks: 1\n";
  const std::string four = "bookmarks: 4\n";
  auto firstLine = [&](const std::vector<std::string>& args) {
    const Result r = Run(args);
    EXPECT_EQ(r.rc, kCliOk) << r.err;
    return r.out.substr(0, r.out.find('\n') + 1);
  };

  // No settings file: the defaults, so default.xbel.
  EXPECT_EQ(firstLine({"stats"}), one);
  WriteSettings("");
  EXPECT_EQ(firstLine({"stats"}), one);
  WriteSettings((dir_ / "sub" / "mine.xbel").string());
  EXPECT_EQ(firstLine({"stats"}), four);
  // A relative name is taken in the data folder.
  WriteSettings("sub/mine.xbel");
  EXPECT_EQ(firstLine({"stats"}), four);
  // --file wins.
  EXPECT_EQ(firstLine({"--file", (dir_ / "default.xbel").string(), "stats"}), one);

  WriteSettings((dir_ / "gone.xbel").string());
  const Result gone = Run({"stats"});
  EXPECT_EQ(gone.rc, kCliFailed);
  EXPECT_NE(gone.err.find("gone.xbel"), std::string::npos) << gone.err;
}

TEST_F(CliTest, RecentCountDefaultsToTheSetting) {
  WriteSettings(sample_.string(), 2);
  EXPECT_EQ(Run({"recent"}).out, std::string(kNews) + kWikipedia);
  EXPECT_EQ(Run({"recent", "3"}).out, std::string(kNews) + kWikipedia + kTom);
}

TEST_F(CliTest, BrokenSettingsFileIsReportedAndLeftAlone) {
  WriteFile(dir_ / "AppSetting.xml", "<AppSetting><Recent>");
  const Result r = Run({"stats"});
  EXPECT_EQ(r.rc, kCliFailed);
  EXPECT_NE(r.err.find("AppSetting.xml"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(dir_ / "AppSetting.xml"), "<AppSetting><Recent>");
  EXPECT_FALSE(fs::exists(dir_ / "AppSetting.xml.bad"));
  // Not needed with --file and an explicit count.
  EXPECT_EQ(RunOnSample({"recent", "1"}).rc, kCliOk);
}

TEST_F(CliTest, DataFolderIsLookedUpOnlyWhenNeeded) {
  TempDir other;
  WriteFile(other / "default.xbel", "<xbel><folder><title>F</title></folder></xbel>");
  const Result r = Run({"--data-folder", other.path().string(), "stats"});
  EXPECT_EQ(r.out, "bookmarks: 0\nfolders: 1\ntags: 0\nhot: 0\nbundles: 0\n");
  EXPECT_EQ(RunOnSample({"recent", "1"}).rc, kCliOk);
  EXPECT_EQ(dataFolderCalls_, 0);
  EXPECT_EQ(Run({"stats"}).rc, kCliFailed);  // no default.xbel in the temporary folder
  EXPECT_EQ(dataFolderCalls_, 1);

  std::ostringstream out, err;
  EXPECT_EQ(RunCli({"stats"}, out, err), kCliFailed);
  EXPECT_NE(err.str().find("--data-folder"), std::string::npos) << err.str();
}

TEST_F(CliTest, FailedOutputIsAFailure) {
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(RunCli({"--file", sample_.string(), "stats"}, out, err), kCliFailed);
  EXPECT_NE(err.str().find("cannot write"), std::string::npos);
}

TEST(SuppliedDefaultXbel, LoadsAndIsInTheSavedForm) {
  TempDir dir;
  for (const char* name : {"AppSetting.xml", "default.xbel"}) fs::copy_file(SuppliedDataPath(name), dir / name);
  const std::string bytes = ReadFile(dir / "default.xbel");
  EXPECT_TRUE(bytes.starts_with("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<xbel>")) << bytes;
  EXPECT_EQ(TXbelDocument::Parse(bytes, "default.xbel")->SaveText(XbelSaveMode::SaveAs), bytes);

  std::ostringstream out, err;
  EXPECT_EQ(RunCli({"--data-folder", dir.path().string(), "stats"}, out, err), kCliOk) << err.str();
  EXPECT_EQ(out.str(), "bookmarks: 3\nfolders: 1\ntags: 6\nhot: 1\nbundles: 0\n");
  std::ostringstream hot;
  EXPECT_EQ(RunCli({"--data-folder", dir.path().string(), "hot"}, hot, err), kCliOk);
  EXPECT_NE(hot.str().find("<http://pyxml.sourceforge.net/topics/xbel/> Tessellink\\"), std::string::npos) << hot.str();
}

}  // namespace
}  // namespace tessellink
