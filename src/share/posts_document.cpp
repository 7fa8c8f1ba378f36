#include "share/posts_document.h"

#include <string>

#include "common/atomic_file.h"
#include "common/errors.h"

namespace tessellink {

std::unique_ptr<TXMLPostsType> TXMLPostsType::Load(const std::filesystem::path& file) {
  const std::string bytes = ReadFileBytes(file);
  auto posts = std::make_unique<TXMLPostsType>();
  const pugi::xml_parse_result parsed = posts->dom_.load_buffer(bytes.data(), bytes.size(), pugi::parse_default,
                                                                pugi::encoding_utf8);
  if (!parsed) {
    throw FileReadError("Could not load " + file.string() + ": " + parsed.description() + " at offset " +
                        std::to_string(parsed.offset));
  }
  if (std::string_view(posts->Root().name()) != "posts") {
    throw FileReadError("Could not load " + file.string() + ": the reply is not a posts document");
  }
  return posts;
}

std::size_t TXMLPostsType::Count() const {
  std::size_t n = 0;
  for (pugi::xml_node c = Root().child("post"); c; c = c.next_sibling("post")) ++n;
  return n;
}

}  // namespace tessellink
