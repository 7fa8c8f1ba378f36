// "AppSetting.xml" is read at every start and may have been edited by hand or
// cut short: parsing it, reading every setting and writing it back must never
// crash, and what is written must load again with the same typed values.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/errors.h"
#include "fuzz_check.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "settings/xml_file.h"

namespace {

using namespace tessellink;

// The typed values of the tree in one list, so two trees can be compared. Texts
// are read (and passwords unscrambled) but not compared: the indented writer
// may change blanks and line breaks inside them.
struct Values {
  std::vector<long long> typed;
};

template <SettingKind K, typename V>
void Use(const V& value, Values& out) {
  if constexpr (K == SettingKind::Scrambled) {
    (void)Unscramble(value);
  } else if constexpr (K == SettingKind::Text) {
    (void)value.size();
  } else {
    out.typed.push_back(static_cast<long long>(value));
  }
}

// Reading a value element creates it when missing; the setter writes back what
// was read, which must read back the same.
template <SettingKind K, typename Section, typename Get, typename Set>
void ReadAndRewrite(Section& section, Get get, Set set, Values& out) {
  const auto value = (section.*get)();
  Use<K>(value, out);
  if constexpr (K != SettingKind::Text && K != SettingKind::Scrambled) {
    (section.*set)(value);
    FUZZ_CHECK((section.*get)() == value, "a typed setting reads back what was written");
  }
}

#define FUZZ_READ_FIELD(Name, Kind, Initial) \
  ReadAndRewrite<SettingKind::Kind>(section, &Section::Name, &Section::Set##Name, out);

template <typename Section>
void ReadRoot(Section& section, Values& out) {
  TESSELLINK_APP_SETTING_FIELDS(FUZZ_READ_FIELD)
}
template <typename Section>
void ReadTesselsync(Section& section, Values& out) {
  TESSELLINK_TESSELSYNC_FIELDS(FUZZ_READ_FIELD)
}
template <typename Section>
void ReadProxy(Section& section, Values& out) {
  TESSELLINK_PROXY_FIELDS(FUZZ_READ_FIELD)
}

#undef FUZZ_READ_FIELD

Values ReadAll(TXMLAppSettingType& root) {
  Values out;
  ReadRoot(root, out);
  TXMLTesselsyncType tesselsync = root.Tesselsync();
  ReadTesselsync(tesselsync, out);
  TXMLProxyType proxy = root.Proxy();
  ReadProxy(proxy, out);
  FUZZ_CHECK(SyncIntervalMinutes(tesselsync) >= kMinSyncIntervalMinutes, "the interval has its minimum");
  (void)IsFirstRun(root);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  TXMLAppSettingType root;
  try {
    root = TXMLAppSettingType::Parse(data, "fuzz");
  } catch (const FileReadError&) {
    return 0;
  }
  const Values first = ReadAll(root);

  // What SaveSettings writes must be a settings file again.
  const std::string text = XmlFileText(root.Element(), XmlLayout::Indented);
  TXMLAppSettingType again;
  try {
    again = TXMLAppSettingType::Parse(text, "fuzz-saved");
  } catch (const FileReadError& e) {
    std::fprintf(stderr, "check failed: saved settings do not load again: %s\n---\n%s\n---\n", e.what(), text.c_str());
    std::abort();
  }
  FUZZ_CHECK(ReadAll(again).typed == first.typed, "saved settings read back the same numbers and flags");
  (void)XmlFileText(again.Element(), XmlLayout::Raw);
  return 0;
}
