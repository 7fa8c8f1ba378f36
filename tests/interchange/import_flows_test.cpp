// The import and export runs as the wizards and the command-line tool drive them.

#include "interchange/import_flows.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::CopyFixture;
using test::TempDir;
using test::WriteFile;

class CountingProgress : public IProgress {
 public:
  void SetTotal(int64_t total) override { total_ = total; }
  void Advance(int64_t steps) override { done_ += steps; }
  int64_t total_ = 0, done_ = 0;
};

std::vector<std::string> Titles(TXMLContainerType root) {
  std::vector<std::string> titles;
  TXbelBuilder walker;
  void* context = nullptr;
  walker.OnBookmark = [&](TXMLBookmarkType b, void*&) { titles.emplace_back(b.Title()); };
  walker.Walk(root, context);
  return titles;
}

class ImportFlows : public testing::Test {
 protected:
  TInterchangeContext Context() {
    TInterchangeContext c;
    c.dataFolder = data_.path();
    c.home = home_.path();
    c.progress = &progress_;
    return c;
  }
  std::string TargetText() { return target_.Document().SaveText(XbelSaveMode::Ordinary); }

  TempDir data_, home_, work_;
  CountingProgress progress_;
  TXbelBuilder target_;
};

TEST_F(ImportFlows, FirefoxSourceIsChosenByTheExactExtension) {
  // Letter case counts: an HTML export named like a database is read as HTML.
  const fs::path html = work_ / "places.SQLITE";
  fs::copy_file(test::FixturePath("html/firefox_export.html"), html);
  const TImportCounts counts = ImportAndMerge(target_.Root(), ImportSource::Firefox, html, Context());
  EXPECT_EQ(counts.bookmarks, 9);
  EXPECT_EQ(progress_.done_, progress_.total_);

  const fs::path places = CopyFixture("places/firefox_esr_places.sqlite", work_.path());
  const TImportCounts fromPlaces = ImportAndMerge(target_.Root(), ImportSource::Firefox, places, Context());
  EXPECT_GT(fromPlaces.bookmarks, 0);
  EXPECT_TRUE(fs::exists(data_ / "ff3.sqlite"));
}

TEST_F(ImportFlows, UnusableSourcesChangeNothing) {
  TXbelBuilder::AppendBookmark(target_.Root()).SetTitle("kept");
  const std::string before = TargetText();
  WriteFile(work_ / "not_a_database.sqlite", "plain text, not SQLite");
  WriteFile(work_ / "broken.xbel", "<xbel><folder>");
  struct Case {
    ImportSource kind;
    fs::path source;
    std::string message;
  };
  const Case cases[] = {
      {ImportSource::InternetExplorer, work_ / "no-such-folder", std::string(kInvalidDirectoryText)},
      {ImportSource::Firefox, work_ / "missing.sqlite", "Selected bookmark file does not exist."},
      {ImportSource::Places, work_ / "not_a_database.sqlite", "not_a_database"},
      {ImportSource::BookmarkHtml, work_ / "missing.html", "missing.html"},
      {ImportSource::XbelFile, work_ / "broken.xbel", "broken.xbel"},
      {ImportSource::Opera, work_ / "missing.adr", "missing.adr"},
      {ImportSource::Powermarks, work_ / "missing.htm", "missing.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source.string());
    try {
      ImportAndMerge(target_.Root(), c.kind, c.source, Context());
      ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(TargetText(), before);
  }
}

TEST_F(ImportFlows, BrokenBookmarksAreDroppedBeforeTheMerge) {
  WriteFile(work_ / "source.xbel",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\">"
            "<bookmark href=\"href\"><title>placeholder</title></bookmark>"
            "<bookmark href=\"http://a.example/\"><title>real</title></bookmark></xbel>");
  const TImportCounts counts = ImportAndMerge(target_.Root(), ImportSource::XbelFile, work_ / "source.xbel", Context());
  EXPECT_EQ(counts.bookmarks, 1);
  EXPECT_EQ(Titles(target_.Root()), std::vector<std::string>{"real"});
}

TEST_F(ImportFlows, DefaultBrowserImportLooksInTheUsersFolders) {
  struct Case {
    const char* kind;
    void (*prepare)(const fs::path& home);
    bool expectsBookmarks;
  };
  const Case cases[] = {
      {"IE",
       [](const fs::path& home) {
         fs::create_directories(home / "Favorites" / "Links");
         WriteFile(home / "Favorites" / "Links" / "Example.url", "[InternetShortcut]\r\nURL=http://example.com/\r\n");
       },
       true},
      {"FF",
       [](const fs::path& home) {
         const fs::path profile = home / ".mozilla" / "firefox" / "abcd.default-esr";
         fs::create_directories(profile);
         fs::copy_file(test::FixturePath("places/firefox_esr_places.sqlite"), profile / "places.sqlite");
       },
       true},
      {"OP",
       [](const fs::path& home) {
         fs::create_directories(home / ".opera");
         fs::copy_file(test::FixturePath("opera/opera9_hotlist.adr"), home / ".opera" / "opera6.adr");
       },
       true},
      {"IE", [](const fs::path&) {}, false},  // no favorites folder: nothing, no error
      {"", [](const fs::path&) {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    TempDir home;
    c.prepare(home.path());
    TInterchangeContext context = Context();
    context.home = home.path();
    TXbelBuilder builder;
    ImportFromDefaultBrowser(builder, c.kind, context);
    EXPECT_EQ(!Titles(builder.Root()).empty(), c.expectsBookmarks);
  }
}

TEST_F(ImportFlows, ExportsRoundTripThroughEachFormat) {
  fs::copy_file(test::SuppliedDataPath("firefoxheader.txt"), data_ / "firefoxheader.txt");
  target_.LoadDocument(test::FixturePath("xbel/sample.xbel"));
  const std::vector<std::string> original = Titles(target_.Root());
  struct Case {
    ExportTarget to;
    ImportSource back;
    const char* name;
  };
  const Case cases[] = {{ExportTarget::InternetExplorer, ImportSource::InternetExplorer, "favorites"},
                        {ExportTarget::Firefox, ImportSource::BookmarkHtml, "bookmarks.html"},
                        {ExportTarget::Opera, ImportSource::Opera, "opera6.adr"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExportDocument(target_, c.to, work_ / c.name, Context());
    EXPECT_EQ(progress_.total_, static_cast<int64_t>(original.size()));
    TXbelBuilder back;
    const TImportCounts counts = ImportAndMerge(back.Root(), c.back, work_ / c.name, Context());
    EXPECT_EQ(counts.bookmarks, static_cast<int>(original.size()));
  }
  // An empty destination is the wizard's "nothing chosen".
  EXPECT_NO_THROW(ExportDocument(target_, ExportTarget::Firefox, fs::path(), Context()));
}

}  // namespace
}  // namespace tessellink
