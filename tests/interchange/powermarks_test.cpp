// Powermarks export files into a document.
#include "interchange/powermarks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "common/errors.h"
#include "common/text.h"
#include "interchange/bookmark_html.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

TLogStampFormat FixedStamp() {
  return {[](const DateTimeFields&) { return std::string("D"); }, [](const DateTimeFields&) { return std::string("T"); }};
}

std::string Dump(const TXbelBuilder& builder) {
  std::string out;
  for (pugi::xml_node child = builder.Root().Node().first_child(); child; child = child.next_sibling()) {
    if (!IsBookmarkNode(child)) {
      out += "? " + std::string(child.name()) + "\n";
      continue;
    }
    const TXMLBookmarkType b(child);
    out += std::string(b.Title()) + " | " + std::string(b.Href());
    for (const char* name : {"added", "visited", "modified"})
      if (pugi::xml_attribute a = child.attribute(name)) out += std::string(" ") + name + "=" + a.value();
    if (child.child("desc")) out += " desc=" + std::string(b.Desc());
    if (b.Info()) {
      b.Info().ForEach([&](TXMLMetadataType m) {
        out += " [" + std::string(m.Owner() == TagsOwnerUri ? "tags" : m.Owner()) + "=" + std::string(m.Value()) + "]";
      });
    }
    out += "\n";
  }
  return out;
}

class CountingProgress : public IProgress {
 public:
  void SetTotal(int64_t) override {}
  void Advance(int64_t steps) override { count += steps; }
  int64_t count = 0;
};

class PowermarksTest : public ::testing::Test {
 protected:
  PowermarksTest() : log_(dir_ / "logs", FixedStamp()) {
    fs::create_directories(dir_ / "logs");
    builder_.RunLog = &log_;
  }
  bool Logged(std::string_view text) const {
    const auto lines = log_.Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return Contains(l, text, false); });
  }
  std::string Import(std::string_view text) {
    test::WriteFile(dir_ / "in.html", text);
    ImportPowermarks(builder_, dir_ / "in.html");
    return Dump(builder_);
  }

  test::TempDir dir_;
  TRunLog log_;
  TXbelBuilder builder_;
};

TEST_F(PowermarksTest, ImportsTheSampleFile) {
  const fs::path file = test::CopyFixture("powermarks/sample.pmk.html", dir_.path());
  CountingProgress progress;
  builder_.Progress = &progress;
  ImportPowermarks(builder_, file);
  EXPECT_EQ(Dump(builder_),
            "Example & News | http://www.example.com/news?a=1&b=2 added=2011-08-29T05:56:16Z "
            "visited=2011-08-29T21:09:20Z modified=2011-08-30T16:29:52Z desc=Daily news \"digest\" "
            "[tags=news daily] [n-visit=31]\n"
            "Secure | HTTPS://secure.example.com/ added=2011-08-29T05:56:16Z modified=2011-08-29T05:56:16Z "
            "[tags=late keywords]\n"
            "Bad record | http://bad.example.com/ desc=still open\n");
  EXPECT_EQ(progress.count, 5);  // the ftp and the nested anchors count too
  EXPECT_EQ(CountAnchors(file), 5);
  EXPECT_TRUE(Logged("import powermarks: geth error:no list for the entry <A HREF=\"http://nested.example.com/\">"));
  EXPECT_TRUE(Logged("import powermarks: geth error:'XYZ' is not a valid integer value <!--mdata=[0,XYZ"));
  EXPECT_EQ(log_.Lines().size(), 2u);
}

TEST_F(PowermarksTest, TextsAreRepairedAndTitlesFallBack) {
  const std::string tree = Import(
      "<DL><DT><A HREF=\"http://a/\">Caf\xE9</A>\r\n<!--desc-->x\xFFy\r\n"
      "<DT><A HREF=\"http://b/\"></A>\r\n<!--keywords-->"
      "<DT><A HREF=\"http\">four letters</A>"
      "<DT><A HREF=\"htt\">too short</A></DL>");
  EXPECT_EQ(tree,
            "Caf\xEF\xBF\xBD | http://a/ desc=x\xEF\xBF\xBDy\n"
            "\r\n | http://b/\n"
            // Keywords expected and no text until the next entry: its title serves as both.
            "four letters | http [tags=four letters]\n");
  builder_.SaveDocument(dir_ / "saved.xbel", XbelSaveMode::Ordinary);
  EXPECT_NO_THROW(TXbelDocument::Load(dir_ / "saved.xbel"));
}

TEST_F(PowermarksTest, SurplusCloseIsLogged) {
  const std::string tree = Import("</DL></DL><DT><A HREF=\"http://a/\">a</A>");
  EXPECT_EQ(tree, "");
  EXPECT_TRUE(Logged("import powermarks: geth error:no open list to close </DL>"));
  EXPECT_TRUE(Logged("import powermarks: geth error:no list for the entry"));
}

TEST_F(PowermarksTest, UnreadableFileThrows) {
  EXPECT_THROW(ImportPowermarks(builder_, dir_ / "missing.html"), FileReadError);
  EXPECT_EQ(builder_.Root().Bookmark().Count(), 0u);
}

TEST(PowermarksMetadata, SplitsTheRecord) {
  EXPECT_EQ(SplitMetadata("<!--mdata=[0,4E5B2A00,,3]-->"), (std::vector<std::string>{"0", "4E5B2A00", "", "3", ""}));
  EXPECT_EQ(SplitMetadata("<!--mdata=[[a] b]-->"), (std::vector<std::string>{"a", "b", ""}));
}

TEST(PowermarksMetadata, ReadsHexadecimalSeconds) {
  EXPECT_EQ(HexSecondsToDate("4E5B2A00"), 1314597376);
  EXPECT_EQ(HexSecondsToDate("1f"), 31);
  EXPECT_EQ(HexSecondsToDate("FFFFFFFF"), 4294967295);  // a count, so never before 1970
  for (const char* bad : {"", "XYZ", "100000000", "-1", " 1"}) EXPECT_THROW(HexSecondsToDate(bad), AppError) << bad;
}

}  // namespace
}  // namespace tessellink
