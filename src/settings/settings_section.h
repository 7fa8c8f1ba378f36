#pragma once
// Typed views of the settings file's sections. Each section class is generated
// from one table of element name, value type and initial value, so a setting's
// type and default are written down once.

#include <pugixml.hpp>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessellink {

enum class SettingKind {
  Text,       // the element's text as is
  Scrambled,  // text holding a scrambled password; accessors see the stored form
  Number,     // decimal integer
  Flag,       // written "True"/"False"; reads either in any letter case, or a number (0 false)
  TextFlag,   // written "true"/"false"; true exactly when the text is "true"
  Shortcut,   // a number in the hotkey coding of shortcut.h
};

struct SettingField {
  const char* name;
  SettingKind kind;
  // The value a fresh settings tree holds. Numbers and flags also read as this
  // when their element is missing, empty or does not convert.
  const char* initial;
};

template <SettingKind K>
struct SettingValue {
  using Type = std::string;
  using Arg = std::string_view;
};
template <>
struct SettingValue<SettingKind::Number> {
  using Type = int;
  using Arg = int;
};
template <>
struct SettingValue<SettingKind::Shortcut> : SettingValue<SettingKind::Number> {};
template <>
struct SettingValue<SettingKind::Flag> {
  using Type = bool;
  using Arg = bool;
};
template <>
struct SettingValue<SettingKind::TextFlag> : SettingValue<SettingKind::Flag> {};

// A cheap handle over one section element; copies share the element. Reading a
// missing value element creates it empty, so the next save writes it.
class TXMLSettingsSection {
 public:
  pugi::xml_node Element() const { return element_; }

 protected:
  explicit TXMLSettingsSection(pugi::xml_node element) : element_(element) {}

  template <SettingKind K>
  typename SettingValue<K>::Type Get(const SettingField& field) const {
    if constexpr (K == SettingKind::Text || K == SettingKind::Scrambled) {
      return ReadText(field);
    } else if constexpr (K == SettingKind::Number || K == SettingKind::Shortcut) {
      return ReadNumber(field);
    } else if constexpr (K == SettingKind::Flag) {
      return ReadFlag(field);
    } else {
      return ReadTextFlag(field);
    }
  }

  template <SettingKind K>
  void Set(const SettingField& field, typename SettingValue<K>::Arg value) {
    if constexpr (K == SettingKind::Text || K == SettingKind::Scrambled) {
      WriteText(field, value);
    } else if constexpr (K == SettingKind::Number || K == SettingKind::Shortcut) {
      WriteText(field, std::to_string(value));
    } else if constexpr (K == SettingKind::Flag) {
      WriteText(field, value ? "True" : "False");
    } else {
      WriteText(field, value ? "true" : "false");
    }
  }

  // The child element named `name`, appended when missing.
  pugi::xml_node ChildElement(const char* name) const;

 private:
  std::string ReadText(const SettingField& field) const;
  int ReadNumber(const SettingField& field) const;
  bool ReadFlag(const SettingField& field) const;
  bool ReadTextFlag(const SettingField& field) const;
  void WriteText(const SettingField& field, std::string_view text);

  pugi::xml_node element_;
};

// Appends one element per field holding its initial value.
void AppendInitialValues(pugi::xml_node section, std::span<const SettingField> fields);

// Stored text to value; nullopt when the text does not convert. Blanks around
// the value are ignored.
std::optional<int> ParseSettingNumber(std::string_view text);
std::optional<bool> ParseSettingFlag(std::string_view text);

}  // namespace tessellink

// Generates, from a table macro FIELDS(X) whose rows are X(Name, Kind, Initial):
// the table `kFields`, and per row a getter `Name()` and a setter `SetName(value)`.
#define TESSELLINK_SETTING_FIELD_ENUM(Name, Kind, Initial) Name,
#define TESSELLINK_SETTING_FIELD_ROW(Name, Kind, Initial) \
  ::tessellink::SettingField{#Name, ::tessellink::SettingKind::Kind, Initial},
#define TESSELLINK_SETTING_ACCESSORS(Name, Kind, Initial)                                             \
  ::tessellink::SettingValue<::tessellink::SettingKind::Kind>::Type Name() const {                   \
    return Get<::tessellink::SettingKind::Kind>(kFields[static_cast<std::size_t>(Field::Name)]);     \
  }                                                                                                  \
  void Set##Name(::tessellink::SettingValue<::tessellink::SettingKind::Kind>::Arg value) {           \
    Set<::tessellink::SettingKind::Kind>(kFields[static_cast<std::size_t>(Field::Name)], value);     \
  }
#define TESSELLINK_SETTINGS_SECTION(FIELDS)                                                 \
 public:                                                                                    \
  enum class Field { FIELDS(TESSELLINK_SETTING_FIELD_ENUM) };                               \
  static constexpr ::tessellink::SettingField kFields[] = {FIELDS(TESSELLINK_SETTING_FIELD_ROW)}; \
  static std::span<const ::tessellink::SettingField> Fields() { return kFields; }           \
  FIELDS(TESSELLINK_SETTING_ACCESSORS)
