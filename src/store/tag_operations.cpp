// Tags, the hot and recent lists, share marks and the two searches.

#include <algorithm>
#include <unordered_map>

#include "common/comma_text.h"
#include "common/text.h"
#include "store/xbel_builder.h"

namespace tessellink {

namespace {

bool HasTagItem(std::string_view tagText, std::string_view tag) {
  bool found = false;
  ForEachCommaItem(tagText, [&](std::string_view item) {
    if (!found && SameText(item, tag)) found = true;
  });
  return found;
}

bool IsNoneTag(std::string_view tag) { return tag == kNoneTag; }

// A tag text counts as empty when it holds nothing but blanks; the tag list
// counts such bookmarks under "(none)", so selecting "(none)" must show them.
bool HasNoTags(std::string_view tagText) { return Trim(tagText).empty(); }

}  // namespace

void TXbelBuilder::TagCounts(std::span<TBmkRec* const> records, TTagExList& out) {
  // Counted by hashing on the upper-case form; only the distinct tags are sorted.
  std::unordered_map<std::string, std::size_t> groups;
  TTagExList counts;
  std::string key;
  auto count = [&](std::string_view item) {
    if (item.empty()) return;
    key = UpperCase(item);
    auto [it, inserted] = groups.try_emplace(key, counts.size());
    if (inserted)
      counts.push_back(TTagEx{std::string(item), 1});
    else
      ++counts[it->second].Count;
  };
  for (const TBmkRec* rec : records) {
    const std::string_view tags = rec->Tags();
    if (HasNoTags(tags)) {
      count(kNoneTag);
      continue;
    }
    // Blanks separate tags here even inside quotes: the list counts words.
    ForEachCommaItem(tags, [&](std::string_view item) {
      std::size_t pos = 0;
      while (pos < item.size()) {
        std::size_t end = pos;
        while (end < item.size() && item[end] != ',' && static_cast<unsigned char>(item[end]) > ' ') ++end;
        if (end > pos) count(item.substr(pos, end - pos));
        pos = end + 1;
      }
    });
  }
  std::vector<std::pair<std::string_view, std::size_t>> order;
  order.reserve(groups.size());
  for (const auto& [upper, index] : groups) order.emplace_back(upper, index);
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [upper, index] : order) out.push_back(std::move(counts[index]));
}

void TXbelBuilder::RecordsWithTag(std::span<TBmkRec* const> records, std::string_view tag, TBmkRecRefs& out) {
  for (TBmkRec* rec : records) {
    if (IsNoneTag(tag) ? HasNoTags(rec->Tags()) : HasTagItem(rec->Tags(), tag)) out.push_back(rec);
  }
}

void TXbelBuilder::BookmarksWithTag(std::string_view tag, std::vector<TXMLBookmarkType>& out) {
  WalkWith(Root(), [&](TXMLBookmarkType b, void*&) {
    const std::string_view tags = GetMetadata(b, TagsOwnerUri);
    if (IsNoneTag(tag) ? HasNoTags(tags) : HasTagItem(tags, tag)) out.push_back(b);
  });
}

void TXbelBuilder::FilterByTags(TBmkRecRefs& records, const std::vector<std::string>& tags) {
  if (tags.empty() || IsNoneTag(tags.front())) return;
  for (const std::string& tag : tags) {
    std::erase_if(records, [&](TBmkRec* rec) {
      return !(Contains(rec->Tags(), tag, false) && HasTagItem(rec->Tags(), tag));
    });
  }
}

void TXbelBuilder::RelatedTags(const std::vector<std::string>& chosen, TTagExList& out,
                               std::span<TBmkRec* const> records) {
  if (chosen.empty()) return;
  struct Item {
    std::string upper, text;
  };
  std::vector<Item> items;
  for (const TBmkRec* rec : records) {
    ForEachCommaItem(rec->Tags(), [&](std::string_view item) {
      if (item.empty()) return;
      for (const std::string& c : chosen)
        if (SameText(item, c)) return;
      items.push_back(Item{UpperCase(item), std::string(item)});
    });
  }
  // Letter case is ignored for the order but counted for the groups; sorting by
  // the exact text second keeps equal spellings together.
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return a.upper != b.upper ? a.upper < b.upper : a.text < b.text;
  });
  for (std::size_t i = 0; i < items.size();) {
    std::size_t j = i;
    while (j < items.size() && items[j].text == items[i].text) ++j;
    out.push_back(TTagEx{items[i].text, static_cast<int>(j - i)});
    i = j;
  }
}

void TXbelBuilder::HotRecords(std::span<TBmkRec* const> records, TBmkRecRefs& out) {
  static const std::string kUpperHot = UpperCase(kHotTag);
  for (TBmkRec* rec : records)
    if (ContainsUpper(rec->Tags(), kUpperHot)) out.push_back(rec);
}

bool TXbelBuilder::IsHot(TXMLBookmarkType bookmark) { return HasTagItem(GetMetadata(bookmark, TagsOwnerUri), kHotTag); }

void TXbelBuilder::SetHot(TXMLBookmarkType bookmark, bool on) {
  const std::string_view tags = GetMetadata(bookmark, TagsOwnerUri);
  const std::string changed = on ? std::string(tags) + " " + kHotTag : ReplaceAll(tags, kHotTag, "");
  SetMetadata(bookmark, TagsOwnerUri, changed);
}

void TXbelBuilder::RecentRecords(std::span<TBmkRec*> records, TBmkRecRefs& out, int count) {
  std::stable_sort(records.begin(), records.end(),
                   [](const TBmkRec* a, const TBmkRec* b) { return a->Added() > b->Added(); });
  const std::size_t n = std::min<std::size_t>(records.size(), count < 0 ? 0 : static_cast<std::size_t>(count));
  out.insert(out.end(), records.begin(), records.begin() + static_cast<std::ptrdiff_t>(n));
}

std::string_view TXbelBuilder::ShareMark(TXMLBookmarkType bookmark) { return GetMetadata(bookmark, ShareOwnerUri); }

void TXbelBuilder::SetShareMark(TXMLBookmarkType bookmark, std::string_view mark) {
  SetMetadata(bookmark, ShareOwnerUri, mark);
}

void TXbelBuilder::SearchRecords(std::span<TBmkRec* const> records, TBmkRecRefs& out,
                                 const TSearchCondition& condition) {
  // Empty keywords (a blank text, or ",," in it) would match nothing and make an
  // all-words search fail for every record; they are left out.
  std::vector<std::string> keywords;
  ForEachCommaItem(condition.Keywords, [&](std::string_view k) {
    if (!k.empty()) keywords.push_back(condition.CaseSensitive ? std::string(k) : UpperCase(k));
  });
  if (keywords.empty()) {
    out.insert(out.end(), records.begin(), records.end());
    return;
  }
  const uint8_t fields = condition.Fields;
  auto in = [&](std::string_view text, const std::string& k) {
    return condition.CaseSensitive ? text.find(k) != std::string_view::npos : ContainsUpper(text, k);
  };
  auto matches = [&](const TBmkRec* r, const std::string& k) {
    return ((fields & sfTitle) && in(r->Title(), k)) || ((fields & sfDesc) && in(r->Desc(), k)) ||
           ((fields & sfTags) && in(r->Tags(), k)) || ((fields & sfLink) && in(r->Link(), k));
  };
  for (TBmkRec* rec : records) {
    bool hit;
    if (condition.AllWords)
      hit = std::all_of(keywords.begin(), keywords.end(), [&](const std::string& k) { return matches(rec, k); });
    else
      hit = std::any_of(keywords.begin(), keywords.end(), [&](const std::string& k) { return matches(rec, k); });
    if (hit) out.push_back(rec);
  }
}

void TXbelBuilder::SearchDocument(std::vector<TXMLBookmarkType>& out, const TSearchCondition& condition) {
  std::vector<std::string> keywords;
  ForEachCommaItem(condition.Keywords, [&](std::string_view k) {
    if (!k.empty()) keywords.push_back(condition.CaseSensitive ? std::string(k) : LowerCase(k));
  });
  if (keywords.empty()) return;
  const uint8_t fields = condition.Fields;
  WalkWith(Root(), [&](TXMLBookmarkType b, void*&) {
    auto text = [&](std::string_view t) { return condition.CaseSensitive ? std::string(t) : LowerCase(t); };
    const std::string title = text(b.Title()), desc = text(b.Desc()),
                      tags = text(GetMetadata(b, TagsOwnerUri)), href = text(b.Href());
    for (const std::string& k : keywords) {
      if (((fields & sfTitle) && title.find(k) != std::string::npos) ||
          ((fields & sfDesc) && desc.find(k) != std::string::npos) ||
          ((fields & sfTags) && tags.find(k) != std::string::npos) ||
          ((fields & sfLink) && href.find(k) != std::string::npos)) {
        out.push_back(b);
        return;
      }
    }
  });
}

std::string TXbelBuilder::AutoTags(std::string_view title, std::string_view address) {
  static constexpr std::string_view kStopWords[] = {
      "you",  "your",  "and",    "or",   "he",   "his",   "my",   "they",    "them",   "me",
      "mine", "yours", "the",    "an",   "in",   "out",   "from", "this",    "that",   "what",
      "which", "when", "to",     "on",   "their", "with", "welcome", "theirs", "while", "all",
      "some", "little", "few",   "for",  "are",  "were",  "even", "more",    "get",    "got"};

  std::string t = ReplaceAll(title, ":", "");
  for (char& c : t)
    if (c == '(' || c == ')' || c == '.' || c == ',' || c == '|' || c == '!' || c == '&' || c == ' ') c = ',';
  std::vector<std::string> words = SplitCommaText(t);

  std::string a(address);
  for (std::string_view part : {"http://", "https://", "www", ".com", ".net"}) a = ReplaceFirst(a, part, "");
  a = ReplaceFirst(a, "?p=", ",");
  for (char& c : a)
    if (c == '.' || c == '/') c = ',';
  std::vector<std::string> siteWords = SplitCommaText(a);
  for (std::size_t i = 2; i < siteWords.size(); ++i) siteWords[i] = " ";
  words.insert(words.end(), siteWords.begin(), siteWords.end());

  for (std::string& w : words) {
    if (CharacterCount(w) < 3) {
      w = " ";
      continue;
    }
    for (std::string_view stop : kStopWords)
      if (SameText(w, stop)) w = " ";
  }

  std::string result, lowerResult;
  for (const std::string& w : words) {
    const std::string_view word = Trim(w);
    const std::string lower = LowerCase(word);
    // An empty word is never "contained", so each blank item adds one blank.
    if (lower.empty() || lowerResult.find(lower) == std::string::npos) {
      result.append(word);
      result.push_back(' ');
      lowerResult.append(lower);
      lowerResult.push_back(' ');
    }
  }
  return std::string(Trim(result));
}

}  // namespace tessellink
