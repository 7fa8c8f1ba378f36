#include "store/xbel_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/clock.h"
#include "store/date_text.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::unique_ptr<TXbelDocument> Doc(std::string_view xml) { return TXbelDocument::Parse(xml, "test"); }

// Bookmarks a, b at the top; folder F with c, d, e and subfolder G (with g).
constexpr std::string_view kTree =
    "<xbel><bookmark href='http://a.example'><title>a</title></bookmark>"
    "<bookmark href='http://b.example'><title>b</title></bookmark>"
    "<folder><title>F</title><bookmark href='http://c.example'><title>c</title></bookmark>"
    "<bookmark href='http://d.example'/><bookmark href='http://e.example'/>"
    "<folder><title>G</title><bookmark href='http://G.EXAMPLE'><title>g</title></bookmark></folder>"
    "<alias ref='x'/><separator/></folder></xbel>";

TEST(XbelBuilder, FavoritesPathStartsAtTheUsersFavorites) {
  const char* saved = std::getenv("HOME");
  const std::string home = saved ? saved : "";
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(TXbelBuilder().FavoritesPath, fs::path("/home/someone/Favorites"));
  unsetenv("HOME");
  EXPECT_EQ(TXbelBuilder().FavoritesPath, fs::path());
  if (saved) setenv("HOME", home.c_str(), 1);
}

TEST(XbelBuilder, CountsBookmarksAndFoldersAtAllDepths) {
  TXbelBuilder b;
  b.AdoptDocument(Doc("<xbel><bookmark/><bookmark/><folder><bookmark/><bookmark/><bookmark/><folder/>"
                      "<alias/><separator/></folder></xbel>"));
  EXPECT_EQ(TXbelBuilder::CountItems(b.Root()), 7);
  b.AdoptDocument(Doc(kTree));
  EXPECT_EQ(TXbelBuilder::CountItems(b.Root()), 8);
}

TEST(XbelBuilder, WalkVisitsInDocumentOrderWithTheHandlersThatAreSet) {
  TXbelBuilder b;
  b.AdoptDocument(Doc(kTree));
  std::vector<std::string> seen;
  b.OnFolderLeft = [&](TXMLFolderType f, void*&) { seen.push_back("left " + std::string(f.Title())); };
  void* ctx = nullptr;
  b.Walk(b.Root(), ctx);
  EXPECT_EQ(seen, (std::vector<std::string>{"left G", "left F"}));  // post-order

  seen.clear();
  b.OnBookmark = [&](TXMLBookmarkType bm, void*& c) {
    seen.push_back(std::string(bm.Href()) + " in " + static_cast<const char*>(c));
  };
  static const char kInside[] = "inside";
  b.OnFolderEntered = [&](TXMLFolderType, void*& c) { c = const_cast<char*>(kInside); };
  b.OnFolderLeft = nullptr;
  static const char kTop[] = "top";
  ctx = const_cast<char*>(kTop);
  b.Walk(b.Root(), ctx);
  // The handler replaced the context for the rest of the walk.
  EXPECT_EQ(seen, (std::vector<std::string>{"http://a.example in top", "http://b.example in top",
                                            "http://c.example in inside", "http://d.example in inside",
                                            "http://e.example in inside", "http://G.EXAMPLE in inside"}));
  // With a folder context the folder handler gets that one instead.
  seen.clear();
  static const char kFolderCtx[] = "folder";
  void* folderCtx = const_cast<char*>(kFolderCtx);
  ctx = const_cast<char*>(kTop);
  b.OnFolderEntered = [&](TXMLFolderType, void*& c) { seen.push_back(static_cast<const char*>(c)); };
  b.OnBookmark = nullptr;
  b.Walk(b.Root(), ctx, &folderCtx);
  EXPECT_EQ(seen, (std::vector<std::string>{"folder", "folder"}));
}

TEST(XbelBuilder, RecordsCarryEveryFieldWithEntitiesResolved) {
  TXbelBuilder b;
  b.LoadDocument(test::FixturePath("xbel/sample.xbel"));
  TBmkRecList records;
  b.BuildRecords(records);
  ASSERT_EQ(records.size(), 4u);
  TBmkRec& r = *records[0];
  EXPECT_EQ(r.Title(), "Tom & Jerry «café»");
  EXPECT_EQ(r.Link(), "http://example.com/a?x=1&y=2");
  EXPECT_EQ(r.Tags(), "news sport [Hot]");
  EXPECT_EQ(r.Desc(), "first line\r\nsecond line\r\n");
  EXPECT_EQ(r.Added(), "2008-03-14T09:05:33Z");
  EXPECT_EQ(r.Modified(), "2008-03-14T09:05:33Z");
  EXPECT_EQ(r.LastVisit(), "2008-03-15T10:00:00Z");
  EXPECT_EQ(r.VisitCount, 3);
  EXPECT_EQ(records[1]->Tags(), "reference \"free knowledge\"");  // owner in other letter case
  EXPECT_EQ(records[2]->VisitCount, 0);                          // "many" is not a count
  EXPECT_EQ(records[3]->Tags(), "");                             // no info at all
  EXPECT_EQ(TXbelBuilder::FindRecord(records, records[2]->Bookmark), records[2]);
  EXPECT_EQ(TXbelBuilder::FindRecord(records, TXMLBookmarkType()), nullptr);

  r.Bookmark.SetTitle("Renamed");
  TXbelBuilder::FillRecord(r.Bookmark, *records[0]);
  EXPECT_EQ(records[0]->Title(), "Renamed");
  EXPECT_EQ(records[0]->Tags(), "news sport [Hot]");
}

TEST(XbelBuilder, MetadataReadsAnyCaseButWritesTheExactOwner) {
  TXbelBuilder b;
  b.AdoptDocument(Doc("<xbel><bookmark><info><metadata owner='N-VISIT'>4</metadata></info></bookmark></xbel>"));
  TXMLBookmarkType bm = b.Root().Bookmark()[0];
  EXPECT_EQ(TXbelBuilder::GetMetadata(bm, VisitCountOwner), "4");
  TXbelBuilder::SetMetadata(bm, VisitCountOwner, "5");
  EXPECT_EQ(bm.Info().Count(), 2u);
  EXPECT_EQ(bm.Info().Item(0).Value(), "4");
  EXPECT_EQ(bm.Info().Item(1).Owner(), "n-visit");
  EXPECT_EQ(bm.Info().Item(1).Value(), "5");
  TXbelBuilder::SetMetadata(bm, VisitCountOwner, "6");  // every exact owner changes, none is added
  EXPECT_EQ(bm.Info().Count(), 2u);
  EXPECT_EQ(bm.Info().Item(1).Value(), "6");

  TXMLBookmarkType bare = TXbelBuilder::AppendBookmark(b.Root());
  EXPECT_EQ(TXbelBuilder::GetMetadata(bare, TagsOwnerUri), "");
  TXbelBuilder::SetMetadata(bare, TagsOwnerUri, "a b");
  EXPECT_EQ(TXbelBuilder::GetMetadata(bare, TagsOwnerUri), "a b");
}

TEST(XbelBuilder, FolderPathsUseBackslashes) {
  TXbelBuilder b;
  b.AdoptDocument(Doc(kTree));
  TXMLFolderType f = b.Root().Folder()[0];
  TXMLFolderType g = f.Folder()[0];
  EXPECT_EQ(TXbelBuilder::FolderPathOf(b.Root().Bookmark()[0]), "\\");
  EXPECT_EQ(TXbelBuilder::FolderPathOf(f.Bookmark()[0]), "F\\");
  EXPECT_EQ(TXbelBuilder::FolderPathOf(g.Bookmark()[0]), "F\\G\\");
  EXPECT_EQ(TXbelBuilder::FolderPathOf(g), "F\\");
}

TEST(XbelBuilder, IsUrlLooksForASchemeAnywhereAndAFullStop) {
  struct {
    const char* text;
    bool url;
  } cases[] = {{"http://example.com", true}, {"www.example", true},        {"see http://x.org", true},
               {"HTTPS://A.B", true},        {"http://localhost", false}, {"example.com", false},
               {"mailto:a@b.c", true},       {"file:///tmp/a.txt", true}, {"", false}};
  for (const auto& c : cases) EXPECT_EQ(TXbelBuilder::IsUrl(c.text), c.url) << c.text;
}

TEST(XbelBuilder, AppendsAndRemovesItems) {
  TXbelBuilder b;
  b.AdoptDocument(Doc("<xbel><folder><title>F</title></folder><separator/></xbel>"));
  TXMLFolderType added = TXbelBuilder::AppendFolder(b.Root());
  EXPECT_EQ(added.Title(), "New folder");
  TXMLBookmarkType bm = TXbelBuilder::AppendBookmark(added);
  bm.SetHref("http://x.example");
  // New children go after every existing child, of any kind.
  EXPECT_EQ(std::string(b.Root().Node().last_child().name()), "folder");
  EXPECT_EQ(b.Root().Node().last_child(), added.Node());
  TXbelBuilder::RenameFolder(added, "  Renamed  ");
  EXPECT_EQ(added.Title(), "Renamed");
  TXbelBuilder::RemoveNode(added);
  EXPECT_EQ(TXbelBuilder::CountItems(b.Root()), 1);
}

TEST(XbelBuilder, PasteCopiesWithRecordsAndMovesToTheEnd) {
  TXbelBuilder b;
  b.AdoptDocument(Doc(kTree));
  TBmkRecList records;
  b.BuildRecords(records);
  TXMLFolderType f = b.Root().Folder()[0];

  std::vector<TXMLBookmarkType> list{b.Root().Bookmark()[0], b.Root().Bookmark()[1]};
  b.PasteBookmarks(list, f, PasteMode::Copy, records);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(records.size(), 8u);
  EXPECT_EQ(records[7]->Title(), "b");
  EXPECT_EQ(TXbelBuilder::FolderPathOf(records[7]->Bookmark), "F\\");
  EXPECT_EQ(b.Root().Bookmark().Count(), 2u);

  // Moving bookmarks into their own folder puts each of them at its end.
  std::vector<TXMLBookmarkType> own{f.Bookmark()[0], f.Bookmark()[1]};
  b.PasteBookmarks(own, f, PasteMode::Move, records);
  std::vector<std::string> order;
  f.Bookmark().ForEach([&](TXMLBookmarkType x) { order.emplace_back(x.Href()); });
  EXPECT_EQ(order, (std::vector<std::string>{"http://e.example", "http://a.example", "http://b.example",
                                             "http://c.example", "http://d.example"}));
  EXPECT_EQ(records.size(), 8u);
}

TEST(XbelBuilder, RemovesOnlyBrokenBookmarksWithChildren) {
  TXbelBuilder b;
  b.AdoptDocument(Doc("<xbel><bookmark href='href'><title>broken</title></bookmark><bookmark href='href'/>"
                      "<folder><bookmark href='href'><desc/></bookmark><bookmark href='HREF'><title/></bookmark>"
                      "</folder></xbel>"));
  std::vector<TXMLBookmarkType> removed;
  b.RemoveBrokenBookmarks(removed);
  EXPECT_EQ(removed.size(), 2u);
  EXPECT_EQ(TXbelBuilder::CountItems(b.Root()), 3);
}

TEST(XbelBuilder, CollectsAllOrOnlyUnsharedBookmarks) {
  TXbelBuilder b;
  b.LoadDocument(test::FixturePath("xbel/sample.xbel"));
  std::vector<TXMLBookmarkType> all, unshared;
  b.CollectBookmarks(b.Root(), all, CollectMode::All);
  b.CollectBookmarks(b.Root(), unshared, CollectMode::UnsharedOnly);
  EXPECT_EQ(all.size(), 4u);
  EXPECT_EQ(unshared.size(), 3u);
  EXPECT_FALSE(b.OnBookmark);  // handlers are cleared after the walk
}

TEST(XbelBuilder, IndexFindsTheFirstAddressIgnoringCase) {
  TXbelBuilder b;
  b.AdoptDocument(Doc("<xbel><bookmark href='http://Dup.example'/><folder><bookmark href='http://dup.EXAMPLE'/>"
                      "</folder><bookmark href='http://café.example/É'/></xbel>"));
  TAddressIndex index;
  b.IndexByAddress(index);
  EXPECT_EQ(index.size(), 3u);
  EXPECT_EQ(index.IndexOf("HTTP://DUP.EXAMPLE"), 0);
  EXPECT_EQ(index.Find("http://dup.example")->Bookmark, b.Root().Bookmark()[0]);
  EXPECT_EQ(index.IndexOf("http://CAFÉ.example/é"), 2);
  EXPECT_EQ(index.Find("http://other"), nullptr);
}

TEST(XbelBuilder, MailListingHasTheLinesOfEveryBookmark) {
  TXbelBuilder b;
  b.AdoptDocument(Doc("<xbel><bookmark href='http://a'><title>A</title><desc>note</desc></bookmark>"
                      "<folder><bookmark href='http://b'><title>B</title></bookmark></folder></xbel>"));
  EXPECT_EQ(b.MailListing(b.Root()),
            "A%0a\r\nhttp://a%0a\r\nDesc:note%0a\r\n%0a\r\nB%0a\r\nhttp://b%0a\r\n%0a\r\n");
}

TEST(XbelBuilder, RecordVisitCountsAndSavesAtOnce) {
  TempDir dir;
  const fs::path file = test::CopyFixture("xbel/sample.xbel", dir.path());
  const TDateTime when = EncodeDateTime({2024, 2, 29, 23, 59, 58, 0});
  TFixedClock clock(when, when - 1.0 / 24);
  SetClockForTesting(&clock);
  TXbelBuilder b;
  b.LoadDocument(file);
  TBmkRecList records;
  b.BuildRecords(records);
  b.RecordVisit(*records[2], file);  // its "n-visit" was not a number
  SetClockForTesting(nullptr);
  EXPECT_EQ(records[2]->VisitCount, 1);
  EXPECT_EQ(records[2]->LastVisit(), "2024-02-29T23:59:58Z");

  TXbelBuilder reread;
  reread.LoadDocument(file);
  TBmkRecList again;
  reread.BuildRecords(again);
  EXPECT_EQ(again[2]->VisitCount, 1);
  EXPECT_EQ(again[2]->LastVisit(), "2024-02-29T23:59:58Z");
}

TEST(XbelBuilder, AttachedDocumentIsSharedNotOwned) {
  TXbelDocument doc;
  {
    TXbelBuilder b;
    b.AttachDocument(doc);
    TXbelBuilder::AppendBookmark(b.Root()).SetHref("x");
  }
  EXPECT_EQ(doc.Root().Bookmark()[0].Href(), "x");
}

}  // namespace
}  // namespace tessellink
