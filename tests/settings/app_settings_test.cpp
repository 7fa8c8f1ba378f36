#include "settings/app_settings.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "settings/password_scramble.h"
#include "settings/xml_file.h"
#include "settings/crlf_check.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string FreshText() { return XmlFileText(TXMLAppSettingType().Element(), XmlLayout::Indented); }

std::string TextOf(const TXMLAppSettingType& settings) { return XmlFileText(settings.Element(), XmlLayout::Indented); }

// Every element of the tables present and empty.
std::string AllElementsEmpty() {
  std::string xml = "<AppSetting>";
  for (const SettingField& f : TXMLAppSettingType::Fields()) xml += std::string("<") + f.name + "/>";
  xml += "<Tesselsync>";
  for (const SettingField& f : TXMLTesselsyncType::Fields()) xml += std::string("<") + f.name + "></" + f.name + ">";
  xml += "</Tesselsync><Proxy>";
  for (const SettingField& f : TXMLProxyType::Fields()) xml += std::string("<") + f.name + "/>";
  return xml + "</Proxy></AppSetting>";
}

struct NamedText {
  const char* name;
  std::string text;
};

void PrintTo(const NamedText& param, std::ostream* out) { *out << param.name; }

std::string NameOf(const ::testing::TestParamInfo<NamedText>& info) { return info.param.name; }

class AppSettingsDefaults : public ::testing::TestWithParam<NamedText> {};

TEST_P(AppSettingsDefaults, MissingOrEmptyElementsReadAsTheirDefaults) {
  const TXMLAppSettingType s = TXMLAppSettingType::Parse(GetParam().text, "test");
  EXPECT_EQ(s.LastSortColumn(), 1);
  EXPECT_EQ(s.LastSortDirection(), 0);
  EXPECT_FALSE(s.OpenLinkInNewWindow());
  EXPECT_EQ(s.AddBookmarkHotkey(), 0);
  EXPECT_EQ(s.AddBookmarkHotkey2(), 0);
  EXPECT_EQ(s.LastUseFolderIndex(), 0);
  EXPECT_FALSE(s.PrivateBookmark());
  EXPECT_FALSE(s.AutoSych());
  EXPECT_EQ(s.Recent(), 20);
  EXPECT_EQ(s.HotKey(), 0);
  EXPECT_FALSE(s.MonitorIE());
  for (const std::string& text : {s.Username(), s.Password(), s.OpenBrowser(), s.DefaultFile(), s.LastFolderPath()})
    EXPECT_EQ(text, "");
  EXPECT_TRUE(IsFirstRun(s));

  const TXMLTesselsyncType sync = s.Tesselsync();
  EXPECT_TRUE(sync.Savedinlocal());
  EXPECT_FALSE(sync.Autosync());
  EXPECT_TRUE(sync.Usessl());
  EXPECT_EQ(sync.Interval(), 30);
  EXPECT_EQ(sync.BaseUrl(), "");  // text reads as empty; only a fresh tree carries the address
  EXPECT_EQ(sync.Username(), "");

  const TXMLProxyType proxy = s.Proxy();
  EXPECT_TRUE(proxy.Donotuseproxy());
  EXPECT_FALSE(proxy.Settingasie());
  EXPECT_FALSE(proxy.Manualsetting());
  EXPECT_EQ(proxy.Servername(), "");
  EXPECT_EQ(proxy.Port(), "");
}

INSTANTIATE_TEST_SUITE_P(Forms, AppSettingsDefaults,
                         ::testing::Values(NamedText{"AllMissing", "<AppSetting/>"},
                                           NamedText{"AllEmpty", AllElementsEmpty()},
                                           NamedText{"EmptySections", "<AppSetting><Tesselsync/><Proxy/></AppSetting>"}),
                         NameOf);

TEST(AppSettings, ValueTextsConvertByType) {
  const struct {
    const char* text;
    bool flagDefaultFalse;  // MonitorIE
    bool flagDefaultTrue;   // Tesselsync/Usessl
    bool textFlag;          // PrivateBookmark
    int number;             // Recent, default 20
  } cases[] = {
      {"True", true, true, false, 20},
      {"FALSE", false, false, false, 20},
      {"true", true, true, true, 20},
      {"1", true, true, false, 1},
      {"0", false, false, false, 0},
      {"7", true, true, false, 7},
      {"-3", true, true, false, -3},
      {" 42 ", true, true, false, 42},
      {"garbage", false, true, false, 20},
      {"", false, true, false, 20},
      {"2.5", false, true, false, 20},
      {"99999999999", false, true, false, 20},
  };
  for (const auto& c : cases) {
    TXMLAppSettingType s;
    s.Element().child("MonitorIE").text().set(c.text);
    s.Element().child("Tesselsync").child("Usessl").text().set(c.text);
    s.Element().child("PrivateBookmark").text().set(c.text);
    s.Element().child("Recent").text().set(c.text);
    EXPECT_EQ(s.MonitorIE(), c.flagDefaultFalse) << '"' << c.text << '"';
    EXPECT_EQ(s.Tesselsync().Usessl(), c.flagDefaultTrue) << '"' << c.text << '"';
    EXPECT_EQ(s.PrivateBookmark(), c.textFlag) << '"' << c.text << '"';
    EXPECT_EQ(s.Recent(), c.number) << '"' << c.text << '"';
  }
}

TEST(AppSettings, SettersWriteTheStoredForms) {
  TXMLAppSettingType s;
  s.SetMonitorIE(true);
  s.SetOpenLinkInNewWindow(false);
  s.SetPrivateBookmark(true);
  s.SetRecent(150);
  s.SetHotKey(16449);
  s.SetDefaultFile("");
  s.Proxy().SetPassword(Scramble("pw"));
  const pugi::xml_node root = s.Element();
  EXPECT_STREQ(root.child("MonitorIE").text().get(), "True");
  EXPECT_STREQ(root.child("OpenLinkInNewWindow").text().get(), "False");
  EXPECT_STREQ(root.child("PrivateBookmark").text().get(), "true");
  EXPECT_STREQ(root.child("Recent").text().get(), "150");
  EXPECT_STREQ(root.child("HotKey").text().get(), "16449");
  EXPECT_FALSE(root.child("DefaultFile").first_child());  // written as an empty element
  EXPECT_EQ(Unscramble(s.Proxy().Password()), "pw");
  s.SetPrivateBookmark(false);
  EXPECT_STREQ(root.child("PrivateBookmark").text().get(), "false");
}

TEST(AppSettings, ValuesSurviveSaveAndLoad) {
  TempDir dir;
  TXMLAppSettingType s;
  const std::string path = "/home/é/a&b <c> \"d\".xbel";
  s.SetDefaultFile(path);
  s.SetUsername("ünïcode");
  s.SetLastSortDirection(1);
  s.SetAutoSych(true);
  s.Tesselsync().SetInterval(120);
  s.Tesselsync().SetAutosync(true);
  s.Tesselsync().SetPassword(Scramble("secret"));
  s.Proxy().SetPort("3128");
  SaveSettings(s, dir.path());

  const TXMLAppSettingType back = LoadAppSettingStrict(dir / "AppSetting.xml");
  EXPECT_EQ(back.DefaultFile(), path);
  EXPECT_EQ(back.Username(), "ünïcode");
  EXPECT_EQ(back.LastSortDirection(), 1);
  EXPECT_TRUE(back.AutoSych());
  EXPECT_EQ(back.Tesselsync().Interval(), 120);
  EXPECT_TRUE(back.Tesselsync().Autosync());
  EXPECT_EQ(Unscramble(back.Tesselsync().Password()), "secret");
  EXPECT_EQ(back.Proxy().Port(), "3128");
  EXPECT_FALSE(IsFirstRun(back));
}

TEST(AppSettings, ReadingCreatesTheMissingElementEmptyAndSavingWritesIt) {
  TempDir dir;
  WriteFile(dir / "AppSetting.xml", "<AppSetting><Recent>5</Recent></AppSetting>");
  const TXMLAppSettingType s = LoadAppSettingStrict(dir / "AppSetting.xml");
  ASSERT_FALSE(s.Element().child("LastSortColumn"));

  EXPECT_EQ(s.LastSortColumn(), 1);
  EXPECT_EQ(s.Tesselsync().Interval(), 30);
  ASSERT_TRUE(s.Element().child("LastSortColumn"));
  EXPECT_FALSE(s.Element().child("LastSortColumn").first_child());
  EXPECT_FALSE(s.Element().child("HotKey"));  // elements nobody read stay away

  SaveSettings(s, dir.path());
  EXPECT_EQ(ReadFile(dir / "AppSetting.xml"),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
            "<AppSetting>\r\n"
            "  <Recent>5</Recent>\r\n"
            "  <LastSortColumn />\r\n"
            "  <Tesselsync>\r\n"
            "    <Interval />\r\n"
            "  </Tesselsync>\r\n"
            "</AppSetting>\r\n");
}

TEST(AppSettings, SyncIntervalIsAtLeastTenMinutes) {
  const struct {
    const char* stored;
    int minutes;
  } cases[] = {{"5", 10}, {"10", 10}, {"30", 30}, {"2000", 2000}, {"-1", 10}, {"0", 10}, {"", 30}, {"x", 30}};
  for (const auto& c : cases) {
    TXMLAppSettingType s;
    s.Element().child("Tesselsync").child("Interval").text().set(c.stored);
    EXPECT_EQ(SyncIntervalMinutes(s.Tesselsync()), c.minutes) << c.stored;
  }
}

TEST(AppSettings, SavedFileHasDeclarationCrLfNoBomAndOwnerOnlyMode) {
  TempDir dir;
  const fs::path file = dir / "AppSetting.xml";
  WriteFile(file, "old");
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);

  TXMLAppSettingType s;
  s.SetLastFolderPath("Links\\Work\nsecond line");
  SaveSettings(s, dir.path());

  const std::string bytes = ReadFile(file);
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<AppSetting>\r\n", 0), 0u);
  test::ExpectCrLfLines(bytes);
  EXPECT_EQ(bytes, TextOf(s));

  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(LoadAppSettingStrict(file).LastFolderPath(), "Links\\Work\nsecond line");
}

TEST(AppSettings, FailedSaveThrowsAndKeepsTheOldFileAndTheTree) {
  TempDir dir;
  TXMLAppSettingType s;
  s.SetDefaultFile("/old.xbel");
  SaveSettings(s, dir.path());
  const std::string before = ReadFile(dir / "AppSetting.xml");

  s.SetDefaultFile("/new.xbel");
  const std::string tree = TextOf(s);
  {
    ScopedWriteFault fault(40);
    EXPECT_THROW(SaveSettings(s, dir.path()), FileWriteError);
  }
  EXPECT_EQ(ReadFile(dir / "AppSetting.xml"), before);
  EXPECT_EQ(TextOf(s), tree);
  EXPECT_THROW(SaveSettings(s, dir / "missing-folder"), FileWriteError);

  SaveSettings(s, dir.path());
  EXPECT_EQ(LoadAppSettingStrict(dir / "AppSetting.xml").DefaultFile(), "/new.xbel");
}

TEST(AppSettings, MissingFileStartsFromDefaults) {
  TempDir dir;
  const fs::path file = dir / "AppSetting.xml";
  std::vector<std::string> log;
  const TXMLAppSettingType s = LoadAppSetting(file, [&](const std::string& line) { log.push_back(line); });
  EXPECT_EQ(TextOf(s), FreshText());
  EXPECT_TRUE(IsFirstRun(s));
  EXPECT_EQ(s.Tesselsync().BaseUrl(), "http://127.0.0.1:8642/");
  EXPECT_FALSE(fs::exists(file));  // loading writes nothing
  EXPECT_EQ(log.size(), 1u);
  EXPECT_THROW(LoadAppSettingStrict(file), FileReadError);
}

class MalformedSettings : public ::testing::TestWithParam<NamedText> {};

TEST_P(MalformedSettings, IsKeptAsBadAndDefaultsAreUsed) {
  TempDir dir;
  const fs::path file = dir / "AppSetting.xml";
  const fs::path bad = dir / "AppSetting.xml.bad";
  const std::string& bytes = GetParam().text;
  WriteFile(file, bytes);
  WriteFile(bad, "an older bad file");

  EXPECT_THROW(LoadAppSettingStrict(file), FileReadError);
  EXPECT_EQ(ReadFile(file), bytes);  // the strict loader leaves it alone

  std::vector<std::string> log;
  const TXMLAppSettingType s = LoadAppSetting(file, [&](const std::string& line) { log.push_back(line); });
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(ReadFile(bad), bytes);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("AppSetting.xml.bad"), std::string::npos) << log[0];
  EXPECT_EQ(TextOf(s), FreshText());

  SaveSettings(s, dir.path());  // the first-run save does not touch the kept file
  EXPECT_EQ(ReadFile(bad), bytes);
}

constexpr char kNulInside[] = "<AppSetting>\0\xff</AppSetting>";

INSTANTIATE_TEST_SUITE_P(Contents, MalformedSettings,
                         ::testing::Values(NamedText{"EmptyFile", ""}, NamedText{"NotXml", "not xml at all"},
                                           NamedText{"Unclosed", "<AppSetting><Recent>5</AppSetting>"},
                                           NamedText{"OtherRoot", "<Settings><Recent>5</Recent></Settings>"},
                                           NamedText{"NulByte", std::string(kNulInside, sizeof kNulInside - 1)},
                                           NamedText{"NoElement", "<?xml version=\"1.0\"?><!-- only a comment -->"}),
                         NameOf);

TEST(AppSettings, MalformedFileThatCannotBeMovedAsideIsAnError) {
  TempDir dir;
  const fs::path file = dir / "AppSetting.xml";
  WriteFile(file, "broken");
  fs::create_directories(dir / "AppSetting.xml.bad" / "in-the-way");
  EXPECT_THROW(LoadAppSetting(file), FileReadError);
  EXPECT_EQ(ReadFile(file), "broken");
}

TEST(AppSettings, ProxyChoiceLeavesTheManualValuesInTheFile) {
  TempDir dir;
  WriteFile(dir / "AppSetting.xml",
            "<AppSetting><Proxy><Donotuseproxy>False</Donotuseproxy><Settingasie>False</Settingasie>"
            "<Manualsetting>True</Manualsetting><Servername>proxy.example</Servername><Port>3128</Port>"
            "<Username>me</Username><Password>" +
                Scramble("pw") + "</Password></Proxy></AppSetting>");
  TXMLAppSettingType s = LoadAppSettingStrict(dir / "AppSetting.xml");
  TXMLProxyType proxy = s.Proxy();
  proxy.SetDonotuseproxy(true);
  proxy.SetSettingasie(false);
  proxy.SetManualsetting(false);
  SaveSettings(s, dir.path());

  EXPECT_NE(ReadFile(dir / "AppSetting.xml").find("<Servername>proxy.example</Servername>"), std::string::npos);
  const TXMLProxyType back = LoadAppSettingStrict(dir / "AppSetting.xml").Proxy();
  EXPECT_TRUE(back.Donotuseproxy());
  EXPECT_FALSE(back.Manualsetting());
  EXPECT_EQ(back.Servername(), "proxy.example");
  EXPECT_EQ(back.Port(), "3128");
  EXPECT_EQ(back.Username(), "me");
  EXPECT_EQ(Unscramble(back.Password()), "pw");
}

TEST(AppSettings, SectionViewsStayValidWhenTheTreeMoves) {
  TXMLAppSettingType s;
  TXMLTesselsyncType sync = s.Tesselsync();
  TXMLAppSettingType moved = std::move(s);
  sync.SetInterval(90);
  EXPECT_EQ(moved.Tesselsync().Interval(), 90);
}

}  // namespace
}  // namespace tessellink
