#include "app/hand_over.h"

#include <gtest/gtest.h>

namespace tessellink {
namespace {

using Kind = THandOver::Kind;

struct ReadCase {
  std::string name;
  std::string text;
  std::optional<Kind> kind;  // nothing: not a message
  std::string fileOrAddress;
  std::string title;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ReadHandOverTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadHandOverTest, Reads) {
  const ReadCase& c = GetParam();
  const std::optional<THandOver> message = ReadHandOver(c.text);
  ASSERT_EQ(message.has_value(), c.kind.has_value());
  if (!message) return;
  EXPECT_EQ(message->kind, *c.kind);
  if (*c.kind == Kind::Open) {
    EXPECT_EQ(message->file, c.fileOrAddress);
    EXPECT_FALSE(message->clearClipboard);
  } else {
    EXPECT_EQ(message->address, c.fileOrAddress);
    EXPECT_EQ(message->title, c.title);
    EXPECT_TRUE(message->clearClipboard);
  }
}

// Exactly `count` characters, two bytes each after the header, so that a byte
// count would get the limit wrong.
std::string AddMessageOfLength(std::size_t count) {
  std::string text = "[Tessellink]\n";
  for (std::size_t n = text.size(); n < count; ++n) text += "\xC3\xA9";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadHandOverTest,
    ::testing::Values(
        ReadCase{"LinkFormCrLf", LinkHandOverText("http://a/", "A page"), Kind::Add, "http://a/", "A page"},
        ReadCase{"OperaFormLf", OperaHandOverText("http://a/", "A page"), Kind::Add, "http://a/", "A page"},
        ReadCase{"LoneCr", "[Tessellink]\rhttp://a/\rA page", Kind::Add, "http://a/", "A page"},
        ReadCase{"MixedBreaks", "[Tessellink]\r\nhttp://a/\nA page\r", Kind::Add, "http://a/", "A page"},
        ReadCase{"LowerCaseHeaderNoTitle", "[tessellink]\r\nhttp://a/", Kind::Add, "http://a/", ""},
        ReadCase{"HeaderOnly", "[TESSELLINK]", Kind::Add, "", ""},
        ReadCase{"Open", OpenHandOverText("/home/u/b.xbel"), Kind::Open, "/home/u/b.xbel", ""},
        ReadCase{"OpenAnyCase", "[open TESSELLINK]\r\n/x.xbel\r\n", Kind::Open, "/x.xbel", ""},
        ReadCase{"OpenWithoutFile", "[Open Tessellink]\n", std::nullopt, "", ""},
        ReadCase{"UnknownHeader", "[Tessellink2]\nhttp://a/", std::nullopt, "", ""},
        ReadCase{"HeaderNotFirst", "\n[Tessellink]\nhttp://a/", std::nullopt, "", ""},
        ReadCase{"LeadingBlank", " [Tessellink]\nhttp://a/", std::nullopt, "", ""},
        ReadCase{"Empty", "", std::nullopt, "", ""},
        ReadCase{"Exactly2048Characters", AddMessageOfLength(2048), Kind::Add,
                 AddMessageOfLength(2048).substr(13), ""},
        ReadCase{"Over2048Characters", AddMessageOfLength(2049), std::nullopt, "", ""}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST(HandOverText, ThreeFormsByteForByte) {
  EXPECT_EQ(LinkHandOverText("a", "b"), "[Tessellink]\r\na\r\nb\r\n");
  EXPECT_EQ(OperaHandOverText("a", ""), "[Tessellink]\na\n");
  EXPECT_EQ(OpenHandOverText("/f.xbel"), "[Open Tessellink]\n/f.xbel");
}

}  // namespace
}  // namespace tessellink
