#include <gtest/gtest.h>

#include "store/xbel_builder.h"

namespace tessellink {
namespace {

// Records made straight from a list of (title, tags, link, desc, added).
struct Rec {
  const char* title;
  const char* tags;
  const char* link = "";
  const char* desc = "";
  const char* added = "";
};

class Records {
 public:
  explicit Records(std::initializer_list<Rec> recs) {
    for (const Rec& r : recs) {
      auto rec = std::make_unique<TBmkRec>();
      rec->SetAll({r.title, r.tags, r.desc, "", r.added, r.link, ""});
      list.Add(std::move(rec));
    }
  }
  std::vector<std::string> Titles(const TBmkRecRefs& refs) const {
    std::vector<std::string> t;
    for (const TBmkRec* r : refs) t.emplace_back(r->Title());
    return t;
  }
  TBmkRecRefs All() const { return TBmkRecRefs(list.begin(), list.end()); }
  TBmkRecList list;
};

using Titles = std::vector<std::string>;

TEST(TagCounts, GroupsLetterCaseCountsNoneAndTheLastTag) {
  Records r{{"1", "News"}, {"2", "news sport"}, {"3", ""}};
  TTagExList out;
  TXbelBuilder::TagCounts(r.list, out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], (TTagEx{"(none)", 1}));
  EXPECT_EQ(out[1].Count, 2);
  EXPECT_TRUE(out[1].Tag == "News" || out[1].Tag == "news");
  EXPECT_EQ(out[2], (TTagEx{"sport", 1}));
}

TEST(TagCounts, SplitsQuotedTagsAtBlanksAndSortsIgnoringCase) {
  Records r{{"1", "\"two words\",zeta"}, {"2", "  "}, {"3", "Alpha,,beta Über über"}, {"4", "ÉTÉ été"}};
  TTagExList out;
  TXbelBuilder::TagCounts(r.list, out);
  const TTagExList expected{{"(none)", 1}, {"Alpha", 1}, {"beta", 1}, {"two", 1}, {"words", 1},
                            {"zeta", 1},   {"Über", 2},  {"ÉTÉ", 2}};
  // É (U+00C9) sorts before Ü (U+00DC) by code point.
  EXPECT_EQ(out[6].Tag, "ÉTÉ");
  EXPECT_EQ(out.size(), expected.size());
  EXPECT_EQ(out[0], expected[0]);
  EXPECT_EQ(out[3], expected[3]);
  EXPECT_EQ(out[7], (TTagEx{"Über", 2}));
}

TEST(RecordsWithTag, SelectsWholeItemsIgnoringCase) {
  Records r{{"quoted", "\"two words\" x"}, {"partial", "twowords"}, {"none", ""}, {"blank", "   "},
            {"upper", "TWO WORDS"}};
  TBmkRecRefs out;
  TXbelBuilder::RecordsWithTag(r.list, "Two Words", out);
  EXPECT_EQ(r.Titles(out), Titles{"quoted"});
  out.clear();
  TXbelBuilder::RecordsWithTag(r.list, "two", out);
  EXPECT_EQ(r.Titles(out), Titles{"upper"});
  out.clear();
  TXbelBuilder::RecordsWithTag(r.list, "(none)", out);
  EXPECT_EQ(r.Titles(out), (Titles{"none", "blank"}));
}

TEST(FilterByTags, KeepsOnlyRecordsCarryingEveryTag) {
  Records r{{"both", "news sport"}, {"one", "news"}, {"merged", "newssport"}, {"case", "News Sport"}};
  TBmkRecRefs list = r.All();
  TXbelBuilder::FilterByTags(list, {"news", "sport"});
  // "case" fails the substring test, which counts letter case.
  EXPECT_EQ(r.Titles(list), Titles{"both"});

  TBmkRecRefs untouched = r.All();
  TXbelBuilder::FilterByTags(untouched, {"(none)", "news"});
  EXPECT_EQ(untouched.size(), 4u);
  TXbelBuilder::FilterByTags(untouched, {});
  EXPECT_EQ(untouched.size(), 4u);
}

TEST(RelatedTags, CountsTheOtherTagsWithLetterCaseCounted) {
  Records r{{"1", "news sport"}, {"2", "NEWS Sport,,weather"}, {"3", "news sport \"long tag\""}};
  TTagExList out;
  TXbelBuilder::RelatedTags({"news"}, out, r.list);
  EXPECT_EQ(out, (TTagExList{{"long tag", 1}, {"Sport", 1}, {"sport", 2}, {"weather", 1}}));
  out.clear();
  TXbelBuilder::RelatedTags({}, out, r.list);
  EXPECT_TRUE(out.empty());
}

TEST(HotList, MarkIsFoundAnywhereButSetHotRemovesOnlyTheExactSpelling) {
  Records r{{"lower", "a [hot]"}, {"inside", "x[HOT]y"}, {"cold", "hot"}};
  TBmkRecRefs out;
  TXbelBuilder::HotRecords(r.list, out);
  EXPECT_EQ(r.Titles(out), (Titles{"lower", "inside"}));

  TXbelBuilder b;
  TXMLBookmarkType bm = TXbelBuilder::AppendBookmark(b.Root());
  TXbelBuilder::SetMetadata(bm, TagsOwnerUri, "a [hot]");
  EXPECT_TRUE(TXbelBuilder::IsHot(bm));
  TXbelBuilder::SetHot(bm, false);
  EXPECT_EQ(TXbelBuilder::GetMetadata(bm, TagsOwnerUri), "a [hot]");

  TXbelBuilder::SetMetadata(bm, TagsOwnerUri, "news");
  EXPECT_FALSE(TXbelBuilder::IsHot(bm));
  TXbelBuilder::SetHot(bm, true);
  EXPECT_EQ(TXbelBuilder::GetMetadata(bm, TagsOwnerUri), "news [Hot]");
  EXPECT_TRUE(TXbelBuilder::IsHot(bm));
  TXbelBuilder::SetHot(bm, false);
  EXPECT_EQ(TXbelBuilder::GetMetadata(bm, TagsOwnerUri), "news ");
}

TEST(RecentRecords, SortsTheListItselfNewestFirst) {
  Records r{{"old", "", "", "", "2007-01-01T10:00:00Z"},
            {"day", "", "", "", "2008-03-14"},
            {"later", "", "", "", "2008-03-14T09:05:33Z"},
            {"none", "", "", "", ""}};
  TBmkRecRefs out;
  TXbelBuilder::RecentRecords(r.list.Order(), out, 2);
  EXPECT_EQ(r.Titles(out), (Titles{"later", "day"}));
  EXPECT_EQ(r.list[3]->Title(), "none");  // the record list keeps the new order
  out.clear();
  TXbelBuilder::RecentRecords(r.list.Order(), out, 500);
  EXPECT_EQ(r.Titles(out), (Titles{"later", "day", "old", "none"}));
}

TEST(SearchRecords, MatchesKeywordsInTheChosenFields) {
  Records r{{"Alpha news", "tech", "http://one.example", "about Beta"},
            {"Gamma", "Beta", "http://two.example/alpha", ""},
            {"Ünïcode Title", "", "http://three.example", ""}};
  auto search = [&](const char* keywords, uint8_t fields, bool all, bool caseSensitive) {
    TBmkRecRefs out;
    TXbelBuilder::SearchRecords(r.list, out, TSearchCondition{keywords, fields, caseSensitive, all});
    return r.Titles(out);
  };
  EXPECT_EQ(search("", sfAll, false, false).size(), 3u);
  EXPECT_EQ(search("  ", sfAll, true, false).size(), 3u);
  EXPECT_EQ(search("alpha", sfTitle, false, false), Titles{"Alpha news"});
  EXPECT_EQ(search("alpha", sfAll, false, false), (Titles{"Alpha news", "Gamma"}));
  EXPECT_EQ(search("alpha", sfAll, false, true), Titles{"Gamma"});  // only the link has it in lower case
  EXPECT_EQ(search("ALPHA", sfAll, false, true), Titles{});
  EXPECT_EQ(search("gamma,alpha", sfTitle | sfLink, true, false), Titles{"Gamma"});
  EXPECT_EQ(search("gamma alpha", sfTitle, true, false), Titles{});
  EXPECT_EQ(search("beta", sfDesc, false, false), Titles{"Alpha news"});
  EXPECT_EQ(search("beta", sfTags, false, false), Titles{"Gamma"});
  EXPECT_EQ(search("ÜNÏCODE", sfTitle, false, false), Titles{"Ünïcode Title"});
  EXPECT_EQ(search("gamma,,alpha", sfTitle | sfLink, true, false), Titles{"Gamma"});
}

TEST(SearchDocument, OneKeywordIsEnoughEvenWithAllWords) {
  TXbelBuilder b;
  b.AdoptDocument(TXbelDocument::Parse(
      "<xbel><bookmark href='http://x'><title>Apple pie</title></bookmark>"
      "<folder><bookmark href='http://y/banana'><title>Other</title></bookmark></folder>"
      "<bookmark href='http://z'><title>Cherry</title><info><metadata owner='" +
          std::string(TagsOwnerUri) + "'>FRUIT</metadata></info></bookmark></xbel>",
      "t"));
  auto search = [&](const char* keywords, uint8_t fields, bool caseSensitive) {
    std::vector<TXMLBookmarkType> out;
    b.SearchDocument(out, TSearchCondition{keywords, fields, caseSensitive, true});
    std::vector<std::string> hrefs;
    for (auto x : out) hrefs.emplace_back(x.Href());
    return hrefs;
  };
  EXPECT_EQ(search("apple banana", sfAll, false), (Titles{"http://x", "http://y/banana"}));
  EXPECT_EQ(search("fruit", sfTags, false), Titles{"http://z"});
  EXPECT_EQ(search("fruit", sfTags, true), Titles{});
  EXPECT_EQ(search("", sfAll, false), Titles{});
}

TEST(AutoTags, ProposesWordsOfTitleAndSiteName) {
  struct {
    const char* title;
    const char* address;
    const char* tags;
  } cases[] = {
      {"Welcome to the Example Shop", "http://www.example.com/", "Example Shop"},
      {"Rust: a language (official) | home", "https://www.rust-lang.org/learn",
       "Rust  language  official    home  rust-lang"},
      // "news" is contained in "Newsletter"; without "www." the host's first label is kept.
      {"Newsletter & News", "http://news.example.net/?p=12", "Newsletter   example"},
      {"", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(TXbelBuilder::AutoTags(c.title, c.address), c.tags) << c.title;
}

TEST(ShareMark, ReadsAndWritesTheShareMetadata) {
  TXbelBuilder b;
  TXMLBookmarkType bm = TXbelBuilder::AppendBookmark(b.Root());
  EXPECT_EQ(TXbelBuilder::ShareMark(bm), "");
  TXbelBuilder::SetShareMark(bm, "public");
  EXPECT_EQ(TXbelBuilder::ShareMark(bm), "public");
  EXPECT_EQ(TXbelBuilder::GetMetadata(bm, ShareOwnerUri), "public");
}

}  // namespace
}  // namespace tessellink
