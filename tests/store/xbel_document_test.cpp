#include "store/xbel_document.h"

#include <gtest/gtest.h>

#include "common/atomic_file.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::CopyFixture;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(XbelDocument, NewDocumentIsADeclarationAndAnEmptyRoot) {
  TXbelDocument doc;
  EXPECT_EQ(doc.SaveText(XbelSaveMode::Ordinary), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<xbel/>\r\n");
  EXPECT_EQ(doc.SaveText(XbelSaveMode::SaveAs), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<xbel/>\r\n");
}

TEST(XbelDocument, ReadsTheSampleThroughTheElementViews) {
  auto doc = TXbelDocument::Load(test::FixturePath("xbel/sample.xbel"));
  TXMLXbelType root = doc->Root();
  ASSERT_EQ(root.Folder().Count(), 1u);
  TXMLFolderType work = root.Folder()[0];
  EXPECT_EQ(work.Title(), "Work");
  EXPECT_EQ(work.Folded(), "no");
  TXMLBookmarkType b = work.Folder()[0].Bookmark()[0];
  EXPECT_EQ(b.Href(), "http://example.com/a?x=1&y=2");
  EXPECT_EQ(b.Title(), "Tom & Jerry «café»");
  EXPECT_EQ(b.Desc(), "first line\r\nsecond line\r\n");
  EXPECT_EQ(b.Info().Count(), 3u);
  EXPECT_EQ(b.Info().Item(1).Owner(), "n-visit");
  EXPECT_FALSE(b.Info().Item(3));
  EXPECT_EQ(root.Bookmark().Count(), 2u);
  EXPECT_EQ(root.Bookmark()[1].Title(), "FTP");
  EXPECT_TRUE(root.Bookmark()[1].Info().Node().empty());  // missing members read empty
  EXPECT_EQ(root.Bookmark()[1].Desc(), "");
}

TEST(XbelDocument, WhatTheProgramDoesNotKnowSurvivesAnOrdinarySave) {
  TempDir dir;
  const fs::path file = CopyFixture("xbel/unknown_parts.xbel", dir.path());
  const std::string original = ReadFile(file);
  TXbelBuilder builder;
  builder.LoadDocument(file);
  // Change something the program owns so the save is not a no-op.
  builder.Root().Folder()[0].Bookmark()[0].SetTitle("A2");
  builder.SaveDocument(file, XbelSaveMode::Ordinary);
  const std::string saved = ReadFile(file);

  for (const char* kept :
       {"<!DOCTYPE xbel PUBLIC \"+//IDN python.org//DTD XML Bookmark Exchange Language 1.0//EN//XML\" "
        "\"http://pyxml.sourceforge.net/topics/dtds/xbel-1.0.dtd\">",
        "<!-- kept: a comment before the root -->", "<?app-hint keep=\"me\"?>",
        "<xbel version=\"1.0\" id=\"root\" added=\"2001-01-01\" xmlns:ext=\"urn:example:ext\">",
        "<title>My bookmarks</title>", "<desc>Root description</desc>",
        "<folder id=\"f7\" folded=\"yes\" ext:colour=\"red\">",
        "<bookmark id=\"b1\" href=\"http://a.example/\" ext:rating=\"5\"><title>A2</title>",
        "<ext:note lang=\"en\">mixed <b>bold</b> <i>text</i></ext:note>",
        "<metadata owner=\"urn:other\">opaque &lt;value&gt;</metadata>", "<alias ref=\"b1\"/>", "<separator/>",
        "<unknown-element with=\"attribute\"><![CDATA[raw <text> & more]]></unknown-element>",
        "<!-- kept: a comment inside -->"}) {
    EXPECT_NE(saved.find(kept), std::string::npos) << "lost: " << kept;
  }
  EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n", 0), 0u);

  // A second load and save changes nothing more: the save is stable.
  builder.LoadDocument(file);
  builder.SaveDocument(file, XbelSaveMode::Ordinary);
  EXPECT_EQ(ReadFile(file), saved);
}

TEST(XbelDocument, SaveAsWritesTheFixedDeclarationAndTheRootOnly) {
  auto doc = TXbelDocument::Load(test::FixturePath("xbel/unknown_parts.xbel"));
  const std::string text = doc->SaveText(XbelSaveMode::SaveAs);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<xbel ", 0), 0u);
  EXPECT_EQ(text.find("DOCTYPE"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 9), "</xbel>\r\n");
}

TEST(XbelDocument, ControlCharactersNeverReachTheFile) {
  TXbelDocument doc;
  TXMLBookmarkType b = TXbelBuilder::AppendBookmark(doc.Root());
  b.SetTitle("bell\x07 and tab\t");
  auto reread = TXbelDocument::Parse(doc.SaveText(XbelSaveMode::Ordinary), "memory");
  EXPECT_EQ(reread->Root().Bookmark()[0].Title(), "bell and tab\t");
}

TEST(XbelDocument, OddDeclarationsSaveAsWellFormedOnes) {
  struct {
    const char* input;
    const char* declaration;
  } cases[] = {
      {"<?xml version='1\"'?><xbel/>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
      {"<?xml version=\"1.1\" standalone=\"no\"?><xbel/>", "<?xml version=\"1.1\" encoding=\"UTF-8\" standalone=\"no\"?>"},
      {"<?xml version=\"1.0\" standalone=\"maybe\"?><xbel/>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
  };
  for (const auto& c : cases) {
    const std::string saved = TXbelDocument::Parse(c.input, "odd")->SaveText(XbelSaveMode::Ordinary);
    EXPECT_EQ(saved.substr(0, saved.find('\r')), c.declaration) << c.input;
    EXPECT_NO_THROW(TXbelDocument::Parse(saved, "saved"));
  }
}

TEST(XbelDocument, GoodCharacterReferencesLoad) {
  auto doc = TXbelDocument::Parse("<xbel><bookmark href='a&#38;b'><title>&#xE9;&#233;&#x1F600;</title></bookmark></xbel>", "refs");
  EXPECT_EQ(doc->Root().Bookmark()[0].Href(), "a&b");
  EXPECT_EQ(doc->Root().Bookmark()[0].Title(), "éé😀");
}

TEST(XbelDocument, AcceptsAByteOrderMarkAndNoDeclaration) {
  auto doc = TXbelDocument::Parse("\xEF\xBB\xBF<xbel><bookmark href=\"h\"/></xbel>", "bom");
  EXPECT_EQ(doc->Root().Bookmark()[0].Href(), "h");
  auto upper = TXbelDocument::Parse("<XBEL><bookmark href=\"h\"/></XBEL>", "upper");
  EXPECT_EQ(upper->Root().Bookmark().Count(), 1u);
}

struct BrokenCase {
  const char* name;
  std::string bytes;    // used when `fixture` is empty
  const char* fixture;  // under tests/data/xbel
  const char* expected; // part of the message
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }

std::string Nested(int depth) {
  std::string s = "<xbel>";
  for (int i = 0; i < depth; ++i) s += "<folder>";
  for (int i = 0; i < depth; ++i) s += "</folder>";
  return s + "</xbel>";
}

class BrokenXbelTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenXbelTest, IsRefusedClearlyAndChangesNothing) {
  const BrokenCase& c = GetParam();
  TempDir dir;
  fs::path file;
  if (*c.fixture) {
    file = CopyFixture(std::string("xbel/") + c.fixture, dir.path());
  } else {
    file = dir / "broken.xbel";
    WriteFile(file, c.bytes);
  }
  const std::string before = ReadFile(file);

  TXbelBuilder builder;
  TXbelBuilder::AppendBookmark(builder.Root()).SetHref("kept");
  try {
    builder.LoadDocument(file);
    FAIL() << c.name << " was accepted";
  } catch (const XbelLoadError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
  }
  EXPECT_EQ(builder.Root().Bookmark()[0].Href(), "kept");
  EXPECT_EQ(ReadFile(file), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BrokenXbelTest,
    ::testing::Values(BrokenCase{"empty", "", "broken_empty.xbel", "empty"},
                      BrokenCase{"not_xml", "", "broken_not_xml.xbel", "not well-formed XML"},
                      BrokenCase{"truncated", "", "broken_truncated.xbel", "line 2"},
                      BrokenCase{"not_xbel", "", "broken_not_xbel.xbel", "root element is <html>"},
                      BrokenCase{"latin1_bytes", "", "broken_latin1_bytes.xbel", "not valid UTF-8 at line 2"},
                      BrokenCase{"declared_latin1", "", "broken_declared_latin1.xbel", "ISO-8859-1"},
                      BrokenCase{"utf16", "", "broken_utf16.xbel", "UTF-16"},
                      BrokenCase{"entities", "", "broken_entities.xbel", "entities"},
                      BrokenCase{"deep", Nested(600), "", "nested too deeply"},
                      BrokenCase{"megabyte_title",
                                 "<xbel><bookmark><title>" + std::string(1100000, 'x') + "</title></bookmark></xbel>",
                                 "", "more than 1 MiB"},
                      BrokenCase{"megabyte_attribute",
                                 "<xbel><bookmark href=\"" + std::string(1100000, 'x') + "\"/></xbel>", "",
                                 "more than 1 MiB"},
                      BrokenCase{"comment_only", "<!-- nothing -->", "", "No document element"},
                      // Found by fuzzing: a blank before the declaration hid its encoding.
                      BrokenCase{"late_declaration", " <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><xbel/>", "",
                                 "ISO-8859-1"},
                      BrokenCase{"surrogate_reference", "<xbel><bookmark><title>&#xD800;</title></bookmark></xbel>", "",
                                 "&#xD800;\" at line 1, column 24 stands for no character"},
                      BrokenCase{"nul_reference", "<xbel><bookmark href=\"a&#0;b\"/></xbel>", "", "&#0;"},
                      BrokenCase{"huge_reference", "<xbel><title>&#4294967296;</title></xbel>", "", "stands for no"},
                      BrokenCase{"beyond_unicode", "<xbel><title>&#x110000;</title></xbel>", "", "stands for no"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XbelDocument, MissingFileAndFolderAreRefused) {
  TempDir dir;
  EXPECT_THROW(TXbelDocument::Load(dir / "missing.xbel"), XbelLoadError);
  EXPECT_THROW(TXbelDocument::Load(dir.path()), XbelLoadError);
}

TEST(XbelDocument, DeepButReasonableNestingLoads) {
  EXPECT_NO_THROW(TXbelDocument::Parse(Nested(200), "deep"));
}

TEST(XbelDocument, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  const fs::path file = CopyFixture("xbel/sample.xbel", dir.path());
  const std::string before = ReadFile(file);
  TXbelBuilder builder;
  builder.LoadDocument(file);
  builder.Root().Bookmark()[0].SetTitle("changed");
  {
    ScopedWriteFault fault(100);
    EXPECT_THROW(builder.SaveDocument(file, XbelSaveMode::Ordinary), FileWriteError);
  }
  EXPECT_EQ(ReadFile(file), before);
}

TEST(XbelDocument, SaveAsNamesGetTheExtension) {
  struct {
    const char* chosen;
    const char* written;
  } cases[] = {{"/t/books", "/t/books.xbel"},
               {"/t/books.xbel", "/t/books.xbel"},
               {"/t/books.XBEL", "/t/books.XBEL.xbel"},
               {"/t/books.xml", "/t/books.xml.xbel"}};
  for (const auto& c : cases) EXPECT_EQ(WithXbelExtension(c.chosen), fs::path(c.written)) << c.chosen;
}

}  // namespace
}  // namespace tessellink
