#include "store/xbel_elements.h"

#include "common/text.h"

namespace tessellink {

namespace {

bool NameIs(const pugi::xml_node& node, std::string_view name) {
  return node.type() == pugi::node_element && SameAsciiText(node.name(), name);
}

bool IsAlias(const pugi::xml_node& n) { return n.type() == pugi::node_element && std::string_view(n.name()) == "alias"; }
bool IsSeparator(const pugi::xml_node& n) {
  return n.type() == pugi::node_element && std::string_view(n.name()) == "separator";
}

}  // namespace

// The three names hold no letter whose upper-case form differs outside ASCII,
// so the ASCII compare is the Unicode one here.
bool IsBookmarkNode(const pugi::xml_node& node) { return NameIs(node, "bookmark"); }
bool IsFolderNode(const pugi::xml_node& node) { return NameIs(node, "folder"); }
bool IsXbelRootNode(const pugi::xml_node& node) { return NameIs(node, "xbel"); }

std::string_view TXMLElement::Attribute(const char* name) const { return node_.attribute(name).value(); }

void TXMLElement::SetAttribute(const char* name, std::string_view value) {
  pugi::xml_attribute a = node_.attribute(name);
  if (!a) a = node_.append_attribute(name);
  a.set_value(value.data(), value.size());
}

std::string_view TXMLElement::ChildText(const char* name) const { return node_.child(name).text().get(); }

void TXMLElement::SetChildText(const char* name, std::string_view value) {
  pugi::xml_node child = node_.child(name);
  if (!child) child = node_.append_child(name);
  child.text().set(value.data(), value.size());
}

std::string_view TXMLMetadataType::Value() const { return node_.text().get(); }
void TXMLMetadataType::SetValue(std::string_view v) { node_.text().set(v.data(), v.size()); }

std::size_t TXMLInfoType::Count() const {
  std::size_t n = 0;
  ForEach([&](TXMLMetadataType) { ++n; });
  return n;
}

TXMLMetadataType TXMLInfoType::Item(std::size_t index) const {
  TXMLMetadataType found;
  ForEach([&](TXMLMetadataType m) {
    if (!found && index-- == 0) found = m;
  });
  return found;
}

TXMLMetadataType TXMLInfoType::Add() { return TXMLMetadataType(node_.append_child("metadata")); }

TXMLMetadataType TXMLInfoType::Insert(std::size_t index) {
  TXMLMetadataType before = Item(index);
  if (!before) return Add();
  return TXMLMetadataType(node_.insert_child_before("metadata", before.Node()));
}

TXMLInfoType TXMLItemType::EnsureInfo() {
  pugi::xml_node info = node_.child("info");
  return TXMLInfoType(info ? info : node_.append_child("info"));
}

TXMLBookmarkTypeList TXMLContainerType::Bookmark() const { return {node_, "bookmark", IsBookmarkNode}; }
TXMLFolderTypeList TXMLContainerType::Folder() const { return {node_, "folder", IsFolderNode}; }
TXMLAliasTypeList TXMLContainerType::Alias() const { return {node_, "alias", IsAlias}; }
TXMLSeparatorTypeList TXMLContainerType::Separator() const { return {node_, "separator", IsSeparator}; }

}  // namespace tessellink
