// Favorites trees: finding files, importing a tree into a document and
// exporting a document as a tree.
#include "interchange/favorites.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "store/date_text.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct CountingProgress : IProgress {
  int64_t steps = 0;
  void SetTotal(int64_t) override {}
  void Advance(int64_t n) override { steps += n; }
};

// The tree as lines: folders as "path/", bookmarks as "path/title = href @ modified".
void Flatten(TXMLContainerType container, const std::string& path, std::vector<std::string>& out) {
  for (pugi::xml_node c = container.Node().first_child(); c; c = c.next_sibling()) {
    if (IsFolderNode(c)) {
      const std::string sub = path + std::string(TXMLFolderType(c).Title()) + "/";
      out.push_back(sub);
      Flatten(TXMLFolderType(c), sub, out);
    } else if (IsBookmarkNode(c)) {
      const TXMLBookmarkType b(c);
      out.push_back(path + std::string(b.Title()) + " = " + std::string(b.Href()) + " @ " + std::string(b.Modified()));
    }
  }
}
std::vector<std::string> Flatten(TXMLContainerType root) {
  std::vector<std::string> out;
  Flatten(root, "", out);
  return out;
}

std::vector<std::string> Relative(const std::vector<fs::path>& paths, const fs::path& base) {
  std::vector<std::string> out;
  for (const fs::path& p : paths) out.push_back(p.lexically_relative(base).string());
  return out;
}

// Every file under the folder, relative to it, sorted.
std::vector<std::string> FilesUnder(const fs::path& folder) {
  std::vector<std::string> out;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) out.push_back(e.path().lexically_relative(folder).string());
  std::sort(out.begin(), out.end());
  return out;
}

fs::path CopyTree(const fs::path& dir) {
  const fs::path tree = dir / "Favorites";
  fs::copy(test::FixturePath("favorites/tree"), tree, fs::copy_options::recursive);
  return tree;
}

const std::vector<std::string> kFixtureShortcuts = {
    ".Dotted.url",    "Example.url",      "Extra Sections.url", "Lower Case.url",
    "Malformed.url",  "No Modified.url",  "Links/Tips.url",     "Nested/Only Folders/Deep.url"};

TEST(FindFiles, MasksAndOrder) {
  const fs::path tree = test::FixturePath("favorites/tree");
  const struct {
    const char* mask;
    std::vector<std::string> found;
  } cases[] = {
      {"*.url", kFixtureShortcuts},
      {"*.URL", kFixtureShortcuts},
      {"example.URL", {"Example.url"}},
      {"*.txt", {"notes.txt"}},
      {"places.sqlite", {}},
  };
  for (const auto& c : cases) {
    std::vector<fs::path> list;
    FindFilesRecursive(list, tree, c.mask);
    EXPECT_EQ(Relative(list, tree), c.found) << c.mask;
  }
  EXPECT_EQ(CountShortcutFiles(tree), 8);
  EXPECT_EQ(CountShortcutFiles(tree / "missing"), 0);
  EXPECT_EQ(FavoritesFolder("/home/u"), fs::path("/home/u/Favorites"));
  EXPECT_EQ(FavoritesFolder(""), fs::path());
}

TEST(FindFiles, WildcardMatching) {
  const struct {
    const char* name;
    const char* mask;
    bool matches;
  } cases[] = {
      {"a.url", "*.url", true},          {"A.URL", "*.url", true},        {"a.url.txt", "*.url", false},
      {"a.urlx", "*.url", false},        {".url", "*.url", true},         {"x", "*", true},
      {"x", "*.*", false},               {"a.b", "*.*", true},            {"\xC3\xA9.url", "?.url", true},
      {"ab.url", "?.url", false},        {"places.sqlite", "places.sqlite", true},
      {"PLACES.SQLITE", "places.sqlite", true},                           {"\xC3\xA9", "\xC3\x89", false},
      {"aXbXc", "a*b*c", true},          {"abc", "a*b*c*d", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.matches) << c.name << " " << c.mask;
}

TEST(FindFiles, FollowsFileLinksButNotFolderLinks) {
  TempDir dir;
  fs::create_directories(dir / "a" / "b");
  test::WriteFile(dir / "a" / "b" / "x.url", "");
  fs::create_directory_symlink(dir.path(), dir / "a" / "b" / "loop");
  fs::create_symlink(dir / "a" / "b" / "x.url", dir / "a" / "link.url");
  fs::create_symlink(dir / "nowhere.url", dir / "a" / "dangling.url");
  std::vector<fs::path> list;
  FindFilesRecursive(list, dir.path(), "*.url");
  EXPECT_EQ(Relative(list, dir.path()), (std::vector<std::string>{"a/link.url", "a/b/x.url"}));
}

// ---------------------------------------------------------------- import

TEST(ImportFavorites, BookmarksBeforeFoldersInNameOrder) {
  TempDir dir;
  const fs::path tree = CopyTree(dir.path());
  // A known change time for one folder; its added date is that moment as local time.
  const time_t stamp = 1217586030;  // 2008-08-01 10:20:30 UTC
  fs::last_write_time(tree / "Links",
                      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(stamp)));
  tm local{};
  localtime_r(&stamp, &local);
  const std::string expectedAdded = DateText(EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                                             local.tm_hour, local.tm_min, local.tm_sec, 0}));

  TRunLog log(dir.path());
  CountingProgress progress;
  TXbelBuilder builder;
  builder.FavoritesPath = tree;
  builder.RunLog = &log;
  builder.Progress = &progress;
  ImportFavorites(builder);

  const std::vector<std::string> expected = {
      ".Dotted = http://hidden-file.example/ @ ",
      "Example = http://www.example.com/ @ 2008-08-01T00:00:00Z",
      "Extra Sections = http://extra.example/page @ 2008-08-01T10:20:30Z",
      "Lower Case = http://lower.example/ @ 2008-08-01T00:00:00Z",
      "Malformed = http://bad-date.example/ @ 0080738A69F3CX01DE",
      "No Modified = http://no-date.example/ @ ",
      "Links/",
      "Links/Tips = http://tips.example/ @ 2008-08-01T00:00:00Z",
      "Nested/",
      "Nested/Only Folders/",
      "Nested/Only Folders/Deep = http://deep.example/ @ ",
  };
  EXPECT_EQ(Flatten(builder.Root()), expected);
  EXPECT_EQ(progress.steps, 8);
  const TXMLFolderType links = builder.Root().Folder()[0];
  EXPECT_EQ(links.Added(), expectedAdded);
  EXPECT_EQ(TXbelBuilder::GetMetadata(links.Bookmark()[0], TagsOwnerUri), " Links");
  ASSERT_EQ(log.Lines().size(), 1u);  // the malformed date
  EXPECT_TRUE(log.Lines()[0].ends_with((tree / "Malformed.url").string()));
}

TEST(ImportFavorites, StopsAtADepthTheDocumentCanStillLoad) {
  TempDir dir;
  fs::path deepest = dir / "Favorites";
  for (int i = 0; i < 520; ++i) deepest /= "d";
  fs::create_directories(deepest);
  test::WriteFile(deepest / "x.url", "[InternetShortcut]\r\nURL=http://deep/\r\n");
  TRunLog log(dir.path());
  TXbelBuilder builder;
  builder.FavoritesPath = dir / "Favorites";
  builder.RunLog = &log;
  ImportFavorites(builder);
  EXPECT_EQ(log.Lines().size(), 1u);
  builder.SaveDocument(dir / "deep.xbel", XbelSaveMode::Ordinary);
  EXPECT_NO_THROW(TXbelDocument::Load(dir / "deep.xbel"));
}

// ---------------------------------------------------------------- export

TEST(ExportFavorites, WritesOneFilePerBookmarkAndNoEmptyFolders) {
  TempDir dir;
  TXbelBuilder source;
  source.FavoritesPath = CopyTree(dir.path());
  ImportFavorites(source);
  TXbelBuilder::AppendFolder(source.Root()).SetTitle("Empty");

  CountingProgress progress;
  source.Progress = &progress;
  const fs::path out = dir / "out";
  const TFavoritesExportResult result = ExportFavorites(source, out);
  EXPECT_EQ(result.Written, 8);
  EXPECT_EQ(result.Skipped, 0);
  EXPECT_EQ(progress.steps, 8);
  EXPECT_EQ(FilesUnder(out), (std::vector<std::string>{".Dotted.url", "Example.url", "Extra Sections.url",
                                                       "Links/Tips.url", "Lower Case.url", "Malformed.url",
                                                       "Nested/Only Folders/Deep.url", "No Modified.url"}));
  EXPECT_FALSE(fs::exists(out / "Empty"));

  // Read back, the tree is the same; the dates are those of the days added.
  TXbelBuilder again;
  again.FavoritesPath = out;
  ImportFavorites(again);
  std::vector<std::string> titles, titlesAgain;
  for (const std::string& line : Flatten(source.Root())) titles.push_back(line.substr(0, line.find(" @ ")));
  for (const std::string& line : Flatten(again.Root())) titlesAgain.push_back(line.substr(0, line.find(" @ ")));
  titles.erase(std::find(titles.begin(), titles.end(), "Empty/"));
  EXPECT_EQ(titlesAgain, titles);
  EXPECT_EQ(again.Root().Bookmark()[2].Modified(), "2008-08-01T00:00:00Z");  // Extra Sections: the day only
}

TEST(ExportFavorites, HostileTitlesStayInsideTheOutputFolder) {
  TempDir dir;
  TXbelBuilder builder;
  const std::string longName(400, 'n');
  std::string greek;
  for (int i = 0; i < 200; ++i) greek += "\xCE\xA9";  // Ω
  const std::vector<std::vector<std::string>> chains = {
      {"..", ".."},
      {"/"},
      {"../../x"},
      {"."},
      {longName, greek},
      {"\xE6\x97\xA5\xE6\x9C\xAC"},
  };
  for (const std::vector<std::string>& chain : chains) {
    TXMLContainerType parent = builder.Root();
    for (const std::string& title : chain) {
      TXMLFolderType folder = TXbelBuilder::AppendFolder(parent);
      folder.SetTitle(title);
      parent = folder;
    }
    for (const std::string& title : {std::string(".."), std::string("../../../escape"), std::string("/"),
                                     longName, greek})
      TXbelBuilder::AppendBookmark(parent).SetTitle(title);
  }
  const fs::path out = dir / "deep" / "out";
  const TFavoritesExportResult result = ExportFavorites(builder, out);
  EXPECT_EQ(result.Written, 30);
  EXPECT_EQ(result.Skipped, 0);

  // Nothing beside the output folder, and every name within the limit.
  for (const std::string& file : FilesUnder(dir.path())) {
    EXPECT_TRUE(file.starts_with("deep/out/")) << file;
    for (const fs::path& part : fs::path(file)) EXPECT_LE(part.string().size(), kMaxFileNameBytes) << file;
  }
  EXPECT_TRUE(fs::exists(out / "_" / "_" / "...url"));
  EXPECT_TRUE(fs::exists(out / ".._.._x" / ".._.._.._escape.url"));
}

}  // namespace
}  // namespace tessellink
