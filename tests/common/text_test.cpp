#include "common/text.h"

#include <gtest/gtest.h>

#include "common/comma_text.h"

namespace tessellink {
namespace {

TEST(CaseMapping, UpperAndLowerCoverAllLetters) {
  EXPECT_EQ(UpperCase("straße café ÿ ǆ"), "STRAßE CAFÉ Ÿ Ǆ");  // simple mapping: ß stays
  EXPECT_EQ(LowerCase("ÀÉÎ ΣΑΣ Straße"), "àéî σασ straße");
  EXPECT_EQ(UpperCase("abc\xff" "def"), "ABC\xff" "DEF");  // invalid bytes pass through
}

struct SameTextCase {
  const char* a;
  const char* b;
  bool same;
};

void PrintTo(const SameTextCase& c, std::ostream* os) { *os << c.a << " / " << c.b; }

class SameTextTest : public ::testing::TestWithParam<SameTextCase> {};

TEST_P(SameTextTest, ComparesUpperCaseForms) {
  const auto& c = GetParam();
  EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " / " << c.b;
  EXPECT_EQ(CompareText(c.a, c.b) == 0, c.same);
}

INSTANTIATE_TEST_SUITE_P(Table, SameTextTest,
                         ::testing::Values(SameTextCase{"News", "nEWS", true}, SameTextCase{"news", "newsy", false},
                                           SameTextCase{"Ärger", "äRGER", true}, SameTextCase{"ÉTÉ", "été", true},
                                           SameTextCase{"ı", "I", true},  // dotless i upper-cases to I
                                           SameTextCase{"Σίσυφος", "ΣΊΣΥΦΟΣ", true}, SameTextCase{"", "", true},
                                           SameTextCase{"a", "", false}));

TEST(CompareText, OrdersByUpperCaseCodePoints) {
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_GT(CompareText("Zeta", "alpha"), 0);
  EXPECT_LT(CompareText("abc", "ABCD"), 0);
  EXPECT_LT(CompareText("zebra", "éclair"), 0);  // É sorts after ASCII letters
  EXPECT_EQ(CompareText("éclair", "ÉCLAIR"), 0);
}

TEST(Contains, FindsSubstringsWithOrWithoutCase) {
  EXPECT_TRUE(Contains("The News of today", "news", true));
  EXPECT_FALSE(Contains("The News of today", "news", false));
  EXPECT_TRUE(Contains("Über alles", "über", true));
  EXPECT_FALSE(Contains("anything", "", true));
  EXPECT_FALSE(Contains("anything", "", false));
  // Long haystacks run through the block scan; the hit sits beyond 16 bytes and
  // punctuation that folds like a letter must not match.
  const std::string longText = std::string(40, '[') + "xyzQuIcK brown";
  EXPECT_TRUE(Contains(longText, "quick", true));
  EXPECT_FALSE(Contains(std::string(40, '{'), "[[", true));
  EXPECT_TRUE(ContainsUpper("word at the very enD", "END"));
  EXPECT_FALSE(ContainsUpper("short", "SHORTER"));
}

TEST(FindText, ForwardAndBackwardWithPositions) {
  EXPECT_EQ(FindText("abcABCabc", "abc", 1, false), 6u);
  EXPECT_EQ(FindText("abcABCabc", "abc", 1, true), 3u);
  EXPECT_EQ(FindText("abcABCabc", "ABC", 8, true, SearchDirection::Backward), 6u);
  EXPECT_EQ(FindText("abcABCabc", "ABC", 5, false, SearchDirection::Backward), 3u);
  EXPECT_EQ(FindText("éa Éa", "éA", 1, true), 4u);  // byte offset in the original text
  EXPECT_EQ(FindText("abc", "", 0, true), std::string_view::npos);
  EXPECT_EQ(FindText("abc", "x", 0, false), std::string_view::npos);
  EXPECT_EQ(FindText("abc", "c", 10, true), std::string_view::npos);
}

TEST(Replace, AllAndFirstCountLetterCase) {
  EXPECT_EQ(ReplaceAll("a [Hot] b [hot] [Hot]", "[Hot]", ""), "a  b [hot] ");
  EXPECT_EQ(ReplaceFirst("http://www.x.com/www", "www", ""), "http://.x.com/www");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
}

TEST(Trim, RemovesBlanksAndControlCharacters) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(Trim("   "), "");
}

TEST(SplitLines, AcceptsEveryLineBreakStyle) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (V{"a"}));
  EXPECT_EQ(SplitLines("a\n\nb\n"), (V{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\r\n"), (V{""}));
  EXPECT_EQ(SplitLines(""), V{});
  EXPECT_EQ(SplitLines("a\n\r b"), (V{"a", "", " b"}));
}

TEST(ParseInteger, TakesWhatStrToIntTakes) {
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("  -7"), -7);
  EXPECT_EQ(ParseInteger("+3"), 3);
  EXPECT_EQ(ParseInteger("$1F"), 31);
  EXPECT_EQ(ParseInteger("0x10"), 16);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInteger("2147483648"), std::nullopt);
  for (const char* bad : {"", " ", "12 ", "1.5", "abc", "-", "0x", "7a"}) EXPECT_EQ(ParseInteger(bad), std::nullopt) << bad;
}

TEST(Utf8, ValidityAndCharacterCount) {
  EXPECT_TRUE(IsValidUtf8("plain ascii and €uro"));
  EXPECT_FALSE(IsValidUtf8("latin1 caf\xe9"));
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));  // surrogate
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));      // overlong
  EXPECT_EQ(CharacterCount("a€b"), 3u);
  EXPECT_EQ(FindInvalidUtf8("ok\xe9ok"), 2u);
  EXPECT_EQ(RepairUtf8("caf\xe9 \xed\xa0\x80 €"), "caf\uFFFD \uFFFD\uFFFD\uFFFD €");
  EXPECT_EQ(RepairUtf8("clean €"), "clean €");
}

struct CommaCase {
  const char* text;
  std::vector<std::string> items;
};

void PrintTo(const CommaCase& c, std::ostream* os) { *os << c.text; }

class CommaTextTest : public ::testing::TestWithParam<CommaCase> {};

TEST_P(CommaTextTest, SplitsLikeTheClassicStringList) {
  EXPECT_EQ(SplitCommaText(GetParam().text), GetParam().items) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommaTextTest,
    ::testing::Values(CommaCase{"news sport", {"news", "sport"}}, CommaCase{"a,b , c", {"a", "b", "c"}},
                      CommaCase{"  lead", {"lead"}}, CommaCase{"\"two words\",x", {"two words", "x"}},
                      CommaCase{"\"say \"\"hi\"\"\"", {"say \"hi\""}}, CommaCase{"\"unclosed rest", {"unclosed rest"}},
                      CommaCase{"\"ab\"cd", {"ab", "cd"}}, CommaCase{"a,,b", {"a", "", "b"}},
                      CommaCase{",", {"", ""}}, CommaCase{"a,", {"a", ""}}, CommaCase{"", {}},
                      CommaCase{"news\r\nsport\r\n", {"news", "sport"}}, CommaCase{"x\ty", {"x", "y"}}));

TEST(CommaText, JoinQuotesWhatNeedsIt) {
  EXPECT_EQ(JoinCommaText({"Title", "Link", "Last access"}), "Title,Link,\"Last access\"");
  EXPECT_EQ(JoinCommaText({"a\"b", ""}), "\"a\"\"b\",");
  EXPECT_EQ(JoinCommaText({""}), "\"\"");  // a lone empty item survives the round trip
  EXPECT_EQ(SplitCommaText(JoinCommaText({""})), std::vector<std::string>{""});
  EXPECT_EQ(JoinCommaText({}), "");
  const std::vector<std::string> items{"x y", "plain", "q\"uote", "c,omma"};
  EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items);
}

TEST(CommaText, InCommaListIgnoresCase) {
  EXPECT_TRUE(InCommaList("[Hot]", "news [hot] sport"));
  EXPECT_TRUE(InCommaList("two words", "x,\"TWO WORDS\""));
  EXPECT_FALSE(InCommaList("hot", "news [hot]"));
  EXPECT_FALSE(InCommaList("x", ""));
}

}  // namespace
}  // namespace tessellink
