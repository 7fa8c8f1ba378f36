// INI files come from other programs (shortcut files, layout and template
// files a user edits): parsing any text must never crash, and the text the
// program writes back must read as the same values.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "interchange/ini_file.h"

namespace {

using namespace tessellink;

void ExpectSameValues(const TIniFile& first, const TIniFile& second, const char* what) {
  FUZZ_CHECK(first.SectionNames() == second.SectionNames(), what);
  for (const std::string& section : first.SectionNames()) {
    FUZZ_CHECK(first.KeyNames(section) == second.KeyNames(section), what);
    for (const std::string& key : first.KeyNames(section)) {
      const std::string a = first.ReadString(section, key, "\x01missing");
      const std::string b = second.ReadString(section, key, "\x01missing");
      if (a != b) {
        std::fprintf(stderr, "check failed (%s): [%s] %s reads \"%s\", then \"%s\"\n", what, section.c_str(),
                     key.c_str(), a.c_str(), b.c_str());
        std::abort();
      }
      FUZZ_CHECK(first.ReadInteger(section, key, -7) == second.ReadInteger(section, key, -7), what);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  const TIniFile ini = TIniFile::Parse(data);
  ExpectSameValues(ini, TIniFile::Parse(ini.Text()), "the text written reads back");
  return 0;
}
