#include "settings/app_settings.h"

#include <algorithm>
#include <system_error>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "settings/xml_file.h"

namespace tessellink {

namespace fs = std::filesystem;

namespace {

pugi::xml_node NewRoot(pugi::xml_document& document) {
  pugi::xml_node root = document.append_child(kAppSettingElement);
  AppendInitialValues(root, TXMLAppSettingType::Fields());
  AppendInitialValues(root.append_child(kTesselsyncElement), TXMLTesselsyncType::Fields());
  AppendInitialValues(root.append_child(kProxyElement), TXMLProxyType::Fields());
  return root;
}

std::unique_ptr<pugi::xml_document> FreshDocument() {
  auto document = std::make_unique<pugi::xml_document>();
  NewRoot(*document);
  return document;
}

}  // namespace

TXMLAppSettingType::TXMLAppSettingType() : TXMLAppSettingType(FreshDocument()) {}

TXMLAppSettingType::TXMLAppSettingType(std::unique_ptr<pugi::xml_document> document)
    : TXMLSettingsSection(document->document_element()), document_(std::move(document)) {}

TXMLAppSettingType TXMLAppSettingType::Parse(std::string_view bytes, const std::string& source) {
  auto document = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result result = document->load_buffer(
      bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_comments, pugi::encoding_auto);
  if (!result) {
    throw FileReadError("\"" + source + "\" is not a valid XML file: " + result.description() +
                        " at offset " + std::to_string(result.offset));
  }
  const pugi::xml_node root = document->document_element();
  if (std::string_view(root.name()) != kAppSettingElement) {
    throw FileReadError("\"" + source + "\" is not a settings file: its root element is \"" + root.name() +
                        "\", not \"" + kAppSettingElement + "\"");
  }
  return TXMLAppSettingType(std::move(document));
}

TXMLAppSettingType LoadAppSettingStrict(const fs::path& file) {
  return TXMLAppSettingType::Parse(ReadFileBytes(file), file.string());
}

TXMLAppSettingType LoadAppSetting(const fs::path& file, const SettingsLog& log) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(file, ec);
  if (status.type() == fs::file_type::not_found) {
    if (log) log("Settings file \"" + file.string() + "\" not found; starting from the default settings.");
    return TXMLAppSettingType();
  }
  try {
    return LoadAppSettingStrict(file);
  } catch (const FileReadError& e) {
    const fs::path kept = file.string() + ".bad";
    fs::rename(file, kept, ec);
    if (ec) {
      throw FileReadError(std::string(e.what()) + "; it could not be kept as \"" + kept.string() +
                          "\": " + ec.message());
    }
    if (log) {
      log(std::string(e.what()) + ". The file was kept as \"" + kept.string() +
          "\" and the default settings are used.");
    }
    return TXMLAppSettingType();
  }
}

void SaveSettings(const TXMLAppSettingType& settings, const fs::path& dataFolder) {
  SaveXmlFile(settings.Element(), dataFolder / kAppSettingFileName, XmlLayout::Indented, FileAccess::OwnerOnly);
}

bool IsFirstRun(const TXMLAppSettingType& settings) { return settings.DefaultFile().empty(); }

int SyncIntervalMinutes(const TXMLTesselsyncType& tesselsync) {
  return std::max(tesselsync.Interval(), kMinSyncIntervalMinutes);
}

}  // namespace tessellink
