#include "store/bundles.h"

#include <gtest/gtest.h>

#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Items(const TBundle& b) { return b.Tags; }

// Saves the document to a file and loads it again, as reopening does.
std::unique_ptr<TXbelDocument> Reopen(const TXbelDocument& doc, const fs::path& file) {
  doc.Save(file, XbelSaveMode::Ordinary);
  return TXbelDocument::Load(file);
}

TEST(Bundles, ANewBundleFollowsItsTitleAndIsWrittenWithCrLf) {
  TXbelDocument doc;
  TBundleList list;
  list.Add("Daily");
  SaveBundles(list, doc.Root());
  const std::string text = doc.SaveText(XbelSaveMode::Ordinary);
  EXPECT_NE(text.find("<info><metadata owner=\"bundle\"><bundle title=\"Daily\">Daily\r\n</bundle></metadata></info>"),
            std::string::npos)
      << text;
}

TEST(Bundles, OneLineOfTagsBecomesTwoItemsAfterReopening) {
  test::TempDir dir;
  TXbelDocument doc;
  TBundleList list;
  TBundle* b = list.Add("Daily");
  b->SetTagsFromText("news sport");
  EXPECT_EQ(Items(*b), std::vector<std::string>{"news sport"});
  SaveBundles(list, doc.Root());
  auto reopened = Reopen(doc, dir / "b.xbel");
  TBundleList loaded;
  LoadBundles(loaded, reopened->Root().Node());
  ASSERT_EQ(loaded.Count(), 1u);
  EXPECT_EQ(loaded.Item(0)->Title, "Daily");
  EXPECT_EQ(Items(*loaded.Item(0)), (std::vector<std::string>{"news", "sport"}));
}

TEST(Bundles, LoadsEveryBundleElementInDocumentOrder) {
  TBundleList list;
  auto doc = TXbelDocument::Load(test::FixturePath("xbel/sample.xbel"));
  LoadBundles(list, doc->Root().Node());
  auto odd = TXbelDocument::Parse(
      "<xbel><folder><bundle>a \"b c\"</bundle></folder><info><metadata owner='bundle'>"
      "<bundle title='Two'>x<!--c-->y z</bundle><bundle title='Empty'/></metadata></info></xbel>",
      "odd");
  LoadBundles(list, odd->Root().Node());  // appends; clears nothing
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(Items(*list.Item(0)), (std::vector<std::string>{"news", "sport"}));
  EXPECT_EQ(list.Item(1)->Title, "");
  EXPECT_EQ(Items(*list.Item(1)), (std::vector<std::string>{"a", "b c"}));
  EXPECT_EQ(Items(*list.Item(2)), (std::vector<std::string>{"y", "z"}));  // the last child decides
  EXPECT_TRUE(list.Item(3)->Tags.empty());
}

TEST(Bundles, DeletingTheLastLeavesTheContainerAndANewOneGoesToASecondInfo) {
  test::TempDir dir;
  TXbelDocument doc;
  TBundleList list;
  list.Add("Only");
  SaveBundles(list, doc.Root());
  list.Remove(0);
  SaveBundles(list, doc.Root());
  auto reopened = Reopen(doc, dir / "b.xbel");
  EXPECT_NE(reopened->SaveText(XbelSaveMode::Ordinary).find("<info><metadata owner=\"bundle\"/></info>"),
            std::string::npos);
  list.Add("Again");
  SaveBundles(list, reopened->Root());
  EXPECT_EQ(reopened->Root().Node().select_nodes("info").size(), 2u);
  TBundleList loaded;
  LoadBundles(loaded, reopened->Root().Node());
  ASSERT_EQ(loaded.Count(), 1u);
  EXPECT_EQ(loaded.Item(0)->Title, "Again");
}

TEST(Bundles, ReorderingSurvivesReopening) {
  test::TempDir dir;
  TXbelDocument doc;
  TBundleList list;
  for (const char* t : {"first", "second", "third"}) list.Add(t);
  list.Move(0, 1);  // dragged onto the third: placed just before it
  SaveBundles(list, doc.Root());
  auto reopened = Reopen(doc, dir / "b.xbel");
  TBundleList loaded;
  LoadBundles(loaded, reopened->Root().Node());
  ASSERT_EQ(loaded.Count(), 3u);
  EXPECT_EQ(loaded.Item(0)->Title, "second");
  EXPECT_EQ(loaded.Item(1)->Title, "first");
  EXPECT_EQ(loaded.Item(2)->Title, "third");
}

TEST(Bundles, SavingNeverRemovesBookmarksBesideBundles) {
  auto doc = TXbelDocument::Parse("<xbel><bundle title='x'>a</bundle><bookmark href='keep'/></xbel>", "odd");
  TBundleList list;
  list.Add("y");
  SaveBundles(list, doc->Root());
  EXPECT_EQ(doc->Root().Bookmark().Count(), 1u);
  TBundleList loaded;
  LoadBundles(loaded, doc->Root().Node());
  ASSERT_EQ(loaded.Count(), 1u);
  EXPECT_EQ(loaded.Item(0)->Title, "y");
}

TEST(Bundles, SelectingABundleSearchesTagsForAnyOfItsWords) {
  TXbelBuilder b;
  b.AdoptDocument(TXbelDocument::Parse(
      "<xbel><bookmark href='1'><info><metadata owner='" + std::string(TagsOwnerUri) +
          "'>newsletter</metadata></info></bookmark><bookmark href='2'/></xbel>",
      "t"));
  TBmkRecList records;
  b.BuildRecords(records);
  TBundle bundle;
  bundle.SetTagsFromText("news\r\nsport");
  TBmkRecRefs shown;
  TXbelBuilder::SearchRecords(records, shown, TSearchCondition{bundle.TagsText(), sfTags, false, false});
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0]->Link(), "1");
  shown.clear();
  TXbelBuilder::SearchRecords(records, shown, TSearchCondition{TBundle().TagsText(), sfTags, false, false});
  EXPECT_EQ(shown.size(), 2u);  // an empty bundle shows everything
}

}  // namespace
}  // namespace tessellink
