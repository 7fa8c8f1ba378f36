#include "interchange/merge.h"

#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/errors.h"

namespace tessellink {

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::size_t TitleHash(std::string_view s) noexcept {
  std::size_t h = 14695981039346656037ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}
bool SameTitle(std::string_view a, std::string_view b) noexcept { return a == b; }

// Addresses compare with only a to z folded, so they hash the same way.
std::size_t AddressHash(std::string_view s) noexcept {
  std::size_t h = 14695981039346656037ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(AsciiUpper(c))) * 1099511628211ull;
  return h;
}
bool SameAddress(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// An open-addressing table from texts to nodes that keeps the first node of
// each text. Merges look up every item of a large import once, so the table
// avoids an allocation per entry and keeps the hashes beside the keys.
template <std::size_t (*Hash)(std::string_view) noexcept, bool (*Same)(std::string_view, std::string_view) noexcept>
class TextTable {
 public:
  void Reserve(std::size_t count) {
    if (count * 2 > slots_.size()) Grow(count * 2);
  }
  pugi::xml_node Find(std::string_view key) const {
    if (slots_.empty()) return {};
    const std::size_t h = Hash(key);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (!s.node) return {};
      if (s.hash == h && Same(s.key, key)) return s.node;
    }
  }
  // Keeps the node already there for an equal key.
  void Add(std::string_view key, pugi::xml_node node) {
    if ((used_ + 1) * 2 > slots_.size()) Grow((used_ + 1) * 2);
    const std::size_t h = Hash(key);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      Slot& s = slots_[i];
      if (!s.node) {
        s = {h, key, node};
        ++used_;
        return;
      }
      if (s.hash == h && Same(s.key, key)) return;
    }
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::string_view key;
    pugi::xml_node node;  // empty for a free slot
  };
  void Grow(std::size_t atLeast) {
    std::size_t size = 16;
    while (size < atLeast) size *= 2;
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot{});
    mask_ = size - 1;
    for (const Slot& s : old) {
      if (!s.node) continue;
      std::size_t i = s.hash & mask_;
      while (slots_[i].node) i = (i + 1) & mask_;
      slots_[i] = s;
    }
  }
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

std::string_view TitleOf(pugi::xml_node folder) { return TXMLFolderType(folder).Title(); }
std::string_view HrefOf(pugi::xml_node bookmark) { return TXMLBookmarkType(bookmark).Href(); }

// What one target container holds, kept up to date as nodes arrive, so that a
// container matched again later in the same merge is not scanned again. The
// keys point into the target document, which loses nothing during a merge.
struct ContainerIndex {
  TextTable<TitleHash, SameTitle> folders;  // the first folder of each title
  TextTable<AddressHash, SameAddress> addresses;
};

class Merger {
 public:
  explicit Merger(bool sameDocument) : sameDocument_(sameDocument) {}

  void Merge(pugi::xml_node target, pugi::xml_node source) {
    // The source's children as they are now: moving some must not skip others.
    std::vector<pugi::xml_node> folders, bookmarks;
    for (pugi::xml_node c = source.first_child(); c; c = c.next_sibling()) {
      if (IsFolderNode(c))
        folders.push_back(c);
      else if (IsBookmarkNode(c))
        bookmarks.push_back(c);
    }
    ContainerIndex& index = IndexOf(target);  // stays valid: unordered_map never moves its elements

    for (pugi::xml_node folder : folders) {
      if (const pugi::xml_node match = index.folders.Find(TitleOf(folder))) {
        Merge(match, folder);
      } else {
        const pugi::xml_node moved = Move(target, folder);
        index.folders.Add(TitleOf(moved), moved);
      }
    }

    std::vector<pugi::xml_node> noted;
    for (pugi::xml_node bookmark : bookmarks)
      if (!index.addresses.Find(HrefOf(bookmark))) noted.push_back(bookmark);
    for (pugi::xml_node bookmark : noted) {
      const pugi::xml_node moved = Move(target, bookmark);
      index.addresses.Add(HrefOf(moved), moved);
    }
  }

 private:
  ContainerIndex& IndexOf(pugi::xml_node container) {
    auto [it, added] = indexes_.try_emplace(container.internal_object());
    if (added) {
      std::vector<pugi::xml_node> folders, bookmarks;
      for (pugi::xml_node c = container.first_child(); c; c = c.next_sibling()) {
        if (IsFolderNode(c))
          folders.push_back(c);
        else if (IsBookmarkNode(c))
          bookmarks.push_back(c);
      }
      it->second.folders.Reserve(folders.size());
      for (pugi::xml_node f : folders) it->second.folders.Add(TitleOf(f), f);
      it->second.addresses.Reserve(bookmarks.size());
      for (pugi::xml_node b : bookmarks) it->second.addresses.Add(HrefOf(b), b);
    }
    return it->second;
  }

  // pugixml moves nodes only within one document; between two, the subtree is
  // copied over and the original removed.
  pugi::xml_node Move(pugi::xml_node target, pugi::xml_node node) {
    pugi::xml_node moved;
    if (sameDocument_) {
      moved = target.append_move(node);
    } else {
      moved = target.append_copy(node);
      if (moved) node.parent().remove_child(node);
    }
    if (!moved) throw AppError("an item could not be moved while merging bookmarks");
    return moved;
  }

  const bool sameDocument_;
  std::unordered_map<pugi::xml_node_struct*, ContainerIndex> indexes_;
};

bool Holds(pugi::xml_node outer, pugi::xml_node inner) {
  for (pugi::xml_node n = inner.parent(); n; n = n.parent())
    if (n == outer) return true;
  return false;
}

void MergeContainers(TXMLContainerType target, TXMLContainerType source) {
  const pugi::xml_node t = target.Node(), s = source.Node();
  if (!t || !s || t == s) return;
  const bool sameDocument = t.root() == s.root();
  if (sameDocument && (Holds(t, s) || Holds(s, t)))
    throw AppError("bookmarks cannot be merged into a folder that holds them or lies within them");
  Merger(sameDocument).Merge(t, s);
}

}  // namespace

void MergeDocument(TXMLContainerType target, TXMLContainerType source) { MergeContainers(target, source); }

void MergeFolder(TXMLContainerType target, TXMLContainerType source) { MergeContainers(target, source); }

}  // namespace tessellink
