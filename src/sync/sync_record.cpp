#include "sync/sync_record.h"

#include <pugixml.hpp>

#include <limits>
#include <string>
#include <system_error>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "common/text.h"
#include "settings/xml_file.h"

namespace tessellink {
namespace {

[[noreturn]] void Malformed(const std::filesystem::path& file, const std::string& why) {
  throw FileReadError(file.string() + ": " + why);
}

int32_t ReadValue(const pugi::xml_node& parent, const char* name, const std::filesystem::path& file) {
  const pugi::xml_node child = parent.child(name);
  if (!child) return 0;
  const std::string text = child.text().as_string();
  if (Trim(text).empty()) return 0;
  const std::optional<int32_t> value = ParseInteger(text);
  if (!value) Malformed(file, std::string(parent.name()) + "/" + name + " is not an integer: \"" + text + "\"");
  return *value;
}

void AddValue(pugi::xml_node parent, const char* name, int32_t value) {
  parent.append_child(name).text().set(std::to_string(value).c_str());
}

}  // namespace

TXMLFileInfoType LoadFileInfo(const std::filesystem::path& file) {
  TXMLFileInfoType record;
  record.File = file;
  std::error_code ec;
  if (!std::filesystem::exists(file, ec) && !ec) {
    SaveFileInfo(record);
    return record;
  }
  const std::string bytes = ReadFileBytes(file);
  pugi::xml_document dom;
  const pugi::xml_parse_result parsed = dom.load_buffer(bytes.data(), bytes.size());
  if (!parsed) Malformed(file, std::string("not a well-formed XML file: ") + parsed.description());
  const pugi::xml_node root = dom.document_element();
  if (std::string(root.name()) != "FileInfo") Malformed(file, "the root element is not FileInfo");
  record.Download.version = ReadValue(root.child("Download"), "version", file);
  record.Download.size = ReadValue(root.child("Download"), "size", file);
  record.Local.version = ReadValue(root.child("Local"), "version", file);
  record.Local.size = ReadValue(root.child("Local"), "size", file);
  return record;
}

void SaveFileInfo(const TXMLFileInfoType& record) {
  pugi::xml_document dom;
  pugi::xml_node root = dom.append_child("FileInfo");
  pugi::xml_node download = root.append_child("Download");
  AddValue(download, "version", record.Download.version);
  AddValue(download, "size", record.Download.size);
  pugi::xml_node local = root.append_child("Local");
  AddValue(local, "version", record.Local.version);
  AddValue(local, "size", record.Local.size);
  SaveXmlFile(root, record.File);
}

bool MarkLocalChange(TXMLFileInfoType& record, const std::filesystem::path& openFile,
                     const std::filesystem::path& defaultFile) {
  if (openFile.empty() || openFile.native() != defaultFile.native()) return false;
  // A record at the top of the range stays there rather than wrapping to a negative version.
  const int32_t download = record.Download.version;
  const int32_t before = record.Local.version;
  record.Local.version = download == std::numeric_limits<int32_t>::max() ? download : download + 1;
  try {
    SaveFileInfo(record);
  } catch (...) {
    record.Local.version = before;  // memory and file keep telling the same story
    throw;
  }
  return true;
}

}  // namespace tessellink
