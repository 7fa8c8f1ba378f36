#include "store/address_index.h"

#include "common/text.h"

namespace tessellink {

std::string TAddressIndex::Key(std::string_view address) {
  return UpperCase(address);
}

void TAddressIndex::Add(std::string_view address, TXMLBookmarkType bookmark) {
  first_.try_emplace(Key(address), entries_.size());
  entries_.push_back(Entry{std::string(address), TPackBmk{bookmark}});
}

void TAddressIndex::Clear() {
  entries_.clear();
  first_.clear();
}

long TAddressIndex::IndexOf(std::string_view address) const {
  auto it = first_.find(Key(address));
  return it == first_.end() ? -1 : static_cast<long>(it->second);
}

const TPackBmk* TAddressIndex::Find(std::string_view address) const {
  const long i = IndexOf(address);
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)].Value;
}

}  // namespace tessellink
