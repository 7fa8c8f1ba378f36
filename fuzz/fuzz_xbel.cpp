// Bookmark files come from anywhere (downloads, other programs, the online
// copy): loading one must never crash, and whatever loads must survive every
// read-only operation of the store and a save that loads again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "store/address_index.h"
#include "store/bookmark_record.h"
#include "store/bundles.h"
#include "store/tag_types.h"
#include "store/xbel_builder.h"
#include "store/xbel_document.h"

namespace {

using namespace tessellink;

std::unique_ptr<TXbelDocument> ParseOrNull(std::string_view bytes) {
  try {
    return TXbelDocument::Parse(bytes, "fuzz");
  } catch (const XbelLoadError&) {
    return nullptr;
  }
}

// Text saved by the program must always load again; a file it cannot reopen is a lost file.
std::unique_ptr<TXbelDocument> MustLoadAgain(const std::string& saved, const char* mode) {
  try {
    return TXbelDocument::Parse(saved, "fuzz-saved");
  } catch (const XbelLoadError& e) {
    std::fprintf(stderr, "check failed: saved text (%s) does not load again: %s\n---\n%s\n---\n", mode, e.what(), saved.c_str());
    std::abort();
  }
}

// A piece of the input as a keyword, so searches see both matching and odd
// texts (a cut may split a UTF-8 sequence).
std::string KeywordFrom(std::string_view data) {
  if (data.empty()) return {};
  const auto selector = static_cast<unsigned char>(data.back());
  const std::size_t start = (selector * 131u) % data.size();
  return std::string(data.substr(start, 1 + selector % 12));
}

std::string FirstWord(std::string_view text) {
  const std::size_t blank = text.find_first_of(" ,");
  return std::string(text.substr(0, blank));
}

void Search(std::span<TBmkRec* const> records, std::string keywords, uint8_t selector) {
  TSearchCondition condition;
  condition.Keywords = std::move(keywords);
  condition.Fields = selector & sfAll;
  condition.CaseSensitive = (selector & 0x10) != 0;
  condition.AllWords = (selector & 0x20) != 0;
  TBmkRecRefs found;
  TXbelBuilder::SearchRecords(records, found, condition);
  FUZZ_CHECK(found.size() <= records.size(), "a search finds at most every record");
}

void ReadEverything(TXbelBuilder& builder, std::string_view data) {
  TBmkRecList records;
  builder.BuildRecords(records);

  TTagExList tags;
  TXbelBuilder::TagCounts(records, tags);
  TBmkRecRefs hot;
  TXbelBuilder::HotRecords(records, hot);
  FUZZ_CHECK(hot.size() <= records.size(), "the hot list is a subset of the records");

  const auto selector = static_cast<uint8_t>(data.empty() ? 0 : data.front());
  Search(records, KeywordFrom(data), selector);
  if (!records.empty()) {
    Search(records, FirstWord(records[0]->Title()) + "," + KeywordFrom(data), selector ^ 0x20);
    Search(records, std::string(records[0]->Tags()), sfTags);
  }
  if (!tags.empty()) {
    TBmkRecRefs tagged;
    TXbelBuilder::RecordsWithTag(records, tags.front().Tag, tagged);
    TXbelBuilder::FilterByTags(tagged, {tags.back().Tag});
    TTagExList related;
    TXbelBuilder::RelatedTags({tags.front().Tag}, related, records);
  }

  TBundleList bundles;
  LoadBundles(bundles, builder.Root().Node());
  for (std::size_t i = 0; i < bundles.Count(); ++i) bundles.Item(i)->SetTagsFromText(bundles.Item(i)->TagsText());

  const int items = TXbelBuilder::CountItems(builder.Root());
  FUZZ_CHECK(items >= 0 && static_cast<std::size_t>(items) >= records.size(), "every bookmark is counted");

  for (TBmkRec* record : records) {
    (void)TXbelBuilder::FolderPathOf(record->Bookmark);
    (void)TXbelBuilder::AutoTags(record->Title(), record->Link());
  }

  TAddressIndex index;
  builder.IndexByAddress(index);
  FUZZ_CHECK(index.size() == records.size(), "one index entry per bookmark");
  for (TBmkRec* record : records)
    FUZZ_CHECK(index.Find(record->Link()) != nullptr, "every address is found in the index");
  std::vector<TXMLBookmarkType> collected;
  builder.CollectBookmarks(builder.Root(), collected, CollectMode::UnsharedOnly);
  FUZZ_CHECK(collected.size() <= records.size(), "unshared bookmarks are a subset of all bookmarks");

  TBmkRecRefs recent;
  TXbelBuilder::RecentRecords(records.Order(), recent, 20);
}

// The program's own changes must keep the document loadable too.
void ChangeSomething(TXbelBuilder& builder) {
  TBundleList bundles;
  LoadBundles(bundles, builder.Root().Node());
  SaveBundles(bundles, builder.Root());
  std::vector<TXMLBookmarkType> all;
  builder.CollectBookmarks(builder.Root(), all, CollectMode::All);
  if (!all.empty()) {
    TXbelBuilder::SetHot(all.front(), !TXbelBuilder::IsHot(all.front()));
    TXbelBuilder::SetShareMark(all.back(), "public");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  std::unique_ptr<TXbelDocument> document = ParseOrNull(data);
  if (!document) return 0;

  TXbelBuilder builder;
  builder.AdoptDocument(std::move(document));
  ReadEverything(builder, data);

  const std::string saved = builder.Document().SaveText(XbelSaveMode::Ordinary);
  const std::unique_ptr<TXbelDocument> again = MustLoadAgain(saved, "Ordinary");
  // Repeated saves do not drift. The first reload may still change the text
  // once (a CR LF written into element text reads back as LF), so the fixed
  // point is checked from the second save on.
  const std::string savedAgain = again->SaveText(XbelSaveMode::Ordinary);
  FUZZ_CHECK(MustLoadAgain(savedAgain, "Ordinary, second")->SaveText(XbelSaveMode::Ordinary) == savedAgain,
             "saving a reloaded save gives the same text");

  const std::string savedAs = builder.Document().SaveText(XbelSaveMode::SaveAs);
  MustLoadAgain(savedAs, "SaveAs");

  ChangeSomething(builder);
  MustLoadAgain(builder.Document().SaveText(XbelSaveMode::Ordinary), "Ordinary after changes");
  return 0;
}
