#pragma once
// Bookmarks by address: duplicates are kept in document order, and a lookup
// finds the first entry whose address equals the key, letter case ignored, in
// constant time.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/xbel_elements.h"

namespace tessellink {

struct TPackBmk {
  TXMLBookmarkType Bookmark;
};

class TAddressIndex {
 public:
  struct Entry {
    std::string Address;
    TPackBmk Value;
  };

  void Add(std::string_view address, TXMLBookmarkType bookmark);
  void Clear();
  std::size_t size() const { return entries_.size(); }
  const Entry& operator[](std::size_t i) const { return entries_[i]; }

  // The first entry with that address, or nullptr.
  const TPackBmk* Find(std::string_view address) const;
  // Its position in entry order, or -1.
  long IndexOf(std::string_view address) const;

 private:
  static std::string Key(std::string_view address);
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> first_;
};

}  // namespace tessellink
