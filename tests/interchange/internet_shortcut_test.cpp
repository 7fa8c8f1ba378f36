// Internet shortcut files: the Modified value, reading one file into a
// bookmark, the path and bytes of an exported one.
#include "interchange/internet_shortcut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "common/atomic_file.h"
#include "common/errors.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, ms});
}

// Whether some line of the run log ends with the message.
bool Logged(const TRunLog& log, std::string_view message) {
  const std::vector<std::string> lines = log.Lines();
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(message); });
}

// ---------------------------------------------------------------- the Modified value

struct ModifiedCase {
  const char* name;
  TDateTime date;
  const char* text;
};

TEST(ShortcutModified, EncodesAndDecodesBothWays) {
  const ModifiedCase cases[] = {
      {"worked example", At(2008, 8, 1), "0080738A69F3C801DE"},
      {"time of day to the millisecond", At(2008, 8, 1, 10, 20, 30, 500), "40F68E39C0F3C801DE"},
      {"first moment", At(1601, 1, 1), "0000000000000000DE"},
      {"before 1899 with a time of day", At(1800, 1, 1, 12), "0020886BF11ADF00DE"},
      {"last millisecond", At(9999, 12, 31, 23, 59, 59, 999), "F018C0D15E5AC824DE"},
  };
  for (const ModifiedCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncodeShortcutModified(c.date), c.text);
    EXPECT_EQ(DecodeShortcutModified(c.text), c.date);
  }
  EXPECT_EQ(DecodeShortcutModified("0080738a69f3c80177"), At(2008, 8, 1));  // any last pair, either case
  EXPECT_EQ(DecodeShortcutModified("0080738A69F3C801"), At(2008, 8, 1));
  EXPECT_THROW(EncodeShortcutModified(At(1600, 12, 31, 23, 59, 59)), AppError);
}

TEST(ShortcutModified, RefusesMissingOrBadGroups) {
  for (const char* text : {"", "0080738A69F3C8", "0080738A69F3C80", "0080738A69F3CX01DE", " 080738A69F3C801DE",
                           "0x80738A69F3C801DE", "FFFFFFFFFFFFFFFFDE", "0000FFFFFFFFFF7FDE"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(DecodeShortcutModified(text), AppError);
  }
}

// ---------------------------------------------------------------- reading

struct ReadCase {
  const char* file;
  const char* href;
  const char* title;
  const char* modified;
  const char* added;  // nullptr: not set
  bool logged;
};

class ReadShortcutTest : public ::testing::Test {
 protected:
  TempDir dir_;
  TRunLog log_{dir_.path()};
  TXbelBuilder builder_;
};

TEST_F(ReadShortcutTest, FillsTheBookmarkFromEachFixture) {
  const ReadCase cases[] = {
      {"Example.url", "http://www.example.com/", "Example", "2008-08-01T00:00:00Z", "2008-08-01T00:00:00Z", false},
      {"Lower Case.url", "http://lower.example/", "Lower Case", "2008-08-01T00:00:00Z", "2008-08-01T00:00:00Z",
       false},
      {"No Modified.url", "http://no-date.example/", "No Modified", "", "", false},
      {"Malformed.url", "http://bad-date.example/", "Malformed", "0080738A69F3CX01DE", nullptr, true},
      {"Extra Sections.url", "http://extra.example/page", "Extra Sections", "2008-08-01T10:20:30Z",
       "2008-08-01T10:20:30Z", false},
  };
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder_.Root());
  folder.SetTitle("Tips & X");
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path file = test::FixturePath(std::string("favorites/tree/") + c.file);
    TXMLBookmarkType b = TXbelBuilder::AppendBookmark(folder);
    ReadShortcutFile(b, file, &log_);
    EXPECT_EQ(b.Href(), c.href);
    EXPECT_EQ(b.Title(), c.title);
    EXPECT_EQ(b.Modified(), c.modified);
    EXPECT_EQ(static_cast<bool>(b.Node().attribute("added")), c.added != nullptr);
    if (c.added) {
      EXPECT_EQ(b.Added(), c.added);
    }
    EXPECT_EQ(TXbelBuilder::GetMetadata(b, TagsOwnerUri), " Tips");
    EXPECT_EQ(Logged(log_, "   " + file.string()), c.logged);
  }
}

TEST_F(ReadShortcutTest, OddFilesAreLoggedOrRepaired) {
  // Not a file, and a file too big to load back as a bookmark: logged, bookmark left empty.
  fs::create_directory(dir_ / "folder.url");
  test::WriteFile(dir_ / "huge.url", "[InternetShortcut]\r\nURL=http://x/" + std::string(1 << 20, 'a') + "\r\n");
  for (const char* name : {"folder.url", "huge.url"}) {
    TXMLBookmarkType b = TXbelBuilder::AppendBookmark(builder_.Root());
    ReadShortcutFile(b, dir_ / name, &log_);
    EXPECT_TRUE(Logged(log_, (dir_ / name).string())) << name;
    EXPECT_EQ(b.Href(), "") << name;
  }
  // A missing file reads as an empty one, as INI files do.
  TXMLBookmarkType missing = TXbelBuilder::AppendBookmark(builder_.Root());
  ReadShortcutFile(missing, dir_ / "gone.url", &log_);
  EXPECT_EQ(missing.Title(), "gone");
  EXPECT_FALSE(Logged(log_, (dir_ / "gone.url").string()));

  // Bytes that are not UTF-8, in the address and the name, become U+FFFD so the document still loads.
  const fs::path latin1 = dir_ / "caf\xE9.url";
  test::WriteFile(latin1, "[InternetShortcut]\r\nURL=http://caf\xE9.example/\r\n");
  TXMLBookmarkType b = TXbelBuilder::AppendBookmark(builder_.Root());
  ReadShortcutFile(b, latin1, &log_);
  EXPECT_EQ(b.Href(), "http://caf\xEF\xBF\xBD.example/");
  EXPECT_EQ(b.Title(), "caf\xEF\xBF\xBD");
  builder_.SaveDocument(dir_ / "out.xbel", XbelSaveMode::Ordinary);
  EXPECT_NO_THROW(TXbelDocument::Load(dir_ / "out.xbel"));
}

// ---------------------------------------------------------------- paths

TEST(ShortcutPath, CleansNamesAndKeepsEveryPartAPlainName) {
  EXPECT_EQ(SafeFileName("a/b:c?\"*\\<>|%z"), "a_b_c________z");

  const std::string e300 = [] {
    std::string s;
    for (int i = 0; i < 300; ++i) s += "\xC3\xA9";  // é
    return s;
  }();
  struct Case {
    const char* name;
    std::vector<std::string> folders;  // outermost first
    std::string title;
    std::string expected;
  };
  const Case cases[] = {
      {"plain", {}, "Example", "Example.url"},
      {"cleaned title", {}, "a/b:c?", "a_b_c_.url"},
      {"dots in a title stay", {}, "..", "...url"},
      {"empty title", {}, "", ".url"},
      {"folders", {"News", "Tech (old)"}, "x", "News/Tech (old)/x.url"},
      {"dot folders", {"..", ".", ""}, "x", "_/_/_/x.url"},
      {"slashes", {"/", "../../x", "a\\b"}, "../../y", "_/.._.._x/a_b/.._.._y.url"},
      {"long ASCII title", {}, std::string(300, 'x'), std::string(251, 'x') + ".url"},
      {"long title of two-byte characters", {}, e300, e300.substr(0, 250) + ".url"},
      {"long folder", {std::string(300, 'f'), e300}, "x", std::string(255, 'f') + "/" + e300.substr(0, 254) + "/x.url"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TXbelBuilder builder;
    TXMLContainerType parent = builder.Root();
    for (const std::string& title : c.folders) {
      TXMLFolderType folder = TXbelBuilder::AppendFolder(parent);
      folder.SetTitle(title);
      parent = folder;
    }
    TXMLBookmarkType b = TXbelBuilder::AppendBookmark(parent);
    b.SetTitle(c.title);
    const fs::path path = ShortcutPathOf(b);
    EXPECT_EQ(path.string(), c.expected);
    for (const fs::path& part : path) EXPECT_LE(part.string().size(), kMaxFileNameBytes);
  }
}

// ---------------------------------------------------------------- writing

class WriteShortcutTest : public ::testing::Test {
 protected:
  WriteShortcutTest() { SetClockForTesting(&clock_); }
  ~WriteShortcutTest() override { SetClockForTesting(nullptr); }

  TXMLBookmarkType Bookmark(std::string_view title, std::string_view href, std::string_view added) {
    TXMLBookmarkType b = TXbelBuilder::AppendBookmark(builder_.Root());
    b.SetTitle(title);
    b.SetHref(href);
    if (!added.empty()) b.SetAdded(added);
    return b;
  }

  TFixedClock clock_{At(2024, 3, 5, 14, 7, 9), 0.0};
  TempDir dir_;
  TRunLog log_{dir_.path()};
  TXbelBuilder builder_;
  std::vector<std::string> shown_;
  TShowMessage show_ = [this](std::string_view m) { shown_.emplace_back(m); };
};

TEST_F(WriteShortcutTest, WritesThreeLinesWithTheDayOfAdded) {
  const std::string now = EncodeShortcutModified(At(2024, 3, 5, 14, 7, 9));
  struct Case {
    const char* added;
    std::string modified;
  } cases[] = {
      {"2008-08-01T10:20:30Z", "0080738A69F3C801DE"},  // the time of day is dropped
      {"2008-08-01", "0080738A69F3C801DE"},
      {"", now},
      {"2008-08", now},      // too short for a day
      {"2008-13-01", now},   // no such day
      {"1500-01-01", now},   // before what the value can hold
  };
  const fs::path out = dir_ / "out";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.added);
    ASSERT_TRUE(WriteShortcutFile(Bookmark("Example", "http://a/?b=1", c.added), out, &log_, show_));
    EXPECT_EQ(test::ReadFile(out / "Example.url"),
              "[InternetShortcut]\r\nURL=http://a/?b=1\r\nModified=" + c.modified + "\r\n");
  }
  // A line break in the address cannot start a line of its own.
  ASSERT_TRUE(WriteShortcutFile(Bookmark("Broken", "http://a/\r\n[x]\nModified=1", ""), out, &log_, show_));
  EXPECT_EQ(test::ReadFile(out / "Broken.url"),
            "[InternetShortcut]\r\nURL=http://a/  [x] Modified=1\r\nModified=" + now + "\r\n");
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(WriteShortcutTest, FailuresAreLoggedAndReported) {
  test::WriteFile(dir_ / "a file", "x");
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder_.Root());
  folder.SetTitle("Sub");
  TXMLBookmarkType nested = TXbelBuilder::AppendBookmark(folder);
  nested.SetTitle("x");
  EXPECT_FALSE(WriteShortcutFile(nested, dir_ / "a file", &log_, show_));
  EXPECT_EQ(shown_, std::vector<std::string>{"Can not create output directory!"});
  EXPECT_TRUE(Logged(log_, "   Can not create output directory!"));

  {
    ScopedWriteFault fault(4);
    EXPECT_FALSE(WriteShortcutFile(Bookmark("Example", "http://a/", ""), dir_ / "out", &log_, show_));
  }
  const std::vector<std::string> lines = log_.Lines();  // the log could not be saved either
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find(" export to ie error:") != std::string::npos; }));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "Example.url"));
  EXPECT_EQ(shown_.size(), 1u);
}

TEST_F(WriteShortcutTest, NeverWritesThroughALinkOutOfTheOutputFolder) {
  const fs::path out = dir_ / "out", outside = dir_ / "outside";
  fs::create_directories(out);
  fs::create_directories(outside);
  fs::create_directory_symlink(outside, out / "Work");
  fs::create_symlink(outside / "target.url", out / "Top.url");
  TXMLFolderType folder = TXbelBuilder::AppendFolder(builder_.Root());
  folder.SetTitle("Work");
  TXMLBookmarkType inLinkedFolder = TXbelBuilder::AppendBookmark(folder);
  inLinkedFolder.SetTitle("x");
  EXPECT_FALSE(WriteShortcutFile(inLinkedFolder, out, &log_, show_));
  EXPECT_FALSE(WriteShortcutFile(Bookmark("Top", "http://a/", ""), out, &log_, show_));
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_EQ(log_.Lines().size(), 2u);
}

}  // namespace
}  // namespace tessellink
