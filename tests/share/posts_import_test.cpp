// The import of the service's collection into a document, on real files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.h"
#include "common/text.h"
#include "interchange/html_tokenizer.h"
#include "share/posts_import.h"
#include "store/xbel_builder.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

constexpr const char* kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0">
  <folder><title>Work</title>
    <bookmark href="http://Example.com/A"><title>first copy</title></bookmark>
    <bookmark href="http://other.org/"><title>other</title>
      <info><metadata owner="http://www.tessellink.net/xbel/Share">public</metadata></info></bookmark>
  </folder>
  <bookmark href="http://example.com/a"><title>last copy</title></bookmark>
  <folder><title>webSHARE</title></folder>
</xbel>)";

std::string Posts(const std::string& items) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><posts update=\"2026-12-01T10:00:00Z\" user=\"alice\">" + items +
         "</posts>";
}

constexpr const char* kCollection =
    R"(<post href="HTTP://EXAMPLE.COM/A" description="x" hash="h" shared="no" tag="t" time="2026-01-01T00:00:00Z" extended=""/>)"
    R"(<post href="http://new.net/" description="New &amp; shiny" hash="h" shared="yes" tag="a,b" time="2026-02-03T04:05:06Z" extended="n"/>)"
    R"(<post href="http://unfiled.net/" description="Unfiled" hash="h" shared="yes" tag="system:unfiled" time="2026-03-01T00:00:00Z" extended=""/>)";

class CountingProgress : public IProgress {
 public:
  void SetTotal(int64_t total) override { this->total = total; }
  void Advance(int64_t steps) override { done += steps; }
  int64_t total = -1, done = 0;
};

class ImportPostsTest : public testing::Test {
 protected:
  ImportPostsTest() {
    test::WriteFile(dir_ / "doc.xbel", kDocument);
    builder_.LoadDocument(dir_ / "doc.xbel");
  }
  std::vector<TXMLBookmarkType> All() {
    std::vector<TXMLBookmarkType> all;
    builder_.CollectBookmarks(builder_.Root(), all, CollectMode::All);
    return all;
  }
  TXMLFolderType ShareFolder() { return builder_.Root().Folder()[1]; }

  test::TempDir dir_;
  TXbelBuilder builder_;
};

TEST_F(ImportPostsTest, MarksKnownAddressesAndFilesTheRestInTheShareFolder) {
  CountingProgress progress;
  builder_.Progress = &progress;
  const TPostsImportResult result = ImportPosts(builder_, Posts(kCollection), dir_.path());
  EXPECT_EQ(result.posts, 3);
  EXPECT_EQ(result.added, 2);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(progress.total, 3);
  EXPECT_EQ(progress.done, 3);
  EXPECT_EQ(test::ReadFile(dir_ / "tmp.dat"), Posts(kCollection));

  // The case-only match finds the last of the two copies and adds nothing for it.
  std::vector<TXMLBookmarkType> all = All();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(TXbelBuilder::ShareMark(all[0]), "");
  EXPECT_EQ(TXbelBuilder::ShareMark(all[1]), "") << "not in the collection: the mark is cleared";
  EXPECT_EQ(TXbelBuilder::ShareMark(all[2]), "private");
  EXPECT_EQ(builder_.Root().Folder().Count(), 2u) << "the existing share folder is used, letter case ignored";

  const TXMLFolderType share = ShareFolder();
  ASSERT_EQ(share.Bookmark().Count(), 2u);
  const TXMLBookmarkType added = share.Bookmark()[0];
  EXPECT_EQ(added.Title(), "New & shiny");
  EXPECT_EQ(added.Href(), "http://new.net/");
  EXPECT_EQ(added.Added(), "2026-02-03T04:05:06Z");
  EXPECT_EQ(TXbelBuilder::GetMetadata(added, TagsOwnerUri), "a,b");
  EXPECT_EQ(TXbelBuilder::ShareMark(added), "public");
  const TXMLBookmarkType unfiled = share.Bookmark()[1];
  EXPECT_EQ(TXbelBuilder::GetMetadata(unfiled, TagsOwnerUri), "");
  EXPECT_FALSE(unfiled.Node().child("info").find_child_by_attribute("owner", std::string(TagsOwnerUri).c_str()));
}

TEST_F(ImportPostsTest, TheSameCollectionTwiceAddsNothingTheSecondTime) {
  ImportPosts(builder_, Posts(kCollection), dir_.path());
  const std::string once = builder_.Document().SaveText(XbelSaveMode::Ordinary);
  const TPostsImportResult again = ImportPosts(builder_, Posts(kCollection), dir_.path());
  EXPECT_EQ(again.added, 0);
  EXPECT_FALSE(again.changed);
  EXPECT_EQ(builder_.Document().SaveText(XbelSaveMode::Ordinary), once);
}

TEST_F(ImportPostsTest, MakesTheShareFolderWhenThereIsNone) {
  TXbelBuilder::RemoveNode(ShareFolder());
  ImportPosts(builder_, Posts(""), dir_.path());
  ASSERT_EQ(builder_.Root().Folder().Count(), 2u);
  EXPECT_EQ(builder_.Root().Folder()[1].Title(), "WebShare");
}

TEST_F(ImportPostsTest, HostileTextsCannotMakeTheFileUnloadable) {
  const std::string huge(kMaxImportedTextBytes + 1, 'x');
  const TPostsImportResult result = ImportPosts(
      builder_,
      Posts("<post href=\"http://bytes.net/\" description=\"bad \xff\xfe bytes\" tag=\"t\xc3\" time=\"\"/>"
            "<post href=\"http://huge.net/\" description=\"" + huge + "\" tag=\"\" time=\"\"/>"),
      dir_.path());
  EXPECT_EQ(result.added, 1);
  EXPECT_EQ(result.skipped, 1);
  builder_.SaveDocument(dir_ / "doc.xbel", XbelSaveMode::Ordinary);
  TXbelBuilder reloaded;
  ASSERT_NO_THROW(reloaded.LoadDocument(dir_ / "doc.xbel"));
  const TXMLFolderType share = reloaded.Root().Folder()[1];
  ASSERT_EQ(share.Bookmark().Count(), 1u);
  EXPECT_EQ(share.Bookmark()[0].Href(), "http://bytes.net/");
  EXPECT_TRUE(IsValidUtf8(share.Bookmark()[0].Title()));
}

TEST_F(ImportPostsTest, AReplyThatIsNoPostsDocumentLeavesTheDocumentAlone) {
  const std::string before = builder_.Document().SaveText(XbelSaveMode::Ordinary);
  for (const char* reply : {"<html><body>Service unavailable</body></html>", "not xml at all", ""}) {
    SCOPED_TRACE(reply);
    EXPECT_THROW(ImportPosts(builder_, reply, dir_.path()), FileReadError);
    EXPECT_EQ(builder_.Document().SaveText(XbelSaveMode::Ordinary), before);
  }
}

}  // namespace
}  // namespace tessellink
