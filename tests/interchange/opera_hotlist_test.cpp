// Opera hotlist files: reading one into a document, writing one from a document.
#include "interchange/opera_hotlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_log.h"
#include "common/errors.h"
#include "common/text.h"
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

// One line per element, indented two blanks per level; attributes only when present.
void Dump(std::string& out, TXMLContainerType container, int depth) {
  for (pugi::xml_node child = container.Node().first_child(); child; child = child.next_sibling()) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (IsFolderNode(child)) {
      const TXMLFolderType folder(child);
      out += indent + "F " + std::string(folder.Title());
      DumpAttribute(out, child, "added");
      if (child.child("desc")) out += " desc=" + Visible(folder.Desc());
      out += "\n";
      Dump(out, folder, depth + 1);
    } else if (IsBookmarkNode(child)) {
      const TXMLBookmarkType bookmark(child);
      out += indent + "B " + std::string(bookmark.Title());
      for (const char* name : {"href", "added", "modified", "visited"}) DumpAttribute(out, child, name);
      if (child.child("desc")) out += " desc=" + Visible(bookmark.Desc());
      out += "\n";
    }
  }
}

std::string Dump(TXMLContainerType root) {
  std::string out;
  Dump(out, root, 0);
  return out;
}

struct CountingProgress : IProgress {
  int64_t total = -1;
  int64_t done = 0;
  void SetTotal(int64_t t) override { total = t; }
  void Advance(int64_t steps) override { done += steps; }
};

struct ImportCase {
  const char* name;
  std::string hotlist;
  std::string expected;
  std::vector<std::string> logged;  // messages after the time stamp
};

class OperaImport : public testing::TestWithParam<ImportCase> {};

TEST_P(OperaImport, BuildsTheDocumentLineByLine) {
  const ImportCase& c = GetParam();
  test::TempDir dir;
  test::WriteFile(dir / "in.adr", c.hotlist);
  TRunLog log(dir.path(), FixedStamp());
  TOperaToXbel converter;
  converter.SetLog(&log);
  converter.LoadHotlist(dir / "in.adr");
  EXPECT_EQ(Dump(converter.Root()), c.expected);
  std::vector<std::string> logged;
  for (const std::string& line : log.Lines()) logged.push_back(line.substr(4));  // "D T "
  EXPECT_EQ(logged, c.logged);
}

const char* const kHeader = "Opera Hotlist version 2.0\r\nOptions: encoding = utf8, version=3\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, OperaImport,
    testing::Values(
        ImportCase{"UrlKeepsEverythingAfterTheFirstEquals",
                   std::string(kHeader) + "#URL\r\n\tNAME=q\r\n\tURL=http://a/?a=1&b==2\r\n",
                   "B q href=http://a/?a=1&b==2\n", {}},
        ImportCase{"CreatedBecomesTheFullDate",
                   "#FOLDER\n\tCREATED=1217548800\n#URL\n\tCREATED=1217548800\n\tVISITED=1217548801\n-\n",
                   "F New folder added=2008-08-01T00:00:00Z\n"
                   "  B  added=2008-08-01T00:00:00Z modified=2008-08-01T00:00:00Z visited=2008-08-01T00:00:01Z\n",
                   {}},
        ImportCase{"EmptyDateGivesEmptyText", "#URL\n\tCREATED=\n\tVISITED=\n", "B  added= modified= visited=\n", {}},
        ImportCase{"CodeTwoBecomesCrLf",
                   "#FOLDER\n\tDESCRIPTION=f\x02g\n-\n#URL\n\tDESCRIPTION=a\x02" "b\x02" "c\n",
                   "F New folder desc=f\\r\\ng\nB  desc=a\\r\\nb\\r\\nc\n", {}},
        ImportCase{"LowerCaseKeysAndBlockStarts",
                   "#folder\n\tname=Outer\n#Url\n\tnAmE=x\n\turl=http://x/\n\tcreated=0\n-\n",
                   "F Outer\n  B x href=http://x/ added=1970-01-01T00:00:00Z modified=1970-01-01T00:00:00Z\n", {}},
        ImportCase{"FirstTabGoesThenBlanksAreTrimmed",
                   "#URL\r\n\t\tNAME=two tabs \x01\r\n\tURL=a\tb\r\nDESCRIPTION=x\ty\r\n",
                   "B two tabs href=a\tb desc=xy\n", {}},
        ImportCase{"KeysNeedTheirExactSpelling", "#URL\n\tNAME =a\n\tTITLE=b\n\tID=3\n\tNAME\n", "B \n", {}},
        ImportCase{"NestedFoldersFollowTheStack",
                   "#FOLDER\n\tNAME=A\n#FOLDER\n\tNAME=B\n#URL\n\tNAME=in B\n-\n#URL\n\tNAME=in A\n-\n#URL\n\tNAME=top\n",
                   "F A\n  F B\n    B in B\n  B in A\nB top\n", {}},
        ImportCase{"BadLinesAreLoggedAndSkipped",
                   "NAME=early\nURL=http://early/\nCREATED=1\nVISITED=1\nDESCRIPTION=ignored\n"
                   "#URL\n\tNAME=n\n\tCREATED=yesterday\n\tVISITED=soon\n"
                   "#FOLDER\n\tCREATED=12x\n-\n-\n-\n#URL\n#FOLDER\n",
                   "B n added=yesterday\nF New folder\n",
                   {"opera import error, NAME=early", "opera import error, URL=http://early/",
                    "opera import error, CREATED=1", "opera import error, VISITED=1",
                    "opera import error, CREATED=yesterday", "opera import error, VISITED=soon",
                    "opera import error, CREATED=12x", "opera import error, #URL", "opera import error, #FOLDER"}},
        ImportCase{"UrlAndVisitedGoToTheLastBookmarkInsideAFolderBlock",
                   "#URL\n\tNAME=b\n#FOLDER\n\tNAME=F\n\tURL=http://late/\n\tVISITED=0\n\tDESCRIPTION=of F\n-\n",
                   "B b href=http://late/ visited=1970-01-01T00:00:00Z\nF F desc=of F\n", {}}),
    [](const testing::TestParamInfo<ImportCase>& info) { return std::string(info.param.name); });

TEST(OperaImportFile, ReadsOpera9Layout) {
  test::TempDir dir;
  const fs::path file = test::CopyFixture("opera/opera9_hotlist.adr", dir.path());
  CountingProgress progress;
  TOperaToXbel converter;
  converter.SetProgress(&progress);
  converter.LoadHotlist(file);
  EXPECT_EQ(Dump(converter.Root()),
            "F Opera added=2007-08-01T10:40:00Z\n"
            "  B Download Opera href=http://www.opera.com/download/ added=2007-08-01T10:40:00Z "
            "modified=2007-08-01T10:40:00Z visited=2008-08-01T00:00:00Z desc=Line one\\r\\nLine two\\r\\n\\r\\nLine four\n"
            "  F Café & «Bücher» added=2008-08-01T00:00:00Z\n"
            "    B Search \"quoted\" & <more> href=http://www.example.com/search?q=a=b&lang=de "
            "added=2008-08-01T00:00:00Z modified=2008-08-01T00:00:00Z\n"
            "B 日本語のページ href=http://example.org/\n"
            "F Trash\n");
  EXPECT_EQ(progress.total, 54);
  EXPECT_EQ(progress.done, 54);

  // The document saves and loads back with the same content.
  converter.SaveResult(dir / "out.xbel");
  TXbelBuilder reloaded;
  reloaded.LoadDocument(dir / "out.xbel");
  EXPECT_EQ(Dump(reloaded.Root()), ReplaceAll(Dump(converter.Root()), "\\r\\n", "\\n"));  // XML reads CR LF as LF
}

TEST(OperaImportFile, UnreadableFileThrowsAndKeepsTheDocument) {
  test::TempDir dir;
  test::WriteFile(dir / "ok.adr", "#URL\n\tNAME=kept\n");
  TOperaToXbel converter;
  converter.LoadHotlist(dir / "ok.adr");
  EXPECT_THROW(converter.LoadHotlist(dir / "missing.adr"), FileReadError);
  EXPECT_THROW(converter.LoadHotlist(dir.path()), FileReadError);
  EXPECT_EQ(Dump(converter.Root()), "B kept\n");
}

TEST(OperaImportFile, HostileNestingAndLongLinesStillSaveAndLoad) {
  test::TempDir dir;
  std::string hotlist;
  for (int i = 0; i < 1200; ++i) hotlist += "#FOLDER\n\tNAME=f" + std::to_string(i) + "\n";
  hotlist += "#URL\n\tNAME=" + std::string(300 * 1024, '"') + "\n\tURL=deep\n";
  test::WriteFile(dir / "deep.adr", hotlist);
  TRunLog log(dir.path(), FixedStamp());
  TXbelBuilder builder;
  ImportOperaViaTempFile(builder, (dir / "deep.adr").string(), dir.path(), nullptr, &log);
  EXPECT_EQ(TXbelBuilder::CountItems(builder.Root()), 1201);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].substr(0, 29), "D T opera import error, NAME=");
  std::vector<TXMLBookmarkType> bookmarks;
  builder.CollectBookmarks(builder.Root(), bookmarks, CollectMode::All);
  ASSERT_EQ(bookmarks.size(), 1u);
  EXPECT_EQ(bookmarks[0].Href(), "deep");
}

TEST(OperaImportFlow, ConvertsThroughTempFile) {
  test::TempDir dir;
  const fs::path file = test::CopyFixture("opera/opera9_hotlist.adr", dir.path());
  test::WriteFile(dir / "temp.xbel", "stale");
  TXbelBuilder builder;
  CountingProgress progress;
  ImportOperaViaTempFile(builder, "\"" + file.string() + "\"", dir.path(), &progress, nullptr);
  EXPECT_EQ(TXbelBuilder::CountItems(builder.Root()), 6);
  EXPECT_EQ(progress.done, 54);
  TXbelBuilder fromTemp;
  fromTemp.LoadDocument(dir / "temp.xbel");
  EXPECT_EQ(Dump(fromTemp.Root()), Dump(builder.Root()));

  TXbelBuilder untouched;
  TXbelBuilder::AppendBookmark(untouched.Root()).SetTitle("mine");
  EXPECT_THROW(ImportOperaViaTempFile(untouched, (dir / "none.adr").string(), dir.path(), nullptr, nullptr),
               FileReadError);
  EXPECT_EQ(Dump(untouched.Root()), "B mine\n");
}

TEST(OperaImportFlow, InvalidUtf8IsLoggedOnce) {
  test::TempDir dir;
  const fs::path file = test::CopyFixture("opera/broken_latin1.adr", dir.path());
  TRunLog log(dir.path(), FixedStamp());
  TXbelBuilder builder;
  ImportOperaViaTempFile(builder, file.string(), dir.path(), nullptr, &log);
  EXPECT_EQ(TXbelBuilder::CountItems(builder.Root()), 0);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "D T opera import error, " + file.string() + " is not valid UTF-8; nothing imported");
}

// ---------------------------------------------------------------- export

TEST(OperaExport, WritesHeaderBlocksAndCounter) {
  test::TempDir dir;
  TXbelBuilder builder;
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder.Root());
  folder.SetTitle("Folder");
  folder.SetAdded("2008-08-01T13:14:15Z");
  TXMLBookmarkType inner = TXbelBuilder::AppendBookmark(folder);
  inner.SetTitle("Inner");
  inner.SetHref("http://a/?x=1");
  TXMLBookmarkType top = TXbelBuilder::AppendBookmark(builder.Root());
  top.SetTitle("Two\r\nlines\nname");
  top.SetHref("http://b/\r\n");
  top.SetDesc("one\r\ntwo\nthree\rfour");
  top.SetAdded("not a date");
  TXbelBuilder::AppendFolder(builder.Root());  // empty, no date
  CountingProgress progress;
  builder.Progress = &progress;

  ExportOperaHotlist(builder, dir / "out.adr");
  EXPECT_EQ(test::ReadFile(dir / "out.adr"),
            "Opera Hotlist version 2.0\r\nOptions: encoding = utf8, version=3\r\n\r\n"
            "#FOLDER\r\nID=1\r\nNAME=Folder\r\nCREATED=1217548800\r\n\r\n"
            "#URL\r\nID=2\r\nNAME=Inner\r\nURL=http://a/?x=1\r\n\r\n"
            "-\r\n\r\n"
            "#URL\r\nID=3\r\nNAME=Two lines name\r\nURL=http://b/ \r\nDESCRIPTION=one\x02two\x02three\x02" "four\r\n\r\n"
            "#FOLDER\r\nID=4\r\nNAME=New folder\r\n\r\n"
            "-\r\n\r\n");
  EXPECT_EQ(progress.done, 2);
  EXPECT_FALSE(builder.OnBookmark || builder.OnFolderEntered || builder.OnFolderLeft);
}

TEST(OperaExport, RoundTripKeepsTheTree) {
  test::TempDir dir;
  const fs::path file = test::CopyFixture("opera/opera9_hotlist.adr", dir.path());
  TXbelBuilder builder;
  ImportOperaViaTempFile(builder, file.string(), dir.path(), nullptr, nullptr);
  ExportOperaHotlist(builder, dir / "again.adr");
  TXbelBuilder again;
  ImportOperaViaTempFile(again, (dir / "again.adr").string(), dir.path(), nullptr, nullptr);
  // Dates come back as the day (the export writes days), everything else unchanged.
  EXPECT_EQ(Dump(again.Root()),
            "F Opera added=2007-08-01T00:00:00Z\n"
            "  B Download Opera href=http://www.opera.com/download/ added=2007-08-01T00:00:00Z "
            "modified=2007-08-01T00:00:00Z desc=Line one\\nLine two\\n\\nLine four\n"
            "  F Café & «Bücher» added=2008-08-01T00:00:00Z\n"
            "    B Search \"quoted\" & <more> href=http://www.example.com/search?q=a=b&lang=de "
            "added=2008-08-01T00:00:00Z modified=2008-08-01T00:00:00Z\n"
            "B 日本語のページ href=http://example.org/\n"
            "F Trash\n");
}

TEST(OperaExport, UnwritablePathThrows) {
  test::TempDir dir;
  test::WriteFile(dir / "file", "x");
  TXbelBuilder builder;
  EXPECT_THROW(ExportOperaHotlist(builder, dir / "file" / "out.adr"), FileWriteError);
}

TEST(OperaHotlistSearch, FindsFirstInSortedListingsTopFirst) {
  test::TempDir home;
  EXPECT_EQ(FindOperaHotlistFile(home.path()), fs::path());
  fs::create_directories(home / ".opera/b");
  fs::create_directories(home / ".opera/a/deeper");
  fs::create_directories(home / ".opera/.hidden");
  test::WriteFile(home / ".opera/.hidden/opera6.adr", "");
  test::WriteFile(home / ".opera/b/opera6.adr", "");
  test::WriteFile(home / ".opera/a/deeper/opera6.adr", "");
  EXPECT_EQ(FindOperaHotlistFile(home.path()), home / ".opera/a/deeper/opera6.adr");
  test::WriteFile(home / ".opera/opera6.adr", "");
  EXPECT_EQ(FindOperaHotlistFile(home.path()), home / ".opera/opera6.adr");
}

}  // namespace
}  // namespace tessellink
