// The settings and layout files shipped in the data folder.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/comma_text.h"
#include "common/text.h"
#include "settings/app_settings.h"
#include "settings/xml_file.h"
#include "settings/crlf_check.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::ExpectCrLfLines;
using test::ReadFile;
using test::SuppliedDataPath;
using test::TempDir;

void ExpectEveryElementPresent(pugi::xml_node section, std::span<const SettingField> fields) {
  ASSERT_TRUE(section);
  for (const SettingField& f : fields) EXPECT_TRUE(section.child(f.name)) << section.name() << "/" << f.name;
}

TEST(SuppliedAppSetting, IsTheFreshTreeInTheSavedForm) {
  const std::string supplied = ReadFile(SuppliedDataPath("AppSetting.xml"));
  ExpectCrLfLines(supplied);
  EXPECT_EQ(supplied, XmlFileText(TXMLAppSettingType().Element(), XmlLayout::Indented));

  TempDir dir;
  fs::copy_file(SuppliedDataPath("AppSetting.xml"), dir / "AppSetting.xml");
  const TXMLAppSettingType s = LoadAppSettingStrict(dir / "AppSetting.xml");
  // Checked before any accessor runs, since reading creates missing elements.
  ExpectEveryElementPresent(s.Element(), TXMLAppSettingType::Fields());
  ExpectEveryElementPresent(s.Element().child("Tesselsync"), TXMLTesselsyncType::Fields());
  ExpectEveryElementPresent(s.Element().child("Proxy"), TXMLProxyType::Fields());

  EXPECT_TRUE(IsFirstRun(s));
  EXPECT_EQ(s.Tesselsync().BaseUrl(), "http://127.0.0.1:8642/");
  SaveSettings(s, dir.path());
  EXPECT_EQ(ReadFile(dir / "AppSetting.xml"), supplied);
}

// A minimal reader: "[section]" lines and "key=value" lines.
std::map<std::string, std::map<std::string, std::string>> ReadIni(const std::string& bytes) {
  std::map<std::string, std::map<std::string, std::string>> ini;
  std::string section;
  for (const std::string& line : SplitLines(bytes)) {
    if (line.empty()) continue;
    if (line.front() == '[') {
      EXPECT_EQ(line.back(), ']') << line;
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const std::size_t eq = line.find('=');
    EXPECT_NE(eq, std::string::npos) << line;
    if (eq != std::string::npos) ini[section][line.substr(0, eq)] = line.substr(eq + 1);
  }
  return ini;
}

TEST(SuppliedBookmarkIni, OffersEveryColumnAndShowsAFewWithWidths) {
  const std::string bytes = ReadFile(SuppliedDataPath("bookmark.ini"));
  ExpectCrLfLines(bytes);
  auto ini = ReadIni(bytes);

  const std::vector<std::string> captions = {"Hot",     "Title",    "Link", "Visited", "Created",
                                             "Last access", "Modified", "Tags", "Desc",    "Share"};
  EXPECT_EQ(SplitCommaText(ini["headers"]["titles"]), captions);
  EXPECT_EQ(ini["headers"]["titles"], JoinCommaText(captions));

  const std::vector<std::string> checked = SplitCommaText(ini["headers"]["checked"]);
  EXPECT_EQ(checked, (std::vector<std::string>{"Hot", "Title", "Link", "Tags", "Created", "Visited"}));
  for (const std::string& caption : checked) {
    EXPECT_TRUE(InCommaList(caption, ini["headers"]["titles"])) << caption;
    const auto width = ParseInteger(ini["headerwidth"][caption]);
    ASSERT_TRUE(width.has_value()) << caption;
    EXPECT_GT(*width, 0) << caption;
  }
  EXPECT_EQ(ini["App"]["closetotray"], "1");
  EXPECT_EQ(ini["bookmark"]["ExTrayIcons"], "1");
}

}  // namespace
}  // namespace tessellink
