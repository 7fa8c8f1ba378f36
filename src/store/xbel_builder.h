#pragma once
// TXbelBuilder: the operations on one XBEL document. The main window keeps one
// for the open file; importers, exporters and dialogs make their own.

#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/address_index.h"
#include "store/bookmark_record.h"
#include "store/progress.h"
#include "store/tag_types.h"
#include "store/xbel_document.h"
#include "store/xbel_elements.h"

namespace tessellink {

class TRunLog;

enum class CollectMode { All, UnsharedOnly };
enum class PasteMode { Copy, Move };

class TXbelBuilder {
 public:
  // The context is passed by reference so that a handler may replace it for the
  // rest of the walk (an exporter keeps its current output position there).
  using BookmarkHandler = std::function<void(TXMLBookmarkType bookmark, void*& context)>;
  using FolderHandler = std::function<void(TXMLFolderType folder, void*& context)>;

  TXbelBuilder();  // starts with a new, empty working document
  ~TXbelBuilder();
  TXbelBuilder(const TXbelBuilder&) = delete;
  TXbelBuilder& operator=(const TXbelBuilder&) = delete;

  // ---- working document
  void NewDocument();
  // Throws XbelLoadError; the working document is unchanged then.
  void LoadDocument(const std::filesystem::path& file);
  void AdoptDocument(std::unique_ptr<TXbelDocument> document);
  // Works on a document owned elsewhere (a dialog on the main window's document).
  void AttachDocument(TXbelDocument& document);
  TXbelDocument& Document() const { return *document_; }
  TXMLXbelType Root() const { return document_->Root(); }
  void SaveDocument(const std::filesystem::path& file, XbelSaveMode mode) const { document_->Save(file, mode); }

  // ---- state the operations share
  std::filesystem::path FavoritesPath;  // ~/Favorites when HOME is set
  BookmarkHandler OnBookmark;
  FolderHandler OnFolderEntered;
  FolderHandler OnFolderLeft;
  TXMLContainerType CurrentFolder;
  std::string TagFilter;
  TSearchCondition SearchCondition;
  IProgress* Progress = nullptr;
  // Where importers and exporters note the entries they had to skip; none in tests that do not look.
  TRunLog* RunLog = nullptr;

  // ---- walking and collecting
  void Walk(TXMLContainerType start, void*& context, void** folderContext = nullptr);
  static int CountItems(TXMLContainerType element);
  void CollectBookmarks(TXMLContainerType start, std::vector<TXMLBookmarkType>& list, CollectMode mode);

  // ---- records
  void BuildRecords(TBmkRecList& records);
  static std::unique_ptr<TBmkRec> MakeRecord(TXMLBookmarkType bookmark);
  static void FillRecord(TXMLBookmarkType bookmark, TBmkRec& record);
  static TBmkRec* FindRecord(std::span<TBmkRec* const> records, TXMLBookmarkType bookmark);
  void IndexByAddress(TAddressIndex& index);

  // ---- changing the tree
  static TXMLBookmarkType AppendBookmark(TXMLContainerType parent);
  static TXMLFolderType AppendFolder(TXMLContainerType parent);
  static void RenameFolder(TXMLFolderType folder, std::string_view title);
  static void RemoveNode(TXMLElement element);
  void PasteBookmarks(std::vector<TXMLBookmarkType>& list, TXMLContainerType target, PasteMode mode,
                      TBmkRecList& records);
  void RemoveBrokenBookmarks(std::vector<TXMLBookmarkType>& list);

  // ---- metadata
  static std::string_view GetMetadata(TXMLElement item, std::string_view owner);
  static void SetMetadata(TXMLElement item, std::string_view owner, std::string_view text);
  // Counts a visit on the record and the bookmark and saves the document to
  // `currentFile` at once; the save is not a change for synchronisation.
  void RecordVisit(TBmkRec& record, const std::filesystem::path& currentFile);

  // ---- texts
  static std::string FolderPathOf(TXMLElement item);
  static bool IsUrl(std::string_view text);
  std::string MailListing(TXMLContainerType start);

  // ---- tags, hot list, share marks and search
  static void TagCounts(std::span<TBmkRec* const> records, TTagExList& out);
  static void RecordsWithTag(std::span<TBmkRec* const> records, std::string_view tag, TBmkRecRefs& out);
  void BookmarksWithTag(std::string_view tag, std::vector<TXMLBookmarkType>& out);
  static void FilterByTags(TBmkRecRefs& records, const std::vector<std::string>& tags);
  static void RelatedTags(const std::vector<std::string>& chosen, TTagExList& out,
                          std::span<TBmkRec* const> records);
  static void HotRecords(std::span<TBmkRec* const> records, TBmkRecRefs& out);
  static bool IsHot(TXMLBookmarkType bookmark);
  static void SetHot(TXMLBookmarkType bookmark, bool on);
  static void RecentRecords(std::span<TBmkRec*> records, TBmkRecRefs& out, int count);
  static std::string_view ShareMark(TXMLBookmarkType bookmark);
  static void SetShareMark(TXMLBookmarkType bookmark, std::string_view mark);
  static void SearchRecords(std::span<TBmkRec* const> records, TBmkRecRefs& out, const TSearchCondition& condition);
  void SearchDocument(std::vector<TXMLBookmarkType>& out, const TSearchCondition& condition);
  static std::string AutoTags(std::string_view title, std::string_view address);

 private:
  // Walks with temporary handlers and clears them afterwards, whatever happens.
  void WalkWith(TXMLContainerType start, BookmarkHandler onBookmark, FolderHandler onEntered = {},
                FolderHandler onLeft = {});

  std::unique_ptr<TXbelDocument> owned_;
  TXbelDocument* document_ = nullptr;
};

}  // namespace tessellink
