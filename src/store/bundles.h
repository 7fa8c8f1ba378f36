#pragma once
// Bundles: named groups of tags kept inside the XBEL file, in `bundle` elements
// under the root's `info` (a `metadata` element with owner "bundle").

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbel_elements.h"

namespace tessellink {

class TBundle {
 public:
  std::string Title;
  std::vector<std::string> Tags;

  // The items, each followed by CR LF; empty for no items.
  std::string TagsText() const;
  // One item per line (CR LF, CR or LF); a text without line breaks is one item.
  void SetTagsFromText(std::string_view text);
};

class TBundleList {
 public:
  // A bundle with that title whose only item is the title itself.
  TBundle* Add(std::string_view title);
  TBundle* Append(std::unique_ptr<TBundle> bundle);
  std::size_t Count() const { return items_.size(); }
  TBundle* Item(std::size_t index) const { return items_.at(index).get(); }
  long IndexOf(const TBundle* bundle) const;
  void Remove(std::size_t index);  // destroys the bundle
  void Move(std::size_t from, std::size_t to);
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TBundle>> items_;
};

// Appends one bundle per `bundle` element anywhere in the node's document, in
// document order; the items come from the element's text, split as a tag text.
void LoadBundles(TBundleList& list, const pugi::xml_node& node);
// Writes the list into the container of the first `bundle` element (its old
// bundles removed), or into a new `info`/`metadata` container appended to the root.
void SaveBundles(const TBundleList& list, TXMLXbelType root);

}  // namespace tessellink
