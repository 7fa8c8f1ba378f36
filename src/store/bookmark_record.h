#pragma once
// TBmkRec: what the views, tag counts, searches and the hot and recent lists
// need of one bookmark, read once from the document so that none of them walks
// the XML tree. The texts of a record share one buffer: a record list of
// 100,000 bookmarks costs one allocation per bookmark.

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbel_elements.h"

namespace tessellink {

class TBmkRec {
 public:
  enum Field { kTitle, kTags, kDesc, kModified, kAdded, kLink, kLastVisit, kFieldCount };

  std::string_view Title() const { return Get(kTitle); }
  std::string_view Tags() const { return Get(kTags); }
  std::string_view Desc() const { return Get(kDesc); }
  std::string_view Modified() const { return Get(kModified); }
  std::string_view Added() const { return Get(kAdded); }
  std::string_view Link() const { return Get(kLink); }
  std::string_view LastVisit() const { return Get(kLastVisit); }
  std::string_view Get(Field f) const {
    const uint32_t begin = f == 0 ? 0 : end_[f - 1];
    return std::string_view(text_).substr(begin, end_[f] - begin);
  }

  void Set(Field f, std::string_view value);
  // Sets every text at once (one allocation).
  void SetAll(const std::array<std::string_view, kFieldCount>& values);

  TXMLBookmarkType Bookmark;
  int64_t VisitCount = 0;

 private:
  std::string text_;
  std::array<uint32_t, kFieldCount> end_{};
};

// Lists that do not own their records: search results, filtered views.
using TBmkRecRefs = std::vector<TBmkRec*>;

// The record list: owns its records; one per bookmark, in document order unless
// a caller reorders it (the recent list sorts it in place).
class TBmkRecList {
 public:
  TBmkRecList() = default;
  ~TBmkRecList() { Clear(); }
  TBmkRecList(const TBmkRecList&) = delete;
  TBmkRecList& operator=(const TBmkRecList&) = delete;

  void Clear();
  TBmkRec* Add(std::unique_ptr<TBmkRec> rec);
  void Remove(TBmkRec* rec);  // removes and destroys it
  // Removes and destroys every record for which `doomed` holds, in one pass.
  template <typename Predicate>
  std::size_t RemoveIf(Predicate doomed) {
    const auto kept = std::stable_partition(items_.begin(), items_.end(), [&](TBmkRec* r) { return !doomed(*r); });
    const auto count = static_cast<std::size_t>(items_.end() - kept);
    for (auto it = kept; it != items_.end(); ++it) delete *it;
    items_.erase(kept, items_.end());
    return count;
  }
  void Reserve(std::size_t n) { items_.reserve(n); }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  TBmkRec* operator[](std::size_t i) const { return items_[i]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Read access for the operations; the mutable span lets callers reorder only.
  std::span<TBmkRec* const> Items() const { return items_; }
  std::span<TBmkRec*> Order() { return items_; }
  operator std::span<TBmkRec* const>() const { return items_; }

 private:
  std::vector<TBmkRec*> items_;
};

}  // namespace tessellink
