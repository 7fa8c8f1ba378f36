// Bookmark HTML: reading the files browsers and other tools write, and writing
// files they read back.
#include "interchange/bookmark_html.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "common/atomic_file.h"
#include "common/comma_text.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/html_tokenizer.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

TLogStampFormat FixedStamp() {
  return {[](const DateTimeFields&) { return std::string("D"); }, [](const DateTimeFields&) { return std::string("T"); }};
}

std::string Visible(std::string_view text) { return ReplaceAll(ReplaceAll(text, "\r", "\\r"), "\n", "\\n"); }

void DumpAttribute(std::string& out, pugi::xml_node node, const char* name) {
  if (pugi::xml_attribute a = node.attribute(name)) out += std::string(" ") + name + "=" + a.value();
}

// One line per item, two blanks of indent per level; attributes only when present.
void Dump(std::string& out, TXMLContainerType container, int depth) {
  for (pugi::xml_node child = container.Node().first_child(); child; child = child.next_sibling()) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (IsFolderNode(child)) {
      const TXMLFolderType folder(child);
      out += indent + "F " + std::string(folder.Title());
      DumpAttribute(out, child, "added");
      out += "\n";
      Dump(out, folder, depth + 1);
    } else if (IsBookmarkNode(child)) {
      const TXMLBookmarkType b(child);
      out += indent + "B " + Visible(b.Title()) + " | " + std::string(b.Href());
      DumpAttribute(out, child, "added");
      DumpAttribute(out, child, "modified");
      if (b.Info()) out += " tags=" + Visible(TXbelBuilder::GetMetadata(b, TagsOwnerUri));
      if (child.child("desc")) out += " desc=" + Visible(b.Desc());
      out += "\n";
    }
  }
}

std::string Dump(const TXbelBuilder& builder) {
  std::string out;
  Dump(out, builder.Root(), 0);
  return out;
}

class BookmarkHtmlTest : public ::testing::Test {
 protected:
  BookmarkHtmlTest() : log_(dir_ / "logs", FixedStamp()) {
    fs::create_directories(dir_ / "logs");
    fs::create_directories(dir_ / "data");
    fs::copy_file(test::SuppliedDataPath("firefoxheader.txt"), dir_ / "data" / "firefoxheader.txt");
    builder_.RunLog = &log_;
  }

  std::string Import(std::string_view html) {
    test::WriteFile(dir_ / "in.html", html);
    ImportBookmarkHtml(builder_, dir_ / "in.html");
    return Dump(builder_);
  }

  std::string Export(TXbelBuilder& builder) {
    ExportBookmarkHtml(builder, dir_ / "out.html", dir_ / "data");
    return test::ReadFile(dir_ / "out.html");
  }

  bool Logged(std::string_view text) const {
    const auto lines = log_.Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return Contains(l, text, false); });
  }

  test::TempDir dir_;
  TRunLog log_;
  TXbelBuilder builder_;
};

TEST_F(BookmarkHtmlTest, ImportsFoldersAnchorsAndTheirAttributes) {
  const std::string tree = Import(
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n"
      "<DT><A HREF=\"u\" ADD_DATE=\"1217548800\">Title &amp; more</A>\n"
      "<DT><H3 ADD_DATE=\"1\">News &amp; Tech</H3>\n<DL><p>\n"
      "  <DT><A HREF=\"http://a/?x=1&amp;y=2\" LAST_MODIFIED=\"1314597376\" SHORTCUTURL=\"a, news and tech\">Keyed</A>\n"
      "  <DT><A NAME=\"no address\">Not a bookmark</A>\n"
      "  <DT><A HREF=\"http://b/>x\" TITLE='c>d'>Quoted &gt;</A>\n"
      "</dl><p>\n"
      "<DT><H3>Second</H3>\n<DL><p>\n"
      "  <DT><A HREF=\"http://c/\">In second</A>\n"
      "</DL >\n"
      "  <DT><A HREF=\"http://d/\">Still in second</A>\n"
      "</DL>\n"
      "<DT><A HREF=\"http://e/\">Top again</A>\n"
      "<DT><A HREF=\"http://f/\">trailing text is never a title\n");
  EXPECT_EQ(tree,
            "B Title & more | u added=2008-08-01 tags=\n"
            "F News & Tech\n"
            "  B Keyed | http://a/?x=1&y=2 modified=2011-08-29 tags=\\r\\nnews\\r\\n\\r\\ntech\\r\\n\n"
            "  B Quoted > | http://b/>x tags= News Tech\n"
            "F Second\n"
            "  B In second | http://c/ tags= Second\n"
            "  B Still in second | http://d/ tags= Second\n"
            "B Top again | http://e/ tags=\n"
            "B  | http://f/ tags=\n");
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(BookmarkHtmlTest, TitlesDecodeReferencesButKeepPercentForms) {
  const std::string tree = Import(
      "<DL><p><DT><H3>Caf\xE9 &eacute;</H3><DL><p>\n"
      "<DT><A HREF=\"1\">It&#8217;s caf&eacute; &amp;eacute; a%3Db</A>\n"
      "<DT><A HREF=\"2\">Latin-1 caf\xE9 &lt;b&gt;</A>\n"
      "<DT><A HREF=\"3\"></A>\n"
      "<DT><A HREF=\"4\">  spaced   out  </A>\n"
      "</DL><p></DL><p>\n");
  EXPECT_EQ(tree,
            "F Caf\xEF\xBF\xBD \xC3\xA9\n"
            "  B It\xE2\x80\x99s caf\xC3\xA9 &eacute; a%3Db | 1 tags= Caf\xEF\xBF\xBD\n"
            "  B Latin-1 caf\xEF\xBF\xBD <b> | 2 tags= Caf\xEF\xBF\xBD\n"
            // No title of its own: the next run (the line break) stands in, as written.
            "  B \\r\\n | 3 tags= Caf\xEF\xBF\xBD\n"
            "  B  spaced out  | 4 tags= Caf\xEF\xBF\xBD\n");
}

TEST_F(BookmarkHtmlTest, TagsAttributeJoinsTheOtherTags) {
  struct Case {
    const char* name;
    const char* html;
    const char* tags;
  };
  const Case cases[] = {
      {"alone", "<DT><A HREF=\"u\" TAGS=\"a,b\">t</A>", " a b"},
      {"after folder tags, case ignored", "<DT><H3>News</H3><DL><DT><A HREF=\"u\" TAGS=\"news,x\">t</A></DL>",
       " News x"},
      {"after keywords", "<DT><A HREF=\"u\" SHORTCUTURL=\"kw\" TAGS=\"KW,Other,other\">t</A>", "kw\\r\\nOther\\r\\n"},
      {"blanks and quotes", "<DT><A HREF=\"u\" TAGS=\"two words, &quot;q&quot;,caf&eacute;\">t</A>",
       " two words q caf\xC3\xA9"},
      {"only where an attribute can stand", "<DT><A HREF=\"http://x/tags?tags=no\" ICON=\"data:TAGS=no\">t</A>", ""},
  };
  for (const Case& c : cases) {
    TXbelBuilder builder;
    test::WriteFile(dir_ / "tags.html", c.html);
    ImportBookmarkHtml(builder, dir_ / "tags.html");
    std::vector<TXMLBookmarkType> all;
    builder.CollectBookmarks(builder.Root(), all, CollectMode::All);
    ASSERT_EQ(all.size(), 1u) << c.name;
    EXPECT_EQ(Visible(TXbelBuilder::GetMetadata(all[0], TagsOwnerUri)), c.tags) << c.name;
  }
}

TEST_F(BookmarkHtmlTest, DescriptionIsTheTextOfADdRightAfterAnAnchor) {
  const std::string tree = Import(
      "<DL><p>\n"
      "<DT><A HREF=\"1\">one</A>\n<DD>First line &amp; more\nsecond  line\n\n"
      "<DT><A HREF=\"2\">two</A>\n<DD>Up to <b>the next tag</b>\n"
      "<DT><H3>Folder</H3>\n<DD>folder notes are not taken\n<DL><p>\n"
      "<DT><A HREF=\"3\">three</A>\n<HR>\n<DD>not right after the anchor\n"
      "</DL><p>\n"
      "<DT><A HREF=\"4\">four</A><DD>  \n</DL>\n");
  EXPECT_EQ(tree,
            "B one | 1 tags= desc=First line & more\\nsecond line\n"
            "B two | 2 tags= desc=Up to\n"
            "F Folder\n"
            "  B three | 3 tags= Folder\n"
            "B four | 4 tags=\n");
}

TEST_F(BookmarkHtmlTest, BadEntriesAreLoggedAndSkipped) {
  const std::string tree = Import(
      "<DL><p>\n"
      "<DT><A HREF=\"kept\" ADD_DATE=\"soon\" LAST_MODIFIED=\"1217548800\">Date is not a number</A>\n"
      "<DT><A HREF=\"late\" ADD_DATE=\"4102444800\">After 2038</A>\n"
      "<DT><A HREF=\"far\" ADD_DATE=\"999999999999999\">Beyond the calendar</A>\n"
      "</DL><p>\n</DL>\n"
      "<DT><H3>No folder left</H3>\n<DT><A HREF=\"lost\">lost</A>\n");
  EXPECT_EQ(tree,
            "B Date is not a number | kept modified=2008-08-01 tags=\n"
            "B After 2038 | late added=2100-01-01 tags=\n"
            "B Beyond the calendar | far tags=\n");
  EXPECT_TRUE(Logged("import geth error:'soon' is not a valid integer value <A HREF=\"kept\""));
  EXPECT_TRUE(Logged("import geth error:date out of range"));
  EXPECT_TRUE(Logged("import geth error:no open folder to close </DL>"));
  EXPECT_TRUE(Logged("import geth error:no open folder <H3>"));
  EXPECT_TRUE(Logged("import geth error:no open folder <A HREF=\"lost\">"));
}

TEST_F(BookmarkHtmlTest, DeepNestingStopsAtTheLimitAndStillSaves) {
  std::string html;
  const std::size_t depth = kMaxHtmlFolderDepth + 20;
  for (std::size_t i = 0; i < depth; ++i) html += "<DT><H3>f</H3><DL><p>";
  html += "<DT><A HREF=\"deep\">deep</A>";
  for (std::size_t i = 0; i < depth; ++i) html += "</DL><p>";
  html += "<DT><A HREF=\"top\">top</A>";
  Import(html);

  std::size_t levels = 0;
  pugi::xml_node n = builder_.Root().Node();
  while (pugi::xml_node f = n.child("folder")) n = f, ++levels;
  EXPECT_EQ(levels, kMaxHtmlFolderDepth);
  EXPECT_EQ(TXMLContainerType(n).Bookmark()[0].Href(), "deep");
  EXPECT_EQ(builder_.Root().Bookmark()[0].Href(), "top");  // every "</DL>" found its folder
  EXPECT_TRUE(Logged("import geth error:folders nested too deeply"));
  builder_.SaveDocument(dir_ / "deep.xbel", XbelSaveMode::Ordinary);
  EXPECT_NO_THROW(TXbelDocument::Load(dir_ / "deep.xbel"));
}

class CountingProgress : public IProgress {
 public:
  void SetTotal(int64_t) override {}
  void Advance(int64_t steps) override { count += steps; }
  int64_t count = 0;
};

TEST_F(BookmarkHtmlTest, CountsAnchorsAndAdvancesPerBookmark) {
  const char* html = "<DL><DT><A HREF=\"1\">one</A><DT><a name=x>no href</a><DT><A HREF=\"2\">two</A></DL>";
  test::WriteFile(dir_ / "count.html", html);
  EXPECT_EQ(CountAnchors(dir_ / "count.html"), 3);
  CountingProgress progress;
  builder_.Progress = &progress;
  Import(html);
  EXPECT_EQ(progress.count, 2);
  EXPECT_THROW(CountAnchors(dir_ / "missing.html"), FileReadError);
}

TEST_F(BookmarkHtmlTest, UnreadableFileChangesNothing) {
  TXbelBuilder::AppendBookmark(builder_.Root()).SetHref("existing");
  const std::string before = Dump(builder_);
  EXPECT_THROW(ImportBookmarkHtml(builder_, dir_ / "missing.html"), FileReadError);
  EXPECT_EQ(Dump(builder_), before);
}

// ---------------------------------------------------------------- real files

TEST_F(BookmarkHtmlTest, ImportsARealFirefoxExport) {
  ImportBookmarkHtml(builder_, test::CopyFixture("html/firefox_export.html", dir_.path()));
  EXPECT_EQ(Dump(builder_),
            "F Mozilla Firefox\n"
            "  B Get Help | https://support.mozilla.org/products/firefox added=2026-12-11 modified=2026-12-11 "
            "tags= Firefox Mozilla\n"
            "  B Customize Firefox | https://support.mozilla.org/kb/customize-firefox-controls-buttons-and-toolbars"
            "?utm_source=firefox-browser&utm_medium=default-bookmarks&utm_campaign=customize added=2026-12-11 "
            "modified=2026-12-11 tags= Firefox Mozilla\n"
            "  B Get Involved | https://www.mozilla.org/contribute/ added=2026-12-11 modified=2026-12-11 "
            "tags= Firefox Mozilla\n"
            "  B About Us | https://www.mozilla.org/about/ added=2026-12-11 modified=2026-12-11 tags= Firefox Mozilla\n"
            "B Equals a=b and 100% sure | https://example.net/path?eq=a%3Db added=2011-08-29 modified=2011-08-29 tags=\n"
            "F Bookmarks Toolbar\n"
            "  F K\xC3\xBC" "che & Co\n"
            "    B Caf\xC3\xA9 & Cr\xC3\xA8me \xE2\x80\x93 \xC2\xAB" "Gr\xC3\xBC\xC3\x9F" "e\xC2\xBB"
            " | https://example.com/search?q=caf%C3%A9&lang=fr added=2008-08-01 modified=2011-08-29 "
            "tags=cafe\\r\\ncaf\xC3\xA9\\r\\nfood\\r\\n\n"
            "    B He said \"hello\" & <left> 'here' | https://example.org/a?b=1&c=2 added=2008-08-01 "
            "modified=2008-08-01 tags= Bookmarks Co K\xC3\xBC" "che Toolbar\n"
            "    F Nested\n"
            "      B \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x9A\xE3\x83\xBC\xE3\x82\xB8"
            " | https://example.jp/%E6%97%A5%E6%9C%AC added=2011-08-29 modified=2011-08-29 "
            "tags= Bookmarks Co K\xC3\xBC" "che Nested Toolbar japan\n"
            "F Other Bookmarks\n"
            "  B Literal &amp; stays | https://example.com/literal added=2011-08-29 modified=2011-08-29 "
            "tags= Bookmarks Other\n");
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(BookmarkHtmlTest, ImportsARealBukuExport) {
  // buku writes its values without escaping them; what a browser reads from
  // such a file is what we read too.
  ImportBookmarkHtml(builder_, test::CopyFixture("html/buku_export.html", dir_.path()));
  EXPECT_EQ(Dump(builder_),
            "F buku bookmarks\n"
            "  B Buku & \"friends\" \xE2\x80\x93 na\xC3\xAFve caf\xC3\xA9 | https://example.com/search?q=buku&lang=en "
            "added=2026-12-11 modified=2026-12-11 tags= bookmarks buku caf\xC3\xA9 reading two words "
            "desc=First line of notes & more\n"
            "  B O'Reilly  | https://example.org/path?a=1&b=<2> added=2026-12-11 modified=2026-12-11 "
            "tags= bookmarks buku tools desc=Notes with\n"
            "  B \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E | https://example.net/ added=2026-12-11 modified=2026-12-11 "
            "tags= bookmarks buku\n"
            "  B Multi-line notes | https://example.com/multi added=2026-12-11 modified=2026-12-11 "
            "tags= bookmarks buku notes reading desc=Line one\\nLine two & three\n");
}

// ---------------------------------------------------------------- export

TEST_F(BookmarkHtmlTest, ExportsAnEmptyDocumentAsHeaderAndClose) {
  test::WriteFile(dir_ / "data" / "firefoxheader.txt", "<H1>a</H1>\n<DL><p>");
  EXPECT_EQ(Export(builder_), "<H1>a</H1>\r\n<DL><p>\r\n</DL></P>\r\n");
}

TEST_F(BookmarkHtmlTest, ExportsLinesInDocumentOrder) {
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder_.Root());
  folder.SetTitle("News & <Tech>");
  folder.SetAdded("2008-08-01T10:20:30Z");
  TXMLBookmarkType inner = TXbelBuilder::AppendBookmark(folder);
  inner.SetHref("http://a/?x=1&y=\"2\"<>");
  inner.SetTitle("a=b 'q'");
  inner.SetAdded("2008-08-01T10:20:30Z");
  inner.SetModified("2011-08-29");
  TXbelBuilder::SetMetadata(inner, TagsOwnerUri, "news\r\ntech\r\n");
  TXMLBookmarkType plain = TXbelBuilder::AppendBookmark(builder_.Root());
  plain.SetHref("u");
  plain.SetAdded("not a date");
  TXbelBuilder::AppendFolder(builder_.Root()).SetTitle("");

  const std::string header = test::ReadFile(test::SuppliedDataPath("firefoxheader.txt"));
  EXPECT_EQ(Export(builder_),
            ReplaceAll(header, "\n", "\r\n") +
                "<DT><H3 ADD_DATE=\"1217548800\">News &amp; &lt;Tech&gt;</H3>\r\n<DL>\r\n<P>\r\n"
                "<DT><A HREF=\"http://a/?x=1&amp;y=&quot;2&quot;&lt;&gt;\" ADD_DATE=\"1217548800\""
                " LAST_MODIFIED=\"1314576000\" SHORTCUTURL=\"news&#13;&#10;tech&#13;&#10;\">a%3Db &#39;q&#39;</A>\r\n"
                "</DL>\r\n"
                "<DT><A HREF=\"u\"></A>\r\n"
                "<DT><H3></H3>\r\n<DL>\r\n<P>\r\n</DL>\r\n"
                "</DL></P>\r\n");
}

TEST_F(BookmarkHtmlTest, ExportFailuresLeaveTheOldFile) {
  test::WriteFile(dir_ / "out.html", "old");
  fs::remove(dir_ / "data" / "firefoxheader.txt");
  EXPECT_THROW(ExportBookmarkHtml(builder_, dir_ / "out.html", dir_ / "data"), FileReadError);
  EXPECT_EQ(test::ReadFile(dir_ / "out.html"), "old");

  test::WriteFile(dir_ / "data" / "firefoxheader.txt", "<DL><p>\n");
  {
    ScopedWriteFault fault(4);
    EXPECT_THROW(ExportBookmarkHtml(builder_, dir_ / "out.html", dir_ / "data"), FileWriteError);
  }
  EXPECT_EQ(test::ReadFile(dir_ / "out.html"), "old");
  EXPECT_FALSE(builder_.OnBookmark || builder_.OnFolderEntered || builder_.OnFolderLeft);
}

// The same tree with titles as an export changes them and tags as sorted word sets.
std::string Comparable(const TXbelBuilder& builder) {
  std::string out;
  std::function<void(TXMLContainerType, int)> walk = [&](TXMLContainerType c, int depth) {
    for (pugi::xml_node child = c.Node().first_child(); child; child = child.next_sibling()) {
      const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
      const TXMLItemType item(child);
      const std::string title = ReplaceAll(item.Title(), "=", "%3D");
      if (IsFolderNode(child)) {
        out += indent + "F " + title + "\n";
        walk(TXMLContainerType(child), depth + 1);
      } else if (IsBookmarkNode(child)) {
        const TXMLBookmarkType b(child);
        std::set<std::string> tags;
        ForEachCommaItem(TXbelBuilder::GetMetadata(b, TagsOwnerUri), [&](std::string_view t) {
          if (!t.empty()) tags.insert(UpperCase(t));
        });
        out += indent + "B " + title + " | " + std::string(b.Href()) + " " + std::string(b.Added()) + " " +
               std::string(b.Modified()) + " [" + JoinCommaText({tags.begin(), tags.end()}) + "]\n";
      }
    }
  };
  walk(builder.Root(), 0);
  return out;
}

TEST_F(BookmarkHtmlTest, ExportThenImportGivesTheSameTree) {
  for (const char* fixture : {"html/firefox_export.html", "html/buku_export.html"}) {
    TXbelBuilder first;
    ImportBookmarkHtml(first, test::CopyFixture(fixture, dir_.path()));
    ExportBookmarkHtml(first, dir_ / "round.html", dir_ / "data");
    TXbelBuilder second;
    ImportBookmarkHtml(second, dir_ / "round.html");
    EXPECT_EQ(Comparable(second), Comparable(first)) << fixture;
  }
}

TEST_F(BookmarkHtmlTest, HostileTextsStayInsideTheirFields) {
  const std::vector<std::string> texts = {
      "\"><script>alert(1)</script>",
      "a&amp;b &lt; &#39; ' \" = %3D",
      "</A></DL></DL><DT><H3>fake</H3>",
      "<!-- comment -->' unbalanced \"",
      "caf\xC3\xA9 \xE2\x80\x99 \xF0\x9F\x98\x80",
  };
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder_.Root());
  folder.SetTitle(texts[2]);
  for (const std::string& text : texts) {
    TXMLBookmarkType b = TXbelBuilder::AppendBookmark(folder);
    b.SetHref("http://x/?q=" + text);
    b.SetTitle(text);
    TXbelBuilder::SetMetadata(b, TagsOwnerUri, "tag\r\n");
  }
  const std::string html = Export(builder_);

  // Every tag of the file is one the format has, and each anchor is whole.
  const std::set<std::string> allowed = {"!DOCTYPE", "META", "meta", "/meta", "TITLE", "/TITLE", "H1", "/H1",
                                         "DL",       "/DL",  "p",    "P",     "/P",    "DT",     "H3",  "/H3", "A",
                                         "/A"};
  int anchors = 0;
  TjsFastHTMLParser parser(html);
  parser.OnTag = [&](std::string_view tag) {
    const std::string name(TagNameOf(tag));
    EXPECT_TRUE(allowed.count(name)) << tag;
    if (name == "A") ++anchors;
  };
  parser.Parse();
  EXPECT_EQ(anchors, static_cast<int>(texts.size()));

  TXbelBuilder back;
  test::WriteFile(dir_ / "back.html", html);
  ImportBookmarkHtml(back, dir_ / "back.html");
  ASSERT_EQ(back.Root().Folder().Count(), 1u);
  const TXMLFolderType again = back.Root().Folder()[0];
  EXPECT_EQ(again.Title(), texts[2]);
  ASSERT_EQ(again.Bookmark().Count(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(again.Bookmark()[i].Href(), "http://x/?q=" + texts[i]);
    EXPECT_EQ(again.Bookmark()[i].Title(), ReplaceAll(texts[i], "=", "%3D"));
  }
}

TEST_F(BookmarkHtmlTest, ExportHasTheShapeOfAFirefoxExport) {
  ImportBookmarkHtml(builder_, test::CopyFixture("html/firefox_export.html", dir_.path()));
  const std::string ours = Export(builder_);
  const std::string theirs = test::ReadFile(test::FixturePath("html/firefox_export.html"));
  EXPECT_TRUE(ours.starts_with("<!DOCTYPE NETSCAPE-Bookmark-file-1>\r\n"));
  EXPECT_TRUE(Contains(ours, "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">", false));

  // The same sequence of structural tags (letter case aside), from the first list on.
  auto structure = [](const std::string& text) {
    std::string out;
    TjsFastHTMLParser parser(text);
    bool inList = false;
    parser.OnTag = [&](std::string_view tag) {
      const std::string name = UpperCase(TagNameOf(tag));
      inList = inList || name == "DL";
      if (inList && (name == "DL" || name == "/DL" || name == "H3" || name == "A")) out += name + " ";
    };
    parser.Parse();
    return out;
  };
  EXPECT_EQ(structure(ours), structure(theirs));
}

}  // namespace
}  // namespace tessellink
