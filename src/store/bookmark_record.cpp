#include "store/bookmark_record.h"

#include <algorithm>

namespace tessellink {

void TBmkRec::Set(Field f, std::string_view value) {
  std::array<std::string, kFieldCount> copies;
  std::array<std::string_view, kFieldCount> values;
  for (int i = 0; i < kFieldCount; ++i) {
    copies[i] = i == f ? std::string(value) : std::string(Get(static_cast<Field>(i)));
    values[i] = copies[i];
  }
  SetAll(values);
}

void TBmkRec::SetAll(const std::array<std::string_view, kFieldCount>& values) {
  std::size_t total = 0;
  for (auto v : values) total += v.size();
  std::string text;
  text.reserve(total);
  for (int i = 0; i < kFieldCount; ++i) {
    text.append(values[i]);
    end_[i] = static_cast<uint32_t>(text.size());
  }
  text_ = std::move(text);
}

void TBmkRecList::Clear() {
  for (TBmkRec* r : items_) delete r;
  items_.clear();
}

TBmkRec* TBmkRecList::Add(std::unique_ptr<TBmkRec> rec) {
  items_.push_back(rec.get());
  return rec.release();
}

void TBmkRecList::Remove(TBmkRec* rec) {
  auto it = std::find(items_.begin(), items_.end(), rec);
  if (it == items_.end()) return;
  items_.erase(it);
  delete rec;
}

}  // namespace tessellink
