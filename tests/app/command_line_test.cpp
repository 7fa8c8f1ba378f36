#include "app/command_line.h"

#include <gtest/gtest.h>

#include <map>

#include "support/test_support.h"

namespace tessellink {
namespace {

using test::TempDir;

// Only the two services the command line asks for do anything.
class TFakeEnvironment : public IEnvironmentServices {
 public:
  std::string operaTitle;
  std::map<std::string, std::string> longPaths;

  bool RegisterFileType(const std::string&, const std::string&, const std::string&, const std::string&,
                        const std::string&) const override {
    return false;
  }
  void RegisterUrlProtocol() const override {}
  void SetRunAtStartup(bool) const override {}
  bool IsRunAtStartup() const override { return false; }
  std::string DefaultBrowserCommand() const override { return {}; }
  bool IsIE7OrLater() const override { return false; }
  std::string FileVersionText() const override { return {}; }
  int WindowsVersionCode() const override { return 7; }
  std::string SpecialFolderPath(int) const override { return {}; }
  std::string OperaPageTitle() const override { return operaTitle; }
  std::string LongPathOf(const std::string& path) const override {
    const auto it = longPaths.find(path);
    return it == longPaths.end() ? path : it->second;
  }
};

TLogStampFormat StampT() { return {[](const DateTimeFields&) { return "D"; }, [](const DateTimeFields&) { return "T"; }}; }

struct DecodeCase {
  std::string input;
  std::string expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.input; }

class UrlDecodeUtf8Test : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(UrlDecodeUtf8Test, Decodes) { EXPECT_EQ(UrlDecodeUtf8(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, UrlDecodeUtf8Test,
    ::testing::Values(DecodeCase{"%E2%82%AC", "\xE2\x82\xAC"},            // euro sign from three escapes
                      DecodeCase{"caf%c3%a9", "caf\xC3\xA9"},              // lower-case hex
                      DecodeCase{"a+b+%2B", "a b +"},                      // plus first, escaped plus stays
                      DecodeCase{"a%00b", "ab"},                           // value 0 gives nothing
                      DecodeCase{"a%zzb%G1c", "abc"},                      // non-hex gives nothing, 3 consumed
                      DecodeCase{"50%", "50"}, DecodeCase{"x%4", "x"},     // cut-off escapes
                      DecodeCase{"%41%4a", "AJ"},                          // plain bytes
                      DecodeCase{"direct \xC3\xA9", "direct \xC3\xA9"},    // UTF-8 copied
                      DecodeCase{"caf%E9", "caf\xEF\xBF\xBD"},             // Latin-1 byte is not UTF-8
                      DecodeCase{"%E2%82", "\xEF\xBF\xBD\xEF\xBF\xBD"},    // truncated sequence
                      DecodeCase{"%C0%AF", "\xEF\xBF\xBD\xEF\xBF\xBD"},    // overlong form
                      DecodeCase{"%ED%A0%80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
                      DecodeCase{"", ""}));

struct ParameterCase {
  std::string name;
  std::string parameter;
  std::string operaTitle;
  std::optional<std::string> expected;
};

void PrintTo(const ParameterCase& c, std::ostream* os) { *os << c.name; }

class ParameterTest : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(ParameterTest, GivesTheMessageByteForByte) {
  const ParameterCase& c = GetParam();
  TempDir dir;
  TRunLog log(dir.path(), StampT());
  TFakeEnvironment env;
  env.operaTitle = c.operaTitle;
  env.longPaths["/home/u/Books.xbel"] = "/home/user/Books.xbel";
  env.longPaths["rel/MIXED.XBel"] = "/home/user/rel/MIXED.XBel";
  EXPECT_EQ(HandOverForParameter(c.parameter, log, env), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParameterTest,
    ::testing::Values(
        ParameterCase{"Link", "tslink:url=http%3A%2F%2Fa.example%2F%3Fq%3D1&title=Caf%C3%A9+Menu", "",
                      "[Tessellink]\r\nhttp://a.example/?q=1\r\nCaf\xC3\xA9 Menu\r\n"},
        ParameterCase{"LinkAnyKeyLetters", "tslink:XyZ9http://b/&QQQQQ!T%20x", "",
                      "[Tessellink]\r\nhttp://b/\r\nT x\r\n"},
        ParameterCase{"LinkFurtherPiecesIgnored", "tslink:url=a&title=b&extra=c", "", "[Tessellink]\r\na\r\nb\r\n"},
        ParameterCase{"LinkShortPieces", "tslink:ab&cd", "", "[Tessellink]\r\n\r\n\r\n"},
        ParameterCase{"LinkOnePiece", "tslink:url=http://a/", "", std::nullopt},
        ParameterCase{"LinkEmpty", "tslink:", "", std::nullopt},
        ParameterCase{"UpperCaseSchemeIsOperaForm", "TSLINK:url=a&title=b", "Page",
                      "[Tessellink]\nSLINK:url=a&title=b\nPage"},
        ParameterCase{"XbelFile", "/home/u/Books.xbel", "Page", "[Open Tessellink]\n/home/user/Books.xbel"},
        ParameterCase{"XbelExtensionAnyCase", "rel/MIXED.XBel", "", "[Open Tessellink]\n/home/user/rel/MIXED.XBel"},
        ParameterCase{"XbelOnlyAsExtension", "/home/u/a.xbel.txt", "", "[Tessellink]\nhome/u/a.xbel.txt\n"},
        ParameterCase{"XbelFolderIsNoFile", "/home/u.xbel/list", "", "[Tessellink]\nhome/u.xbel/list\n"},
        ParameterCase{"XbelUpperSchemeFile", "TSLINK:a.xbel", "", "[Open Tessellink]\nTSLINK:a.xbel"},
        ParameterCase{"OperaNoTitle", "|http://c.example/", "", "[Tessellink]\nhttp://c.example/\n"},
        ParameterCase{"OperaWithTitle", "|http://c.example/", "C - Home", "[Tessellink]\nhttp://c.example/\nC - Home"},
        ParameterCase{"OperaDropsOneWholeCharacter", "\xC3\xA9http://d/", "", "[Tessellink]\nhttp://d/\n"}),
    [](const ::testing::TestParamInfo<ParameterCase>& info) { return info.param.name; });

TEST(CommandLine, LogsTheFirstParameterAsGivenAndIgnoresTheRest) {
  TempDir dir;
  TRunLog log(dir.path(), StampT());
  TFakeEnvironment env;
  const auto message = HandOverForCommandLine({"tslink:url=a%20b&title=c", "|http://second/"}, log, env);
  EXPECT_EQ(message, "[Tessellink]\r\na b\r\nc\r\n");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"D T   tslink:url=a%20b&title=c", "D T   begin to deal with tslink",
                                                   "D T decode url is tslink:url=a%20b&title=c"}));
}

TEST(CommandLine, OperaFormLogsTitleAndMessage) {
  TempDir dir;
  TRunLog log(dir.path(), StampT());
  TFakeEnvironment env;
  env.operaTitle = "News";
  EXPECT_EQ(HandOverForCommandLine({"|http://n/"}, log, env), "[Tessellink]\nhttp://n/\nNews");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"D T   |http://n/", "D T   Opera web page is News",
                                                   "D T   Linkstr [Tessellink]\nhttp://n/\nNews"}));
}

TEST(CommandLine, NoParameterNoMessageNoLog) {
  TempDir dir;
  TRunLog log(dir.path(), StampT());
  TFakeEnvironment env;
  EXPECT_EQ(HandOverForCommandLine({}, log, env), std::nullopt);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(CommandLine, LinkWithFewerThanTwoPiecesStillLogs) {
  TempDir dir;
  TRunLog log(dir.path(), StampT());
  EXPECT_EQ(HandleTslinkUrl("tslink:url=x", log), std::nullopt);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"D T decode url is tslink:url=x"});
}

}  // namespace
}  // namespace tessellink
