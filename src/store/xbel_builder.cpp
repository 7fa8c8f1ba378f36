#include "store/xbel_builder.h"

#include <cstdlib>
#include <cstring>

#include "common/text.h"
#include "store/date_text.h"

namespace tessellink {

namespace {

// An inline compare: record building calls it for every bookmark.
inline bool NameIs(const char* name, std::string_view expected) {
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (name[i] != expected[i]) return false;  // also stops at the end of `name`
  return name[expected.size()] == '\0';
}

bool ElementNamed(const pugi::xml_node& n, std::string_view name) {
  return n.type() == pugi::node_element && NameIs(n.name(), name);
}

// "n-visit" holds a decimal count; anything else (empty, words, a sign) reads as 0.
int64_t VisitCountOf(std::string_view text) {
  if (text.empty() || text.size() > 18) return 0;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

TXbelBuilder::TXbelBuilder() {
  // The user's favorites folder on this platform; importers that read another
  // folder set their own.
  if (const char* home = std::getenv("HOME"); home && *home) FavoritesPath = std::filesystem::path(home) / "Favorites";
  NewDocument();
}
TXbelBuilder::~TXbelBuilder() = default;

void TXbelBuilder::NewDocument() { AdoptDocument(std::make_unique<TXbelDocument>()); }

void TXbelBuilder::LoadDocument(const std::filesystem::path& file) { AdoptDocument(TXbelDocument::Load(file)); }

void TXbelBuilder::AdoptDocument(std::unique_ptr<TXbelDocument> document) {
  owned_ = std::move(document);
  document_ = owned_.get();
  CurrentFolder = TXMLContainerType();
}

void TXbelBuilder::AttachDocument(TXbelDocument& document) {
  owned_.reset();
  document_ = &document;
  CurrentFolder = TXMLContainerType();
}

// ---------------------------------------------------------------- walking

void TXbelBuilder::Walk(TXMLContainerType start, void*& context, void** folderContext) {
  for (pugi::xml_node child = start.Node().first_child(); child; child = child.next_sibling()) {
    if (IsBookmarkNode(child)) {
      if (OnBookmark) OnBookmark(TXMLBookmarkType(child), context);
    } else if (IsFolderNode(child)) {
      const TXMLFolderType folder(child);
      if (OnFolderEntered) OnFolderEntered(folder, folderContext ? *folderContext : context);
      Walk(folder, context, folderContext);
      if (OnFolderLeft) OnFolderLeft(folder, context);
    }
  }
}

void TXbelBuilder::WalkWith(TXMLContainerType start, BookmarkHandler onBookmark, FolderHandler onEntered,
                            FolderHandler onLeft) {
  struct Restore {
    TXbelBuilder& b;
    ~Restore() {
      b.OnBookmark = nullptr;
      b.OnFolderEntered = nullptr;
      b.OnFolderLeft = nullptr;
    }
  } restore{*this};
  OnBookmark = std::move(onBookmark);
  OnFolderEntered = std::move(onEntered);
  OnFolderLeft = std::move(onLeft);
  void* context = nullptr;
  Walk(start, context);
}

int TXbelBuilder::CountItems(TXMLContainerType element) {
  int count = 0;
  for (pugi::xml_node child = element.Node().first_child(); child; child = child.next_sibling()) {
    if (IsBookmarkNode(child)) {
      ++count;
    } else if (IsFolderNode(child)) {
      count += 1 + CountItems(TXMLContainerType(child));
    }
  }
  return count;
}

void TXbelBuilder::CollectBookmarks(TXMLContainerType start, std::vector<TXMLBookmarkType>& list, CollectMode mode) {
  WalkWith(start, [&](TXMLBookmarkType b, void*&) {
    if (mode == CollectMode::All) {
      list.push_back(b);
      return;
    }
    const std::string_view mark = ShareMark(b);
    if (mark != "private" && mark != "public") list.push_back(b);
  });
}

// ---------------------------------------------------------------- records

// Record building touches every bookmark of a document, so names are told apart
// by their first letter before any full compare.
void TXbelBuilder::FillRecord(TXMLBookmarkType bookmark, TBmkRec& record) {
  const pugi::xml_node node = bookmark.Node();
  const char* href = nullptr;
  const char* added = nullptr;
  const char* modified = nullptr;
  const char* visited = nullptr;
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    const char* name = a.name();
    const char** slot = nullptr;
    switch (name[0]) {
      case 'h': slot = NameIs(name, "href") ? &href : nullptr; break;
      case 'a': slot = NameIs(name, "added") ? &added : nullptr; break;
      case 'm': slot = NameIs(name, "modified") ? &modified : nullptr; break;
      case 'v': slot = NameIs(name, "visited") ? &visited : nullptr; break;
      default: break;
    }
    if (slot && !*slot) *slot = a.value();
  }
  pugi::xml_node titleNode, descNode, infoNode;
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    const char* name = c.name();  // empty for text nodes
    switch (name[0]) {
      case 't':
        if (!titleNode && NameIs(name, "title") && c.type() == pugi::node_element) titleNode = c;
        break;
      case 'd':
        if (!descNode && NameIs(name, "desc") && c.type() == pugi::node_element) descNode = c;
        break;
      case 'i':
        if (!infoNode && NameIs(name, "info") && c.type() == pugi::node_element) infoNode = c;
        break;
      default: break;
    }
  }
  std::string_view tags, visits;
  bool haveTags = false, haveVisits = false;
  for (pugi::xml_node m = infoNode.first_child(); m && !(haveTags && haveVisits); m = m.next_sibling()) {
    if (!ElementNamed(m, "metadata")) continue;
    std::string_view owner;
    for (pugi::xml_attribute a = m.first_attribute(); a; a = a.next_attribute()) {
      if (NameIs(a.name(), "owner")) {
        owner = a.value();
        break;
      }
    }
    if (!haveTags && (owner == TagsOwnerUri || SameText(owner, TagsOwnerUri))) {
      tags = m.text().get();
      haveTags = true;
    } else if (!haveVisits && (owner == VisitCountOwner || SameText(owner, VisitCountOwner))) {
      visits = m.text().get();
      haveVisits = true;
    }
  }
  auto text = [](const char* value) { return value ? std::string_view(value) : std::string_view(); };
  record.SetAll({titleNode.text().get(), tags, descNode.text().get(), text(modified), text(added), text(href),
                 text(visited)});
  record.Bookmark = bookmark;
  record.VisitCount = VisitCountOf(visits);
}

std::unique_ptr<TBmkRec> TXbelBuilder::MakeRecord(TXMLBookmarkType bookmark) {
  auto rec = std::make_unique<TBmkRec>();
  FillRecord(bookmark, *rec);
  return rec;
}

void TXbelBuilder::BuildRecords(TBmkRecList& records) {
  records.Clear();
  WalkWith(Root(), [&](TXMLBookmarkType b, void*&) { records.Add(MakeRecord(b)); });
}

TBmkRec* TXbelBuilder::FindRecord(std::span<TBmkRec* const> records, TXMLBookmarkType bookmark) {
  for (TBmkRec* r : records)
    if (r->Bookmark == bookmark) return r;
  return nullptr;
}

void TXbelBuilder::IndexByAddress(TAddressIndex& index) {
  WalkWith(Root(), [&](TXMLBookmarkType b, void*&) { index.Add(b.Href(), b); });
}

// ---------------------------------------------------------------- changing the tree

TXMLBookmarkType TXbelBuilder::AppendBookmark(TXMLContainerType parent) {
  return TXMLBookmarkType(parent.Node().append_child("bookmark"));
}

TXMLFolderType TXbelBuilder::AppendFolder(TXMLContainerType parent) {
  TXMLFolderType folder(parent.Node().append_child("folder"));
  folder.SetTitle("New folder");
  return folder;
}

void TXbelBuilder::RenameFolder(TXMLFolderType folder, std::string_view title) { folder.SetTitle(Trim(title)); }

void TXbelBuilder::RemoveNode(TXMLElement element) {
  pugi::xml_node node = element.Node();
  if (pugi::xml_node parent = node.parent()) parent.remove_child(node);
}

void TXbelBuilder::PasteBookmarks(std::vector<TXMLBookmarkType>& list, TXMLContainerType target, PasteMode mode,
                                  TBmkRecList& records) {
  for (TXMLBookmarkType bookmark : list) {
    if (mode == PasteMode::Copy) {
      const TXMLBookmarkType copy(target.Node().append_copy(bookmark.Node()));
      records.Add(MakeRecord(copy));
    } else {
      target.Node().append_move(bookmark.Node());
    }
  }
  list.clear();
}

void TXbelBuilder::RemoveBrokenBookmarks(std::vector<TXMLBookmarkType>& list) {
  const std::size_t first = list.size();
  WalkWith(Root(), [&](TXMLBookmarkType b, void*&) {
    const pugi::xml_attribute href = b.Node().attribute("href");
    if (b.Node().first_child() && href && std::strcmp(href.value(), "href") == 0) list.push_back(b);
  });
  for (std::size_t i = first; i < list.size(); ++i) RemoveNode(list[i]);
}

// ---------------------------------------------------------------- metadata

std::string_view TXbelBuilder::GetMetadata(TXMLElement item, std::string_view owner) {
  for (pugi::xml_node m = item.Node().child("info").first_child(); m; m = m.next_sibling())
    if (ElementNamed(m, "metadata") && SameText(m.attribute("owner").value(), owner)) return m.text().get();
  return {};
}

void TXbelBuilder::SetMetadata(TXMLElement item, std::string_view owner, std::string_view text) {
  bool found = false;
  for (pugi::xml_node m = item.Node().child("info").first_child(); m; m = m.next_sibling()) {
    if (ElementNamed(m, "metadata") && owner == m.attribute("owner").value()) {
      TXMLMetadataType(m).SetValue(text);
      found = true;
    }
  }
  if (found) return;
  pugi::xml_node info = item.Node().child("info");
  if (!info) info = item.Node().append_child("info");
  TXMLMetadataType meta(info.append_child("metadata"));
  meta.SetOwner(owner);
  meta.SetValue(text);
}

void TXbelBuilder::RecordVisit(TBmkRec& record, const std::filesystem::path& currentFile) {
  ++record.VisitCount;
  record.Set(TBmkRec::kLastVisit, DateText(NowLocal()));
  SetMetadata(record.Bookmark, VisitCountOwner, std::to_string(record.VisitCount));
  record.Bookmark.SetVisited(DateText(NowLocal()));
  SaveDocument(currentFile, XbelSaveMode::Ordinary);
}

// ---------------------------------------------------------------- texts

std::string TXbelBuilder::FolderPathOf(TXMLElement item) {
  const pugi::xml_node parent = item.Node().parent();
  if (IsXbelRootNode(parent)) return "\\";
  std::string path;
  for (pugi::xml_node p = parent; p && !IsXbelRootNode(p); p = p.parent())
    if (IsFolderNode(p)) path = std::string(TXMLFolderType(p).Title()) + "\\" + path;
  return path;
}

bool TXbelBuilder::IsUrl(std::string_view text) {
  static constexpr std::string_view kSchemes[] = {"http://", "https://", "www",     "ftps://", "ftp://",
                                                  "gopher://", "news:",  "mailto:", "file:"};
  if (text.find('.') == std::string_view::npos) return false;
  const std::string lower = LowerCase(text);
  for (std::string_view scheme : kSchemes)
    if (lower.find(scheme) != std::string::npos) return true;
  return false;
}

std::string TXbelBuilder::MailListing(TXMLContainerType start) {
  std::string out;
  auto line = [&](std::string_view a, std::string_view b = {}) {
    out.append(a);
    out.append(b);
    out.append("%0a\r\n");
  };
  WalkWith(start, [&](TXMLBookmarkType b, void*&) {
    line(b.Title());
    line(b.Href());
    if (!b.Desc().empty()) line("Desc:", b.Desc());
    line("");
  });
  return out;
}

}  // namespace tessellink
