#pragma once
// Typed views of the elements of an XBEL document. Each view is a cheap handle
// over a pugixml node: the DOM is the model, so whatever the program does not
// understand stays in the tree and survives a save.
//
// Reading a missing member gives empty text and creates nothing; writing creates
// the member. Text getters return views into the DOM that stay valid until that
// element or attribute changes.

#include <pugixml.hpp>

#include <cstddef>
#include <string_view>

namespace tessellink {

// Owners of the program's own metadata inside a bookmark's `info`. Never change
// them: existing files carry these values.
inline constexpr std::string_view TagsOwnerUri = "http://www.tessellink.net/xbel/tags";
inline constexpr std::string_view ShareOwnerUri = "http://www.tessellink.net/xbel/Share";
inline constexpr std::string_view VisitCountOwner = "n-visit";
inline constexpr std::string_view BundleOwner = "bundle";

// Element kinds are told apart by name, letter case ignored.
bool IsBookmarkNode(const pugi::xml_node& node);
bool IsFolderNode(const pugi::xml_node& node);
bool IsXbelRootNode(const pugi::xml_node& node);

class TXMLElement {
 public:
  TXMLElement() = default;
  explicit TXMLElement(pugi::xml_node node) : node_(node) {}

  pugi::xml_node Node() const { return node_; }
  explicit operator bool() const { return static_cast<bool>(node_); }
  friend bool operator==(const TXMLElement& a, const TXMLElement& b) { return a.node_ == b.node_; }

 protected:
  std::string_view Attribute(const char* name) const;
  void SetAttribute(const char* name, std::string_view value);
  std::string_view ChildText(const char* name) const;
  void SetChildText(const char* name, std::string_view value);

  pugi::xml_node node_;
};

class TXMLMetadataType : public TXMLElement {
 public:
  using TXMLElement::TXMLElement;
  std::string_view Owner() const { return Attribute("owner"); }
  void SetOwner(std::string_view v) { SetAttribute("owner", v); }
  std::string_view Value() const;
  void SetValue(std::string_view v);
};

class TXMLInfoType : public TXMLElement {
 public:
  using TXMLElement::TXMLElement;
  std::size_t Count() const;
  TXMLMetadataType Item(std::size_t index) const;  // empty view past the end
  TXMLMetadataType Add();
  TXMLMetadataType Insert(std::size_t index);

  template <typename F>
  void ForEach(F&& f) const {
    for (pugi::xml_node n = node_.first_child(); n; n = n.next_sibling())
      if (n.type() == pugi::node_element && std::string_view(n.name()) == "metadata") f(TXMLMetadataType(n));
  }
};

// An ordered view of the children of one kind, as the element classes expose them.
template <typename Item>
class TXMLChildList {
 public:
  using Predicate = bool (*)(const pugi::xml_node&);
  TXMLChildList(pugi::xml_node parent, const char* name, Predicate matches)
      : parent_(parent), name_(name), matches_(matches) {}

  std::size_t Count() const {
    std::size_t n = 0;
    for (pugi::xml_node c = parent_.first_child(); c; c = c.next_sibling()) n += matches_(c) ? 1 : 0;
    return n;
  }
  Item operator[](std::size_t index) const { return Item(Nth(index)); }
  // A new child placed after all existing children of the parent.
  Item Add() { return Item(parent_.append_child(name_)); }
  // A new child placed before the index-th child of this kind (at the end past it).
  Item Insert(std::size_t index) {
    pugi::xml_node before = Nth(index);
    return Item(before ? parent_.insert_child_before(name_, before) : parent_.append_child(name_));
  }
  template <typename F>
  void ForEach(F&& f) const {
    for (pugi::xml_node c = parent_.first_child(); c; c = c.next_sibling())
      if (matches_(c)) f(Item(c));
  }

 private:
  pugi::xml_node Nth(std::size_t index) const {
    for (pugi::xml_node c = parent_.first_child(); c; c = c.next_sibling())
      if (matches_(c) && index-- == 0) return c;
    return {};
  }
  pugi::xml_node parent_;
  const char* name_;
  Predicate matches_;
};

// The members that bookmarks, folders and the root share.
class TXMLItemType : public TXMLElement {
 public:
  using TXMLElement::TXMLElement;
  std::string_view Id() const { return Attribute("id"); }
  void SetId(std::string_view v) { SetAttribute("id", v); }
  std::string_view Added() const { return Attribute("added"); }
  void SetAdded(std::string_view v) { SetAttribute("added", v); }
  std::string_view Title() const { return ChildText("title"); }
  void SetTitle(std::string_view v) { SetChildText("title", v); }
  std::string_view Desc() const { return ChildText("desc"); }
  void SetDesc(std::string_view v) { SetChildText("desc", v); }
  TXMLInfoType Info() const { return TXMLInfoType(node_.child("info")); }  // may be empty
  TXMLInfoType EnsureInfo();
};

class TXMLBookmarkType : public TXMLItemType {
 public:
  using TXMLItemType::TXMLItemType;
  std::string_view Href() const { return Attribute("href"); }
  void SetHref(std::string_view v) { SetAttribute("href", v); }
  std::string_view Modified() const { return Attribute("modified"); }
  void SetModified(std::string_view v) { SetAttribute("modified", v); }
  std::string_view Visited() const { return Attribute("visited"); }
  void SetVisited(std::string_view v) { SetAttribute("visited", v); }
};

class TXMLAliasType : public TXMLElement {
 public:
  using TXMLElement::TXMLElement;
  std::string_view Ref() const { return Attribute("ref"); }
  void SetRef(std::string_view v) { SetAttribute("ref", v); }
};

class TXMLSeparatorType : public TXMLElement {
 public:
  using TXMLElement::TXMLElement;
  std::string_view Text() const { return node_.text().get(); }
};

class TXMLFolderType;
using TXMLBookmarkTypeList = TXMLChildList<TXMLBookmarkType>;
using TXMLFolderTypeList = TXMLChildList<TXMLFolderType>;
using TXMLAliasTypeList = TXMLChildList<TXMLAliasType>;
using TXMLSeparatorTypeList = TXMLChildList<TXMLSeparatorType>;

// The root and folders: both hold bookmarks and folders.
class TXMLContainerType : public TXMLItemType {
 public:
  using TXMLItemType::TXMLItemType;

  TXMLBookmarkTypeList Bookmark() const;
  TXMLFolderTypeList Folder() const;
  TXMLAliasTypeList Alias() const;
  TXMLSeparatorTypeList Separator() const;
};

class TXMLFolderType : public TXMLContainerType {
 public:
  using TXMLContainerType::TXMLContainerType;
  std::string_view Folded() const { return Attribute("folded"); }
  void SetFolded(std::string_view v) { SetAttribute("folded", v); }
};

class TXMLXbelType : public TXMLContainerType {
 public:
  using TXMLContainerType::TXMLContainerType;
  std::string_view Version() const { return Attribute("version"); }
  void SetVersion(std::string_view v) { SetAttribute("version", v); }
};

}  // namespace tessellink
