// Firefox places databases: conversion into a document, finding and copying them.
#include "interchange/places_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <zlib.h>

#include <stdexcept>
#include <string>

#include "common/errors.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

// Firefox's two tables with only the columns the conversion reads.
constexpr const char* kSchema =
    "create table moz_places(id integer primary key, url text, visit_count integer);"
    "create table moz_bookmarks(id integer primary key, type integer, parent integer, title text, fk integer,"
    " dateAdded integer, lastModified integer);";

class TDatabase {
 public:
  explicit TDatabase(const fs::path& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("cannot open " + file.string());
  }
  ~TDatabase() { sqlite3_close(db_); }
  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(message + " in " + sql);
    }
  }

 private:
  sqlite3* db_ = nullptr;
};

fs::path MakePlaces(const fs::path& file, const std::string& rows, const char* schema = kSchema) {
  TDatabase db(file);
  db.Exec(schema);
  db.Exec(rows);
  return file;
}

// One line per element, indented two blanks per level, with every metadata item.
void Dump(std::string& out, TXMLContainerType container, int depth) {
  for (pugi::xml_node child = container.Node().first_child(); child; child = child.next_sibling()) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (IsFolderNode(child)) {
      out += indent + "F " + std::string(TXMLFolderType(child).Title());
      if (child.first_attribute()) out += " (attributes!)";
      out += "\n";
      Dump(out, TXMLFolderType(child), depth + 1);
    } else if (IsBookmarkNode(child)) {
      const TXMLBookmarkType b(child);
      out += indent + "B " + std::string(b.Title()) + " " + std::string(b.Href()) + " " + std::string(b.Added()) +
             " " + std::string(b.Modified());
      b.Info().ForEach([&](TXMLMetadataType m) { out += " [" + std::string(m.Owner()) + "=" + std::string(m.Value()) + "]"; });
      out += "\n";
    }
  }
}

std::string Dump(TXMLContainerType root) {
  std::string out;
  Dump(out, root, 0);
  return out;
}

// The gzip-compressed fixture inflated into `folder` under its name less ".gz".
fs::path InflateFixture(const std::string& relative, const fs::path& folder) {
  const fs::path source = test::FixturePath(relative);
  gzFile in = gzopen(source.c_str(), "rb");
  if (!in) throw std::runtime_error("cannot open " + source.string());
  std::string bytes;
  char buffer[1 << 16];
  int n;
  while ((n = gzread(in, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
  gzclose(in);
  if (n < 0) throw std::runtime_error("cannot inflate " + source.string());
  const fs::path target = folder / source.stem();
  test::WriteFile(target, bytes);
  return target;
}

struct CountingProgress : IProgress {
  int64_t total = -1;
  int64_t done = 0;
  void SetTotal(int64_t t) override { total = t; }
  void Advance(int64_t steps) override { done += steps; }
};

// The saved document must load again, or the import would leave a file that cannot be opened.
void ExpectSavesAndLoads(const TFF3Converter& converter, const fs::path& folder) {
  converter.Document().Save(folder / "check.xbel", XbelSaveMode::Ordinary);
  EXPECT_NO_THROW(TXbelDocument::Load(folder / "check.xbel"));
}

TEST(PlacesConvert, MapsFoldersBookmarksDatesAndVisits) {
  test::TempDir dir;
  const fs::path file = MakePlaces(dir / "places.sqlite",
      "insert into moz_places values (1,'http://b/',3),(2,'http://zero/',0),(3,'http://null/',NULL),"
      " (4,'http://untitled/',9),(5,cast(x'687474703a2f2f78ff2f' as text),1);"
      "insert into moz_bookmarks values"
      " (1,2,0,'',NULL,1,1),(2,2,1,'menu',NULL,5,5),(3,2,1,'toolbar',NULL,5,5),"
      " (10,2,2,'A',NULL,5,5),(11,2,10,'B',NULL,5,5),"
      " (20,1,11,'in B',1,1217548800000000,1217548800999999),"
      " (21,1,2,'zero visits',2,1217548800999999,NULL),"
      " (22,1,3,'Ünïcødé ✓ 日本 & \"q\"',3,NULL,-1500000),"
      " (23,1,2,'',4,5,5),(24,1,2,NULL,4,5,5),(30,3,2,NULL,NULL,5,5),"
      " (25,1,99,'orphan',5,0,0),"
      " (12,2,2,'late sibling',NULL,5,5),(13,2,77,'no parent',NULL,5,5),(14,2,NULL,'null parent',NULL,5,5);");
  CountingProgress progress;
  TFF3Converter converter;
  converter.SetProgress(&progress);
  const TXMLXbelType root = converter.Convert(file);
  EXPECT_EQ(root, converter.Document().Root());
  EXPECT_EQ(Dump(root),
            "F menu\n"
            "  F A\n"
            "    F B\n"
            "      B in B http://b/ 2008-08-01T00:00:00Z 2008-08-01T00:00:00Z [n-visit=3]\n"
            "  F late sibling\n"
            "  B zero visits http://zero/ 2008-08-01T00:00:00Z 1970-01-01T00:00:00Z [n-visit=0]\n"
            "F toolbar\n"
            "  B Ünïcødé ✓ 日本 & \"q\" http://null/ 1970-01-01T00:00:00Z 1969-12-31T23:59:59Z [n-visit=]\n"
            "F no parent\n"
            "F null parent\n"
            "B orphan http://x\xEF\xBF\xBD/ 1970-01-01T00:00:00Z 1970-01-01T00:00:00Z [n-visit=1]\n");
  EXPECT_EQ(progress.total, 4);
  EXPECT_EQ(progress.done, 4);
  EXPECT_EQ(converter.FolderRecords().size(), 7u);
  ASSERT_EQ(converter.BookmarkRecords().size(), 4u);
  EXPECT_EQ(converter.BookmarkRecords()[0].id, "20");
  EXPECT_EQ(converter.BookmarkRecords()[0].parent, "11");
  EXPECT_EQ(converter.FindFolderRecord("11").Title(), "B");
  EXPECT_FALSE(converter.FindFolderRecord("1"));
  ExpectSavesAndLoads(converter, dir.path());
}

TEST(PlacesConvert, HostileHierarchyNeverLoopsAndFirstIdWins) {
  test::TempDir dir;
  // No primary key, so ids can repeat; links form loops.
  const fs::path file = MakePlaces(dir / "loops.sqlite",
      "insert into moz_places values (1,'http://in-x/',0);"
      "insert into moz_bookmarks values (5,2,6,'X',NULL,0,0),(6,2,5,'Y',NULL,0,0),(7,2,7,'Self',NULL,0,0),"
      " (8,2,5,'Under X',NULL,0,0),(5,2,0,'second five',NULL,0,0),(9,2,5,'nine',NULL,0,0),"
      " (40,1,5,'bookmark',1,0,0);",
      "create table moz_places(id integer, url text, visit_count integer);"
      "create table moz_bookmarks(id integer, type integer, parent integer, title text, fk integer,"
      " dateAdded integer, lastModified integer);");
  TFF3Converter converter;
  EXPECT_EQ(Dump(converter.Convert(file)),
            "F Y\n"
            "  F X\n"
            "    F Under X\n"
            "    F nine\n"
            "    B bookmark http://in-x/ 1970-01-01T00:00:00Z 1970-01-01T00:00:00Z [n-visit=0]\n"
            "F Self\n"
            "F second five\n");
  EXPECT_EQ(converter.FindFolderRecord("5").Title(), "X");
  ExpectSavesAndLoads(converter, dir.path());
}

TEST(PlacesConvert, HostileSizesStayLoadable) {
  test::TempDir dir;
  // Children listed before their parents, far deeper than a bookmark file may nest;
  // texts that would pass the loader's limit for one text once escaped.
  std::string rows =
      "insert into moz_places values (1,'http://deep/',0),(2,replace(hex(zeroblob(300000)),'00','\"'),0);"
      "insert into moz_bookmarks values (100000,1,1,'long address',2,0,0),"
      " (100001,1,1,replace(hex(zeroblob(300000)),'00','<'),1,0,0),";
  constexpr int kFolders = 20000;
  for (int id = 1; id <= kFolders; ++id)
    rows += "(" + std::to_string(id) + ",2," + std::to_string(id + 1) + ",'f" + std::to_string(id) + "',NULL,0,0),";
  rows += "(" + std::to_string(kFolders + 1) + ",1,1,'deepest',1,9000000000000000000,0);";
  const fs::path file = MakePlaces(dir / "deep.sqlite", rows);
  TFF3Converter converter;
  const TXMLXbelType root = converter.Convert(file);
  EXPECT_EQ(TXbelBuilder::CountItems(root), kFolders + 2);
  ASSERT_EQ(converter.BookmarkRecords().size(), 2u);
  const TXMLBookmarkType longTitle = converter.BookmarkRecords()[1].bookmark;
  EXPECT_GT(longTitle.Title().size(), 100000u);
  EXPECT_LT(longTitle.Title().size(), 300000u);
  const TXMLBookmarkType deepest = converter.BookmarkRecords()[0].bookmark;
  EXPECT_EQ(TXMLFolderType(deepest.Node().parent()).Title(), "f1");
  EXPECT_FALSE(deepest.Node().attribute("added"));  // beyond the year 9999: left out
  ExpectSavesAndLoads(converter, dir.path());
}

TEST(PlacesConvert, UnusableDatabasesFailClearlyAndImportNothing) {
  test::TempDir dir;
  test::WriteFile(dir / "text.sqlite", "this is not a database, only text that is long enough to have a header");
  MakePlaces(dir / "empty.sqlite", "select 1;", "create table other(x);");
  MakePlaces(dir / "half.sqlite", "insert into moz_bookmarks values (2,2,1,'menu',NULL,0,0);",
             "create table moz_bookmarks(id integer primary key, type integer, parent integer, title text,"
             " fk integer, dateAdded integer, lastModified integer);");
  const struct {
    const char* file;
    std::string expected1, expected2;
  } cases[] = {
      {"missing.sqlite", "unable to open database file", "missing.sqlite"},
      {"text.sqlite", "file is not a database", kPlacesFolderQuery},
      {"empty.sqlite", "no such table: moz_bookmarks", kPlacesFolderQuery},
      {"half.sqlite", "no such table: moz_places", kPlacesCountQuery},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TFF3Converter converter;
    try {
      converter.Convert(dir / c.file);
      ADD_FAILURE() << "no error";
    } catch (const FileReadError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find((dir / c.file).string()), std::string::npos) << message;
      EXPECT_NE(message.find(c.expected1), std::string::npos) << message;
      EXPECT_NE(message.find(c.expected2), std::string::npos) << message;
    }
    EXPECT_FALSE(converter.Document().Root().Node().first_child());
    EXPECT_TRUE(converter.FolderRecords().empty());
  }
  EXPECT_FALSE(fs::exists(dir / "missing.sqlite"));  // read-only: nothing created
}

TEST(PlacesConvert, ReadsAFirefoxProfileDatabase) {
  test::TempDir dir;
  const fs::path file = test::CopyFixture("places/firefox_esr_places.sqlite", dir.path());
  TFF3Converter converter;
  EXPECT_EQ(Dump(converter.Convert(file)),
            "F menu\n"
            "  F Mozilla Firefox\n"
            "    B Get Help https://support.mozilla.org/products/firefox 2026-12-11T04:21:26Z 2026-12-11T04:21:26Z [n-visit=0]\n"
            "    B Customize Firefox https://support.mozilla.org/kb/customize-firefox-controls-buttons-and-toolbars"
            "?utm_source=firefox-browser&utm_medium=default-bookmarks&utm_campaign=customize "
            "2026-12-11T04:21:26Z 2026-12-11T04:21:26Z [n-visit=0]\n"
            "    B Get Involved https://www.mozilla.org/contribute/ 2026-12-11T04:21:26Z 2026-12-11T04:21:26Z [n-visit=0]\n"
            "    B About Us https://www.mozilla.org/about/ 2026-12-11T04:21:26Z 2026-12-11T04:21:26Z [n-visit=0]\n"
            "  F Outer & Co\n"
            "    F Inner \"quoted\" <folder>\n"
            "      B Café ✓ 日本語 & \"more\" https://example.com/caf%C3%A9?a=1&b=2 "
            "2008-08-01T00:00:00Z 2008-08-01T00:00:01Z [n-visit=0]\n"
            "    B Second in Outer http://example.org/path?x=%22y%22 2009-01-01T00:00:00Z 2009-01-01T00:00:00Z [n-visit=0]\n"
            "  B Menu bookmark https://www.mozilla.org/ 2010-01-01T00:00:00Z 2010-01-01T00:00:00Z [n-visit=0]\n"
            "F toolbar\n"
            "  F Toolbar «links»\n"
            "    B Visited three times https://visited.example/ 2011-01-01T00:00:00Z 2011-01-01T00:00:00Z [n-visit=3]\n"
            "F tags\n"
            "  F mozilla\n"
            "F unfiled\n"
            "F mobile\n");
  ExpectSavesAndLoads(converter, dir.path());
}

// ---------------------------------------------------------------- copying

TEST(PlacesCopy, CopyTakesRowsStillInTheWriteAheadLog) {
  test::TempDir profile, data, mainOnly;
  const fs::path source = profile / "places.sqlite";
  TDatabase firefox(source);  // stays open, as a running Firefox would
  firefox.Exec("pragma journal_mode=wal; pragma wal_autocheckpoint=0;");
  firefox.Exec(kSchema);
  firefox.Exec("insert into moz_bookmarks values (2,2,1,'menu',NULL,0,0); pragma wal_checkpoint(truncate);");
  firefox.Exec("insert into moz_places values (1,'http://only-in-wal/',2);"
               "insert into moz_bookmarks values (3,1,2,'new',1,0,0);");
  ASSERT_GT(fs::file_size(profile / "places.sqlite-wal"), 0u);

  test::WriteFile(data / "ff3.sqlite-wal", "stale");
  const fs::path copy = CopyPlacesDatabase(source, data.path());
  EXPECT_EQ(copy, data / "ff3.sqlite");
  EXPECT_EQ(test::ReadFile(data / "ff3.sqlite-wal"), test::ReadFile(profile / "places.sqlite-wal"));
  EXPECT_TRUE(fs::exists(data / "ff3.sqlite-shm"));
  TFF3Converter converter;
  EXPECT_EQ(Dump(converter.Convert(copy)),
            "F menu\n  B new http://only-in-wal/ 1970-01-01T00:00:00Z 1970-01-01T00:00:00Z [n-visit=2]\n");

  // The database file alone does not have the row yet.
  fs::copy_file(source, mainOnly / "places.sqlite");
  EXPECT_EQ(Dump(converter.Convert(mainOnly / "places.sqlite")), "F menu\n");

  // A later copy of a database without a log must not pick up the old one.
  const fs::path plain = MakePlaces(mainOnly / "plain.sqlite", "insert into moz_bookmarks values (2,2,1,'plain',NULL,0,0);");
  CopyPlacesDatabase(plain, data.path());
  EXPECT_FALSE(fs::exists(data / "ff3.sqlite-wal"));
  EXPECT_FALSE(fs::exists(data / "ff3.sqlite-shm"));
  EXPECT_EQ(Dump(converter.Convert(copy)), "F plain\n");
}

TEST(PlacesCopy, CopyOfARunningFirefoxProfileHasItsLatestBookmark) {
  test::TempDir profile, data, mainOnly;
  for (const char* name : {"places.sqlite", "places.sqlite-wal", "places.sqlite-shm"})
    InflateFixture(std::string("places/running_firefox/") + name + ".gz", profile.path());
  TFF3Converter converter;
  converter.Convert(CopyPlacesDatabase(profile / "places.sqlite", data.path()));
  ASSERT_EQ(converter.BookmarkRecords().size(), 9u);
  EXPECT_EQ(converter.BookmarkRecords().back().bookmark.Title(), "Added while running");
  EXPECT_EQ(TXMLFolderType(converter.BookmarkRecords().back().bookmark.Node().parent()).Title(), "menu");

  fs::copy_file(profile / "places.sqlite", mainOnly / "places.sqlite");
  converter.Convert(mainOnly / "places.sqlite");
  EXPECT_EQ(converter.BookmarkRecords().size(), 8u);
}

TEST(PlacesCopy, FailuresCarryTheWizardTexts) {
  test::TempDir dir;
  const fs::path source = MakePlaces(dir / "places.sqlite", "select 1;");
  test::WriteFile(dir / "not-a-folder", "x");
  const struct {
    fs::path source, dataFolder;
    const char* message;
  } cases[] = {
      {dir / "missing.sqlite", dir.path(), "Selected bookmark file does not exist."},
      {dir.path(), dir.path(), "Selected bookmark file does not exist."},
      {source, dir / "not-a-folder", "Copy file failed."},
      {source, dir / "no" / "folder", "Copy file failed."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source.string() + " -> " + c.dataFolder.string());
    try {
      CopyPlacesDatabase(c.source, c.dataFolder);
      ADD_FAILURE() << "no error";
    } catch (const PlacesCopyError& e) {
      EXPECT_STREQ(e.what(), c.message);
      EXPECT_FALSE(e.Reason().empty());
    }
  }
  // Copying the copy onto itself leaves it whole.
  const fs::path copy = CopyPlacesDatabase(source, dir.path());
  EXPECT_EQ(CopyPlacesDatabase(copy, dir.path()), copy);
  EXPECT_EQ(test::ReadFile(copy), test::ReadFile(source));
}

TEST(PlacesSearch, FirstProfileRootThatHoldsOneInSortedOrder) {
  test::TempDir home;
  EXPECT_EQ(FindPlacesFile(home.path()), fs::path());
  const fs::path flatpak = home / ".var/app/org.mozilla.firefox/.mozilla/firefox";
  const fs::path snap = home / "snap/firefox/common/.mozilla/firefox";
  const fs::path plain = home / ".mozilla/firefox";
  fs::create_directories(flatpak / "x.default");
  test::WriteFile(flatpak / "x.default/places.sqlite", "");
  EXPECT_EQ(FindPlacesFile(home.path()), flatpak / "x.default/places.sqlite");
  fs::create_directories(snap / "b.default");
  fs::create_directories(snap / "a.default/sub");
  test::WriteFile(snap / "b.default/places.sqlite", "");
  test::WriteFile(snap / "a.default/sub/places.sqlite", "");
  EXPECT_EQ(FindPlacesFile(home.path()), snap / "a.default/sub/places.sqlite");
  fs::create_directories(plain / "Crash Reports");
  EXPECT_EQ(FindPlacesFile(home.path()), snap / "a.default/sub/places.sqlite");
  fs::create_directories(plain / "z.default-esr");
  test::WriteFile(plain / "z.default-esr/places.sqlite", "");
  EXPECT_EQ(FindPlacesFile(home.path()), plain / "z.default-esr/places.sqlite");
}

}  // namespace
}  // namespace tessellink
