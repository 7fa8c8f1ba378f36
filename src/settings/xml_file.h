#pragma once
// The writer that the program's small XML files share (settings, browser list,
// synchronisation record, "Save As" of bookmark documents).

#include <pugixml.hpp>

#include <filesystem>
#include <string>

#include "common/atomic_file.h"

namespace tessellink {

inline constexpr const char* kXmlDeclarationLine = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

enum class XmlLayout {
  Indented,  // one element per line; for files people read
  Raw,       // the element as one text; bookmark documents carry no indentation of their own
};

// The element's XML text after the declaration line, every line ended by CR LF,
// UTF-8 without byte-order mark.
std::string XmlFileText(const pugi::xml_node& element, XmlLayout layout);

// Writes XmlFileText atomically; throws FileWriteError and leaves the old file whole.
void SaveXmlFile(const pugi::xml_node& element, const std::filesystem::path& file,
                 XmlLayout layout = XmlLayout::Indented, FileAccess access = FileAccess::Shared);

}  // namespace tessellink
