#pragma once
// The sharing service's posts document: the reply of "getall", a `posts` root
// holding one `post` element per bookmark kept on the service.

#include <pugixml.hpp>

#include <filesystem>
#include <memory>
#include <string_view>

namespace tessellink {

class TXMLPostType {
 public:
  explicit TXMLPostType(pugi::xml_node node) : node_(node) {}
  std::string_view Href() const { return Text("href"); }
  std::string_view Description() const { return Text("description"); }
  std::string_view Hash() const { return Text("hash"); }
  std::string_view Shared() const { return Text("shared"); }
  std::string_view Tag() const { return Text("tag"); }
  std::string_view Time() const { return Text("time"); }
  std::string_view Extended() const { return Text("extended"); }

 private:
  std::string_view Text(const char* name) const { return node_.attribute(name).value(); }
  pugi::xml_node node_;
};

class TXMLPostsType {
 public:
  // Throws FileReadError naming the file when it cannot be read, is not
  // well-formed XML or its root is not `posts`.
  static std::unique_ptr<TXMLPostsType> Load(const std::filesystem::path& file);

  std::string_view Update() const { return Root().attribute("update").value(); }
  std::string_view User() const { return Root().attribute("user").value(); }
  std::size_t Count() const;
  template <typename F>
  void ForEach(F&& f) const {
    for (pugi::xml_node n = Root().child("post"); n; n = n.next_sibling("post")) f(TXMLPostType(n));
  }

 private:
  pugi::xml_node Root() const { return dom_.document_element(); }
  pugi::xml_document dom_;
};

}  // namespace tessellink
