// Query decoding, reply documents and command-line options.

#include <gtest/gtest.h>

#include "accountd/msg_reply.h"
#include "accountd/options.h"
#include "accountd/query_text.h"
#include "support/test_support.h"

namespace tessellink::accountd {
namespace {

TEST(QueryTextTest, PercentDecoding) {
  struct Case {
    const char* text;
    std::optional<std::string> decoded;
  } cases[] = {
      {"plain", "plain"},
      {"a%26b%3Dc%3fd", "a&b=c?d"},
      {"a+b", "a+b"},
      {"%2B0800", "+0800"},
      {"line%0Afeed", "line\nfeed"},
      {"%C3%A9", "\xc3\xa9"},
      {"%00", std::string(1, '\0')},
      {"100%", std::nullopt},
      {"%4", std::nullopt},
      {"%zz", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentDecode(c.text), c.decoded) << c.text;
  EXPECT_EQ(PercentEncode("ab+/=_~.- \x01"), "ab%2B%2F%3D_~.-%20%01");
}

TEST(QueryTextTest, QuerySplitting) {
  auto values = ParseQuery("UserName=a%26b%3Dc&Password=&Flag&&Auth=x=y");
  ASSERT_TRUE(values);
  EXPECT_EQ(*values, (QueryValues{{"UserName", "a&b=c"}, {"Password", ""}, {"Flag", ""}, {"Auth", "x=y"}}));
  EXPECT_FALSE(ParseQuery("a=1&a=2"));
  EXPECT_FALSE(ParseQuery("a=1&%61=2")) << "the same key, escaped";
  EXPECT_FALSE(ParseQuery("a=%G0"));
  EXPECT_EQ(QueryOfTarget("/x.php?a=1?b"), "a=1?b");
  EXPECT_EQ(QueryOfTarget("/x.php"), "");
}

TEST(MsgReplyTest, EscapesTheDescription) {
  EXPECT_EQ(MsgDocument(Failure("a<b & \"c\"")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Msg><Result>FALSE</Result>"
            "<Desc>a&lt;b &amp; &quot;c&quot;</Desc></Msg>");
  EXPECT_EQ(MsgDocument(Success("x")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Msg><Result>OK</Result><Desc>x</Desc></Msg>");
}

TEST(OptionsTest, ParsesEveryOption) {
  ParsedOptions parsed = ParseOptions({"--listen", "0.0.0.0", "--port=8080", "--database", "a.db",
                                       "--access-key-id", "KEY", "--secret-key-file", "s.key"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.listen, "0.0.0.0");
  EXPECT_EQ(parsed.options.port, 8080);
  EXPECT_EQ(parsed.options.database, "a.db");
  EXPECT_EQ(parsed.options.access_key_id, "KEY");
  EXPECT_EQ(parsed.options.secret_key_file, "s.key");

  ParsedOptions defaults = ParseOptions({"--secret-key-file", "s.key"});
  EXPECT_EQ(defaults.options.listen, "127.0.0.1");
  EXPECT_EQ(defaults.options.port, 0);
  EXPECT_EQ(defaults.options.access_key_id, "KQ7TWX3ZLM4NBV2HDC9R");
  EXPECT_TRUE(ParseOptions({"--help"}).options.help);
}

TEST(OptionsTest, WrongUsage) {
  const std::vector<std::string> cases[] = {
      {},
      {"--port", "1", "--database", "a.db"},
      {"--secret-key-file"},
      {"--secret-key-file", ""},
      {"--secret-key-file", "s", "--port", "65536"},
      {"--secret-key-file", "s", "--port", "-1"},
      {"--secret-key-file", "s", "--port", "http"},
      {"--secret-key-file", "s", "--verbose"},
      {"--secret-key-file", "s", "extra"},
  };
  for (const auto& arguments : cases) {
    EXPECT_NE(ParseOptions(arguments).error, "") << ::testing::PrintToString(arguments);
  }
}

TEST(OptionsTest, SecretKeyFile) {
  tessellink::test::TempDir dir;
  std::string error;
  tessellink::test::WriteFile(dir / "crlf", "key with blanks \r\n");
  EXPECT_EQ(ReadSecretKey(dir / "crlf", error), "key with blanks ");
  tessellink::test::WriteFile(dir / "bare", "k");
  EXPECT_EQ(ReadSecretKey(dir / "bare", error), "k");

  tessellink::test::WriteFile(dir / "empty", "\n");
  EXPECT_FALSE(ReadSecretKey(dir / "empty", error));
  EXPECT_NE(error.find("is empty"), std::string::npos) << error;
  EXPECT_FALSE(ReadSecretKey(dir / "missing", error));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

}  // namespace
}  // namespace tessellink::accountd
