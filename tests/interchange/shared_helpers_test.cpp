// The pieces every importer shares: INI files, folder-name tags, date texts.
#include <gtest/gtest.h>

#include "common/comma_text.h"
#include "common/errors.h"
#include "interchange/folder_tags.h"
#include "interchange/ini_file.h"
#include "interchange/interchange_dates.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

TEST(IniFile, ReadsWindowsStyle) {
  const TIniFile ini = TIniFile::Parse(
      "; comment\r\nloose=1\r\n[InternetShortcut]\r\n  url = http://a/?x=1 \r\nURL=second\r\n"
      "[other]\nkey=\"quoted value\"\n[INTERNETSHORTCUT]\nModified=late\n");
  EXPECT_EQ(ini.ReadString("internetshortcut", "URL"), "http://a/?x=1");  // first key wins, blanks dropped
  EXPECT_EQ(ini.ReadString("InternetShortcut", "Modified", "none"), "none");  // first section wins
  EXPECT_EQ(ini.ReadString("OTHER", "KEY"), "quoted value");
  EXPECT_EQ(ini.ReadString("", "loose"), "");
  EXPECT_EQ((std::vector<std::string>{"InternetShortcut", "other", "INTERNETSHORTCUT"}), ini.SectionNames());
}

TEST(IniFile, WritesInPlaceKeepingOrderAndComments) {
  TIniFile ini = TIniFile::Parse("; keep me\n[export]\nstyle=text,csv\nchecked=title\n\n[text]\nitem=x\n");
  ini.WriteString("EXPORT", "Checked", "title,link");
  ini.WriteString("export", "output", "line\nbreak");
  ini.WriteBool("new", "utf8", true);
  EXPECT_EQ(ini.Text(),
            "; keep me\r\n[export]\r\nstyle=text,csv\r\nchecked=title,link\r\noutput=line break\r\n\r\n"
            "[text]\r\nitem=x\r\n[new]\r\nutf8=1\r\n");
  EXPECT_TRUE(TIniFile::Parse(ini.Text()).ReadBool("NEW", "UTF8", false));
}

TEST(IniFile, LoadsMissingAsEmptyAndSavesAtomically) {
  test::TempDir dir;
  EXPECT_TRUE(TIniFile::Load(dir.path() / "none.ini").SectionNames().empty());
  TIniFile ini;
  ini.WriteString("a", "b", "c");
  ini.Save(dir.path() / "x.ini");
  EXPECT_EQ(test::ReadFile(dir.path() / "x.ini"), "[a]\r\nb=c\r\n");
}

TEST(FolderTags, CollapsesSortsAndDropsFillers) {
  TXbelBuilder builder;
  TXMLFolderType outer = TXbelBuilder::AppendFolder(builder.Root());
  outer.SetTitle("Tech (old)");
  TXMLFolderType inner = TXbelBuilder::AppendFolder(outer);
  inner.SetTitle("News AND the Tech at Home on X & Y;amp");
  TXMLBookmarkType nested = TXbelBuilder::AppendBookmark(inner);
  TagsFromFolderNames(nested);
  EXPECT_EQ(TXbelBuilder::GetMetadata(nested, TagsOwnerUri), " Home News old Tech");

  TXMLBookmarkType top = TXbelBuilder::AppendBookmark(builder.Root());
  TXbelBuilder::SetMetadata(top, TagsOwnerUri, "stale");
  TagsFromFolderNames(top);
  EXPECT_EQ(TXbelBuilder::GetMetadata(top, TagsOwnerUri), "");
}

TEST(FolderTags, StayWithinTheLimitInWholeWords) {
  TXbelBuilder builder;
  TXMLContainerType parent = builder.Root();
  for (int i = 0; i < 40; ++i) {
    TXMLFolderType folder = TXbelBuilder::AppendFolder(parent);
    folder.SetTitle(std::string(1000, static_cast<char>('a' + i % 26)) + std::to_string(i));
    parent = folder;
  }
  const std::string tags = FolderNameTags(TXbelBuilder::AppendBookmark(parent));
  EXPECT_LE(tags.size(), kMaxFolderNameTagsBytes);
  EXPECT_GT(tags.size(), kMaxFolderNameTagsBytes - 1100);
  for (const std::string& word : SplitCommaText(tags)) EXPECT_GE(word.size(), 1001u);
}

TEST(InterchangeDates, SecondsAndDays) {
  EXPECT_EQ(UnixSecondsToDateText(1217548800), "2008-08-01T00:00:00Z");
  EXPECT_EQ(UnixSecondsToDateText(1314597376), "2011-08-29T05:56:16Z");
  EXPECT_EQ(UnixSecondsToDayText(1217548800 + 86399), "2008-08-01");
  EXPECT_EQ(UnixSecondsToDateText(-1), "1969-12-31T23:59:59Z");
  EXPECT_THROW(UnixSecondsToDateText(int64_t{1} << 40), AppError);
  EXPECT_EQ(DateTextToSeconds("2008-08-01T10:20:30Z"), 1217548800u);
  EXPECT_EQ(DateTextToSeconds("2008-08-01"), 1217548800u);
  EXPECT_EQ(DateTextToSeconds("1969-12-31"), 4294880896u);  // low 32 bits of -86400
  EXPECT_EQ(DateTextToSeconds("garbage!!"), std::nullopt);
  EXPECT_EQ(DateTextToSeconds("2008"), std::nullopt);
}

}  // namespace
}  // namespace tessellink
