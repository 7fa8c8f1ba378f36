#include "store/bundles.h"

#include "common/comma_text.h"
#include "common/text.h"

namespace tessellink {

namespace {

bool IsBundle(const pugi::xml_node& n) {
  return n.type() == pugi::node_element && std::string_view(n.name()) == "bundle";
}

// Every `bundle` element of the document, in document order, without recursion.
template <typename F>
void ForEachBundleElement(const pugi::xml_node& any, F&& f) {
  const pugi::xml_node top = any.root();
  pugi::xml_node n = top.first_child();
  while (n) {
    if (IsBundle(n)) f(n);
    if (n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && !n.next_sibling()) {
      n = n.parent();
      if (n == top) return;
    }
    if (n) n = n.next_sibling();
  }
}

}  // namespace

std::string TBundle::TagsText() const {
  std::string text;
  for (const std::string& item : Tags) {
    text += item;
    text += "\r\n";
  }
  return text;
}

void TBundle::SetTagsFromText(std::string_view text) { Tags = SplitLines(text); }

TBundle* TBundleList::Add(std::string_view title) {
  auto bundle = std::make_unique<TBundle>();
  bundle->Title = std::string(title);
  bundle->Tags.push_back(std::string(title));
  return Append(std::move(bundle));
}

TBundle* TBundleList::Append(std::unique_ptr<TBundle> bundle) {
  items_.push_back(std::move(bundle));
  return items_.back().get();
}

long TBundleList::IndexOf(const TBundle* bundle) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == bundle) return static_cast<long>(i);
  return -1;
}

void TBundleList::Remove(std::size_t index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index)); }

void TBundleList::Move(std::size_t from, std::size_t to) {
  if (from >= items_.size() || to >= items_.size() || from == to) return;
  auto bundle = std::move(items_[from]);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(from));
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(to), std::move(bundle));
}

void LoadBundles(TBundleList& list, const pugi::xml_node& node) {
  ForEachBundleElement(node, [&](const pugi::xml_node& element) {
    auto bundle = std::make_unique<TBundle>();
    bundle->Title = element.attribute("title").value();
    // The loader keeps an element's first text in the element itself.
    if (*element.value()) bundle->Tags = SplitCommaText(element.value());
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling())
      bundle->Tags = SplitCommaText(child.value());
    list.Append(std::move(bundle));
  });
}

void SaveBundles(const TBundleList& list, TXMLXbelType root) {
  pugi::xml_node container;
  ForEachBundleElement(root.Node(), [&](const pugi::xml_node& element) {
    if (!container) container = element.parent();
  });
  if (container) {
    // Only the bundles go: a hand-made file may keep them beside bookmarks.
    for (pugi::xml_node child = container.first_child(); child;) {
      const pugi::xml_node next = child.next_sibling();
      if (IsBundle(child)) container.remove_child(child);
      child = next;
    }
  } else {
    pugi::xml_node info = root.Node().append_child("info");
    container = info.append_child("metadata");
    container.append_attribute("owner") = std::string(BundleOwner).c_str();
  }
  for (std::size_t i = 0; i < list.Count(); ++i) {
    const TBundle* bundle = list.Item(i);
    pugi::xml_node element = container.append_child("bundle");
    element.append_attribute("title").set_value(bundle->Title.data(), bundle->Title.size());
    const std::string text = bundle->TagsText();
    element.append_child(pugi::node_pcdata).set_value(text.data(), text.size());
  }
}

}  // namespace tessellink
