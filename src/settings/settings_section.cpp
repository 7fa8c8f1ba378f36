#include "settings/settings_section.h"

#include "common/text.h"

namespace tessellink {

namespace {

// Element text with any child elements or comments left alone; only the text
// nodes are replaced.
void ReplaceText(pugi::xml_node element, std::string_view text) {
  for (pugi::xml_node child = element.first_child(); child;) {
    const pugi::xml_node next = child.next_sibling();
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) element.remove_child(child);
    child = next;
  }
  if (!text.empty()) element.append_child(pugi::node_pcdata).set_value(std::string(text).c_str());
}

}  // namespace

std::optional<int> ParseSettingNumber(std::string_view text) { return ParseInteger(Trim(text)); }

std::optional<bool> ParseSettingFlag(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  if (SameText(trimmed, "True")) return true;
  if (SameText(trimmed, "False")) return false;
  if (const auto number = ParseSettingNumber(trimmed)) return *number != 0;
  return std::nullopt;
}

pugi::xml_node TXMLSettingsSection::ChildElement(const char* name) const {
  pugi::xml_node element = element_;  // a handle: reading may add to the tree
  pugi::xml_node child = element.child(name);
  if (!child) child = element.append_child(name);
  return child;
}

std::string TXMLSettingsSection::ReadText(const SettingField& field) const {
  return ChildElement(field.name).text().get();
}

// The initial values in the tables always convert; the fallbacks only keep a
// mistake there from reading as garbage.
int TXMLSettingsSection::ReadNumber(const SettingField& field) const {
  if (const auto value = ParseSettingNumber(ReadText(field))) return *value;
  return ParseSettingNumber(field.initial).value_or(0);
}

bool TXMLSettingsSection::ReadFlag(const SettingField& field) const {
  if (const auto value = ParseSettingFlag(ReadText(field))) return *value;
  return ParseSettingFlag(field.initial).value_or(false);
}
bool TXMLSettingsSection::ReadTextFlag(const SettingField& field) const {
  const std::string text = ReadText(field);
  if (text.empty()) return std::string_view(field.initial) == "true";
  return text == "true";
}

void TXMLSettingsSection::WriteText(const SettingField& field, std::string_view text) {
  ReplaceText(ChildElement(field.name), text);
}

void AppendInitialValues(pugi::xml_node section, std::span<const SettingField> fields) {
  for (const SettingField& field : fields) ReplaceText(section.append_child(field.name), field.initial);
}

}  // namespace tessellink
