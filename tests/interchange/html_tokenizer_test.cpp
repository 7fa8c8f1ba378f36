// The HTML tokenizer and the tag and text helpers both HTML importers use.
#include "interchange/html_tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.h"
#include "common/text.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

// "T:" for a tag, "X:" for a text run.
std::vector<std::string> Tokens(std::string text) {
  std::vector<std::string> tokens;
  TjsFastHTMLParser parser(std::move(text));
  parser.OnTag = [&](std::string_view tag) { tokens.push_back("T:" + std::string(tag)); };
  parser.OnText = [&](std::string_view run) { tokens.push_back("X:" + std::string(run)); };
  parser.Parse();
  return tokens;
}

struct TokenCase {
  const char* name;
  const char* text;
  std::vector<std::string> tokens;
};

TEST(HtmlTokenizer, ReportsTagsAndTextRuns) {
  const TokenCase cases[] = {
      {"plain", "a<b>c</b>", {"X:a", "T:<b>", "X:c", "T:</b>"}},
      {"no empty runs", "<a><b>", {"T:<a>", "T:<b>"}},
      {"trailing text dropped", "<a>tail", {"T:<a>"}},
      {"text without tags dropped", "just text", {}},
      {"unfinished tag dropped", "x<a href=\"y\">t<b", {"X:x", "T:<a href=\"y\">", "X:t"}},
      {"gt inside double quotes", "<A HREF=\"a>b\">t</A>", {"T:<A HREF=\"a>b\">", "X:t", "T:</A>"}},
      {"gt inside single quotes", "<A T='x>y'>t</A>", {"T:<A T='x>y'>", "X:t", "T:</A>"}},
      {"other quote inside quotes", "<A T=\"it's\">t</A>", {"T:<A T=\"it's\">", "X:t", "T:</A>"}},
      {"quote never closed", "<A T=\"x>y", {}},
      {"lone gt is text", "a>b<c>", {"X:a>b", "T:<c>"}},
  };
  for (const TokenCase& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.name;
}

TEST(HtmlTokenizer, HandlersAreOptionalAndScanIsLinear) {
  TjsFastHTMLParser silent("<a>b<c>");
  silent.Parse();  // no handlers: nothing to call

  // Many unclosed quotes and "<" must not make the scan quadratic or deep.
  std::string hostile;
  for (int i = 0; i < 200000; ++i) hostile += "<'\"<";
  EXPECT_TRUE(Tokens(hostile).size() < 10);
  std::string many;
  for (int i = 0; i < 200000; ++i) many += "<a>x";
  EXPECT_EQ(Tokens(many).size(), 399999u);  // the last "x" is trailing text
}

TEST(HtmlTags, NameOfTag) {
  const std::pair<const char*, const char*> cases[] = {
      {"<A HREF=\"x\">", "A"},       {"</DL>", "/DL"},          {"  \t<h3>", "h3"},
      {"<!--desc-->", "!--desc--"}, {"<DT><A>", "DT"},         {"<A\r\nHREF=x>", "A\r\nHREF=x"},
      {"<>", ""},
  };
  for (const auto& [tag, name] : cases) EXPECT_EQ(TagNameOf(tag), name) << tag;
  EXPECT_EQ(TagNameOf(std::string_view("<A\0B>", 6)), "A");
}

TEST(HtmlTags, AttributeChunkAndValue) {
  struct Case {
    const char* tag;
    const char* name;
    const char* chunk;
    const char* value;
  };
  const Case cases[] = {
      {"<A HREF=\"http://a/\" ADD_DATE=\"5\">", "href", "HREF=\"http://a/\"", "http://a/"},
      {"<A HREF=\"http://a/\" ADD_DATE=\"5\">", "ADD_DATE", "ADD_DATE=\"5\"", "5"},
      {"<a href='x y'>", "HREF", "href='x y'", "x y"},
      {"<A HREF=plain ADD_DATE=1>", "HREF", "HREF=plain ", "plain"},
      {"<A HREF=plain>", "HREF", "HREF=plain", "plain"},
      {"<A HREF= ADD_DATE=1>", "HREF", "HREF=", ""},
      {"<A HREF>", "HREF", "HREF", ""},
      {"<A HREF ADD_DATE=1>", "HREF", "HREF", ""},
      {"<A NAME=x>", "HREF", "", ""},
      // The first occurrence counts, even inside another value.
      {"<A T=\"my-href\" HREF=\"u\">", "HREF", "href\"", ""},
      // A ">" inside quotes belongs to the value, as it does for the tokenizer.
      {"<A HREF=\"a?b=<2>\" X=1>", "HREF", "HREF=\"a?b=<2>\"", "a?b=<2>"},
      {"<A HREF=\"never closed>", "HREF", "HREF=\"never closed", "never closed"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AttributeChunk(c.tag, c.name), c.chunk) << c.tag << " / " << c.name;
    EXPECT_EQ(AttributeValue(AttributeChunk(c.tag, c.name)), c.value) << c.tag << " / " << c.name;
  }
}

TEST(HtmlTags, AttributeByNameSkipsValuesAndPartialNames) {
  const char* tag =
      "<A HREF=\"https://stackoverflow.com/tags?tags=x\" ICON=\"data:tAgS\"\r\nMYTAGS=\"no\" TAGS = \"a,b c\">";
  EXPECT_EQ(AttributeValueByName(tag, "TAGS"), "a,b c");
  EXPECT_EQ(AttributeValueByName(tag, "href"), "https://stackoverflow.com/tags?tags=x");
  EXPECT_EQ(AttributeValueByName("<A TAGS=plain>", "TAGS"), "plain");
  EXPECT_EQ(AttributeValueByName("<A HREF=\"u\">", "TAGS"), "");
  EXPECT_EQ(AttributeValueByName("<A = == TAGS='q'>", "TAGS"), "q");
}

TEST(HtmlText, ToPlain) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"Title &amp; more", "Title & more"},
      {"a\r\nb", "ab"},
      {"a  \t b", "a b"},
      {"\r\n    ", " "},
      {"bold <b>x</b> y", "boldx y"},  // a blank before "<" goes too
      {"a > b", "a  b"},  // ">" always ends a skipped stretch and is dropped
      {"&#39;&quot;&apos;&gt;&lt;&amp;", "'\"'><&"},
      {"&amp;lt;", "&lt;"},
      {"&eacute; &#8217; %3D", "&eacute; &#8217; %3D"},  // nothing else decoded
      {"end ", "end "},
  };
  for (const auto& [text, plain] : cases) EXPECT_EQ(HtmlTextToPlain(text), plain) << text;
}

TEST(HtmlText, EscapeAndKeywords) {
  EXPECT_EQ(EscapeHtmlText(""), "");
  EXPECT_EQ(EscapeHtmlText("a&b<c>d\"e'f=g"), "a&amp;b&lt;c&gt;d&quot;e&#39;f%3Dg");
  EXPECT_EQ(EscapeHtmlAttribute("a&b\"c<d>e'f=g\r\nh"), "a&amp;b&quot;c&lt;d&gt;e'f=g&#13;&#10;h");
  EXPECT_EQ(DecodeCharacterReferences(EscapeHtmlAttribute("x&amp;y\"\r\n<>")), "x&amp;y\"\r\n<>");

  // Blanked entries leave empty lines.
  EXPECT_EQ(KeywordsToTags("a, news and tech"), "\r\nnews\r\n\r\ntech\r\n");
  EXPECT_EQ(KeywordsToTags("OR \"two words\" é ok"), "\r\ntwo words\r\n\r\nok\r\n");
  EXPECT_EQ(KeywordsToTags(""), "");
}

TEST(HtmlText, DecodesCharacterReferences) {
  const std::pair<const char*, const char*> cases[] = {
      {"a=1&amp;b=2", "a=1&b=2"},
      {"&lt;&gt;&quot;&apos;&#39;", "<>\"''"},
      {"caf&eacute; &Eacute;t&eacute; &nbsp;&copy;&euro;&hellip;", "café Été \u00a0©€…"},
      {"&#8217;&#x2019;&#X1F600;&#233;", "\u2019\u2019\U0001F600é"},
      {"&#150;&#x80;", "\u2013€"},  // the Windows-1252 meaning browsers give them
      {"&amp;amp;", "&amp;"},       // one pass only
      // Stay as written: no ";", unknown, NUL, surrogate, beyond U+10FFFF, controls, empty.
      {"&amp &eacute", "&amp &eacute"},
      {"&bogus; &AMP; &; &#; &#x;", "&bogus; &AMP; &; &#; &#x;"},
      {"&#0; &#xD800; &#x110000; &#99999999999; &#1; &#x81;", "&#0; &#xD800; &#x110000; &#99999999999; &#1; &#x81;"},
      {"&#9;&#10;&#13;", "\t\n\r"},
      {"trailing &", "trailing &"},
      {"%3D stays", "%3D stays"},
  };
  for (const auto& [text, decoded] : cases) {
    const std::string out = DecodeCharacterReferences(text);
    EXPECT_EQ(out, decoded) << text;
    EXPECT_TRUE(IsValidUtf8(out)) << text;
  }
}

TEST(HtmlText, ReadsFileWithCrLfLines) {
  test::TempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"a\nb\rc\r\nd", "a\r\nb\r\nc\r\nd\r\n"},
      {"a\r\n", "a\r\n"},
      {"\n\n", "\r\n\r\n"},
      {"", ""},
  };
  for (const auto& [bytes, text] : cases) {
    test::WriteFile(dir / "f.html", bytes);
    EXPECT_EQ(ReadHtmlText(dir / "f.html"), text) << bytes;
  }
  EXPECT_THROW(ReadHtmlText(dir / "missing.html"), FileReadError);
}

TEST(HtmlText, ImportedTextIsSafeForTheDocument) {
  EXPECT_EQ(ImportedText(std::string_view("a\0b\xff", 4), "title"), "ab\xEF\xBF\xBD");
  EXPECT_THROW(ImportedText(std::string(kMaxImportedTextBytes + 1, 'x'), "title"), AppError);
}

}  // namespace
}  // namespace tessellink
