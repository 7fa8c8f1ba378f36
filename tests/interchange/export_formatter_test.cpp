// The templated export: templates, field selection, dates, the supplied
// "export.ini", the output file and the remembered choice.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/run_log.h"
#include "common/atomic_file.h"
#include "common/comma_text.h"
#include "common/errors.h"
#include "interchange/export_formatter.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

std::string DottedDay(const DateTimeFields& f) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", f.day, f.month, f.year);
  return text;
}

TBmkRec Record(std::string_view title, std::string_view link, int64_t visits = 0, std::string_view added = {},
               std::string_view lastVisit = {}) {
  TBmkRec rec;
  rec.Set(TBmkRec::kTitle, title);
  rec.Set(TBmkRec::kLink, link);
  rec.Set(TBmkRec::kAdded, added);
  rec.Set(TBmkRec::kLastVisit, lastVisit);
  rec.VisitCount = visits;
  return rec;
}

TEST(ExportFormatter, FillTemplate) {
  struct Case {
    const char* templ;
    const char* value;
    const char* expected;
  } cases[] = {
      {"%s", "A", "A"},
      {"<b>%s</b>%s", "x", "<b>x</b>x"},
      {"a\\nb\\n", "v", "a\r\nb\r\n"},
      {"plain", "v", "plain"},
      {"", "v", ""},
      {"%", "v", "%"},
      // The value goes in once and as it is.
      {"[%s]", "100%s\\n", "[100%s\\n]"},
      {"%s\\", "n", "n\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(FillTemplate(c.templ, c.value), c.expected) << c.templ;
}

class ExportFormatterTest : public ::testing::Test {
 protected:
  void WriteIni(std::string_view text) { test::WriteFile(dir / "export.ini", text); }
  TExportFormatter Formatter() { return TExportFormatter(dir.path(), DottedDay); }

  test::TempDir dir;
};

TEST_F(ExportFormatterTest, FormatsFieldsInFixedOrder) {
  WriteIni(
      "[export]\r\nstyle=demo\r\n"
      "[demo]\r\nheader=<html>\r\nitem=<li>\r\ntitle=%s\r\nenditem=</li>\\n\r\nfooter=</html>\r\n"
      "[labels]\r\nitem=[%s]\\n\r\ntitle=T(%s)\r\nhref=L(%s)\r\ntags=G(%s)\r\ndesc=D(%s)\r\nadded=C(%s)\r\n"
      "modified=M(%s)\r\nlastaccess=A(%s)\r\nvisited=V(%s)\r\nenditem=;\r\n"
      "[twice]\r\ntitle=%s/%s\r\n");
  TBmkRec a = Record("A", "http://a/", 7, "2008-08-01T10:20:30Z", "");
  a.Set(TBmkRec::kTags, "x y");
  a.Set(TBmkRec::kDesc, "about a");
  a.Set(TBmkRec::kModified, "2008-02-30");  // no such day
  const TBmkRec b = Record("B", "http://b/");
  const std::vector<const TBmkRec*> both{&a, &b};

  TExportFormatter f = Formatter();
  f.LoadStyle("Demo");
  f.SetFields("title");
  EXPECT_EQ(f.FormatAll(both), "<html><li>A</li>\r\n<li>B</li>\r\n</html>");

  struct Case {
    const char* style;
    const char* fields;
    const char* expected;  // of record a
  } cases[] = {
      {"twice", "title", "A/A"},
      // A fixed part repeats itself where it says "%s".
      {"labels", "", "[[%s]\r\n]\r\n;"},
      {"labels", "VISITED", "[[%s]\r\n]\r\nV(7);"},
      {"labels", "visited,title", "[[%s]\r\n]\r\nT(A)V(7);"},
      {"labels", "\"Last Access\"", "[[%s]\r\n]\r\nA();"},
      {"labels", "last,access", "[[%s]\r\n]\r\n;"},
      {"labels", "visited,\"last access\",modified,created,desc,tags,link,title,unknown",
       "[[%s]\r\n]\r\nT(A)L(http://a/)G(x y)D(about a)C(01.08.2008)M()A()V(7);"},
  };
  for (const Case& c : cases) {
    f.LoadStyle(c.style);
    f.SetFields(c.fields);
    EXPECT_EQ(f.FormatRecord(a), c.expected) << c.style << " / " << c.fields;
  }
}

TEST_F(ExportFormatterTest, DatesAreCalendarDaysInShortForm) {
  const TExportFormatter f = Formatter();
  const std::pair<const char*, const char*> cases[] = {
      {"2008-08-01T10:20:30Z", "01.08.2008"}, {"2011-12-31", "31.12.2011"}, {"2012-02-29", "29.02.2012"},
      {"", ""}, {"2011-02-29", ""}, {"2008-13-01", ""}, {"2008-08", ""}, {"2008-08-1", "01.08.2008"},
      {"garbage!!!", ""}, {"0000-01-01", ""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(f.FormatDate(text), expected) << text;

  // The locale's own short form, as the run log writes it.
  const TExportFormatter c(dir.path(), LocaleStampFormat("C").shortDate);
  EXPECT_EQ(c.FormatDate("2008-08-01T10:20:30Z"), "08/01/08");
}

TEST(ExportFormatter, StyleExtension) {
  const struct {
    const char* file;
    const char* style;
    const char* expected;
  } cases[] = {
      {"pf.htm", "csv", "pf.csv"},
      {"pf.csv", "Custom", "pf"},
      {"pf.csv", "normal html", "pf.htm"},
      {"pf.htm", "text", "pf.txt"},
      {"pf.txt", "Text", "pf"},  // names count as written
      {"pf", "csv", "pf.csv"},
      {"pf.htm.htm", "csv", "pf.htm.csv"},
      {"/home/u/a.htm/pf.htm", "text", "/home/u/a.htm/pf.txt"},
      {"/home/u/my.dir/pf", "csv", "/home/u/my.dir/pf.csv"},
      {"/home/u/.hidden", "csv", "/home/u/.hidden.csv"},
      {"/home/u/", "csv", "/home/u/"},
      {"", "csv", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ChangeStyleExtension(c.file, c.style), c.expected) << c.file << " " << c.style;
}

TEST(ExportFormatter, WriteExportEndsEveryLineWithCrLf) {
  test::TempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {"a\nb", "a\r\nb\r\n"}, {"a\r\nb\r\n", "a\r\nb\r\n"}, {"a\rb\n\r", "a\r\nb\r\n\r\n"}, {"", ""}, {"\n", "\r\n"},
  };
  for (const auto& [text, expected] : cases) {
    WriteExport(dir / "out.txt", text);
    EXPECT_EQ(test::ReadFile(dir / "out.txt"), expected);
  }
}

// Titles that would break an escaping or re-expanding writer.
class SuppliedStylesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(test::SuppliedDataPath("export.ini"), dir / "export.ini");
    first = Record("Tom & \"Jerry\" <b>100%s</b>\\n", "http://a.example/?q=1&r=2", 3, "2008-08-01T10:20:30Z");
    first.Set(TBmkRec::kTags, "x y");
    first.Set(TBmkRec::kDesc, "line one\nline two");
    first.Set(TBmkRec::kModified, "2009-01-02T00:00:00Z");
    second = Record("\xC3\x9Cn\xC3\xAF, \"quoted\"", "http://b.example/");
  }
  std::string AllFields(const TExportFormatter& f) { return JoinCommaText(f.Titles()); }

  test::TempDir dir;
  TBmkRec first, second;
};

TEST_F(SuppliedStylesTest, ListsStylesAndFields) {
  const TExportFormatter f(dir.path(), DottedDay);
  EXPECT_EQ(f.Styles(), (std::vector<std::string>{"normal html", "text", "csv"}));
  EXPECT_EQ(f.Titles(), (std::vector<std::string>{"title", "link", "tags", "desc", "created", "modified",
                                                  "last access", "visited"}));
  EXPECT_EQ(f.Checked(), (std::vector<std::string>{"title", "link"}));
  EXPECT_EQ(f.Output(), dir / "pf.htm");
  for (const std::string& style : f.Styles()) EXPECT_NE(ChangeStyleExtension("pf", style), "pf") << style;
}

TEST_F(SuppliedStylesTest, EachStyleWritesItsShape) {
  TExportFormatter f(dir.path(), DottedDay);
  const std::vector<const TBmkRec*> records{&first, &second};
  f.SetFields(AllFields(f));

  f.LoadStyle("csv");
  EXPECT_EQ(f.FormatAll(records),
            "Title,Link,Tags,Description,Created,Modified,Last access,Visited\r\n"
            "\"Tom & \"Jerry\" <b>100%s</b>\\n\",\"http://a.example/?q=1&r=2\",\"x y\",\"line one\nline two\","
            "\"01.08.2008\",\"02.01.2009\",\"\",3\r\n"
            "\"\xC3\x9Cn\xC3\xAF, \"quoted\"\",\"http://b.example/\",\"\",\"\",\"\",\"\",\"\",0\r\n");

  f.LoadStyle("Text");
  EXPECT_EQ(f.FormatAll(records),
            "Bookmarks\r\n\r\n"
            "Tom & \"Jerry\" <b>100%s</b>\\n\r\n    http://a.example/?q=1&r=2\r\n    Tags: x y\r\n"
            "    line one\nline two\r\n    Created: 01.08.2008\r\n    Modified: 02.01.2009\r\n"
            "    Last access: \r\n    Visited: 3\r\n\r\n"
            "\xC3\x9Cn\xC3\xAF, \"quoted\"\r\n    http://b.example/\r\n    Tags: \r\n    \r\n    Created: \r\n"
            "    Modified: \r\n    Last access: \r\n    Visited: 0\r\n\r\n");

  f.LoadStyle("Normal HTML");
  EXPECT_TRUE(f.Utf8());
  f.SetFields("title,link");
  const std::string page = f.FormatAll(records);
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n")) << page;
  EXPECT_TRUE(page.ends_with("</li>\r\n</ul>\r\n</body>\r\n</html>\r\n")) << page;
  EXPECT_NE(page.find("<li><b>\xC3\x9Cn\xC3\xAF, \"quoted\"</b><br><a href=\"http://b.example/\">http://b.example/</a>"
                      "</li>\r\n"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("<b>Tom & \"Jerry\" <b>100%s</b>\\n</b>"), std::string::npos);  // unescaped, as designed
}

TEST_F(SuppliedStylesTest, ExportWritesFileThenRemembersChoice) {
  TExportFormatter f(dir.path(), DottedDay);
  f.LoadStyle("csv");
  const fs::path out = dir / "my export.csv";
  const std::vector<const TBmkRec*> records{&second};
  f.Export(records, "Title,\"Last Access\"", out);
  EXPECT_EQ(test::ReadFile(out), "Title,Link,Tags,Description,Created,Modified,Last access,Visited\r\n"
                                 "\"\xC3\x9Cn\xC3\xAF, \"quoted\"\",\"\"\r\n");

  const TExportFormatter reread(dir.path(), DottedDay);
  EXPECT_EQ(reread.Checked(), (std::vector<std::string>{"title", "last access"}));
  EXPECT_EQ(reread.Output(), out);
  EXPECT_EQ(reread.Styles().size(), 3u);  // the rest of the file stays

  // Values the INI reader would strip of quotes or blanks come back whole.
  f.RememberChoice("\"Last Access\"", " /tmp/x.csv ");
  const TExportFormatter again(dir.path(), DottedDay);
  EXPECT_EQ(again.Checked(), (std::vector<std::string>{"last access"}));
  EXPECT_EQ(again.Output(), fs::path(" /tmp/x.csv "));
}

TEST_F(SuppliedStylesTest, FailedWriteLeavesIniAndOldFileAlone) {
  const std::string iniBefore = test::ReadFile(dir / "export.ini");
  const fs::path out = dir / "pf.htm";
  test::WriteFile(out, "old export");
  TExportFormatter f(dir.path(), DottedDay);
  f.LoadStyle("normal html");
  const std::vector<const TBmkRec*> records{&first};
  {
    ScopedWriteFault fault(10);
    EXPECT_THROW(f.Export(records, "desc", out), FileWriteError);
  }
  EXPECT_EQ(test::ReadFile(out), "old export");
  EXPECT_EQ(test::ReadFile(dir / "export.ini"), iniBefore);
  EXPECT_EQ(f.Checked(), (std::vector<std::string>{"title", "link"}));

  // A failed save of the choice keeps the old values in memory as on disk.
  {
    ScopedWriteFault fault(0);
    EXPECT_THROW(f.RememberChoice("desc", out), FileWriteError);
  }
  EXPECT_EQ(f.Checked(), (std::vector<std::string>{"title", "link"}));
  EXPECT_EQ(test::ReadFile(dir / "export.ini"), iniBefore);

  EXPECT_THROW(f.Export(records, "desc", ""), AppError);
  EXPECT_EQ(test::ReadFile(dir / "export.ini"), iniBefore);
}

TEST(ExportFormatter, MissingIniGivesEmptyExport) {
  test::TempDir dir;
  TExportFormatter f(dir.path(), DottedDay);
  EXPECT_TRUE(f.Styles().empty());
  EXPECT_TRUE(f.Titles().empty());
  EXPECT_TRUE(f.Checked().empty());
  EXPECT_EQ(f.Output(), dir / "pf.htm");
  f.LoadStyle("normal html");
  const TBmkRec rec = Record("A", "http://a/");
  const std::vector<const TBmkRec*> records{&rec};
  f.Export(records, "title", f.Output());
  EXPECT_EQ(test::ReadFile(dir / "pf.htm"), "");
  EXPECT_EQ(TExportFormatter(dir.path()).Checked(), (std::vector<std::string>{"title"}));
}

TEST(ExportFormatter, Utf8FlagRepairsInvalidBytes) {
  test::TempDir dir;
  test::WriteFile(dir / "export.ini", "[u]\r\nutf8=1\r\nheader=caf\xE9\r\n[plain]\r\nheader=caf\xE9\r\n");
  TExportFormatter f(dir.path(), DottedDay);
  f.LoadStyle("u");
  EXPECT_EQ(f.FormatAll({}), "caf\xEF\xBF\xBD");
  f.LoadStyle("plain");
  EXPECT_FALSE(f.Utf8());
  EXPECT_EQ(f.FormatAll({}), "caf\xE9");
}

}  // namespace
}  // namespace tessellink
