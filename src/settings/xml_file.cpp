#include "settings/xml_file.h"

#include <sstream>

#include "common/text.h"

namespace tessellink {

std::string XmlFileText(const pugi::xml_node& element, XmlLayout layout) {
  std::ostringstream serialised;
  const unsigned flags = layout == XmlLayout::Indented ? pugi::format_indent : pugi::format_raw;
  element.print(serialised, "  ", flags | pugi::format_no_declaration, pugi::encoding_utf8);
  std::string out = kXmlDeclarationLine;
  out += "\r\n";
  for (const std::string& line : SplitLines(serialised.str())) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void SaveXmlFile(const pugi::xml_node& element, const std::filesystem::path& file, XmlLayout layout,
                 FileAccess access) {
  WriteFileAtomically(file, XmlFileText(element, layout), access);
}

}  // namespace tessellink
