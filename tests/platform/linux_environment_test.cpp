#include "platform/linux/linux_environment.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <map>

#include "platform/linux/desktop_file.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TXdgFolders FoldersFrom(const std::map<std::string, std::string>& variables) {
  return TXdgFolders::FromLookup([&](const std::string& name) -> std::optional<std::string> {
    const auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  });
}

TEST(XdgFolders, DefaultsAndIgnoredValues) {
  const TXdgFolders xdg = FoldersFrom({{"HOME", "/home/u"},
                                       {"XDG_DATA_HOME", "relative/data"},
                                       {"XDG_CONFIG_DIRS", ""},
                                       {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}});
  EXPECT_EQ(xdg.dataHome, "/home/u/.local/share");
  EXPECT_EQ(xdg.configHome, "/home/u/.config");
  EXPECT_EQ(xdg.configDirs, std::vector<fs::path>{"/etc/xdg"});
  EXPECT_EQ(xdg.dataDirs, (std::vector<fs::path>{"/usr/local/share", "/usr/share"}));
  EXPECT_EQ(xdg.desktops, (std::vector<std::string>{"ubuntu", "gnome"}));
}

class LinuxEnvironmentTest : public ::testing::Test {
 protected:
  LinuxEnvironmentTest() : env_(Folders(), executable_) {}

  TXdgFolders Folders() const {
    return FoldersFrom({{"HOME", (dir_ / "home").string()},
                        {"XDG_DATA_HOME", (dir_ / "data").string()},
                        {"XDG_CONFIG_HOME", (dir_ / "config").string()},
                        {"XDG_CONFIG_DIRS", (dir_ / "etc1").string() + ":" + (dir_ / "etc2").string()},
                        {"XDG_DATA_DIRS", (dir_ / "share1").string() + ":" + (dir_ / "share2").string()},
                        {"XDG_CURRENT_DESKTOP", "KDE:GNOME"},
                        {"PATH", (dir_ / "bin").string()}});
  }
  TKeyFile DesktopEntry() const { return TKeyFile(ReadFile(dir_ / "data/applications/tessellink.desktop")); }
  std::vector<std::string> EntryExec() const {
    return ExecTokens(UnescapeKeyValue(DesktopEntry().Get("Desktop Entry", "Exec").value_or("")));
  }
  std::vector<std::string> EntryTypes() const {
    return SplitListValue(DesktopEntry().Get("Desktop Entry", "MimeType").value_or(""));
  }
  static void WriteEntry(const fs::path& path, const std::string& exec) {
    fs::create_directories(path.parent_path());
    WriteFile(path, "[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nName=B\nExec=" + exec + "\n");
  }

  TempDir dir_;
  fs::path executable_ = dir_ / "opt/Tessellink App/tessellink";
  TLinuxEnvironment env_;
};

TEST_F(LinuxEnvironmentTest, RegisterFileTypeWritesEntryAndMimePackage) {
  const std::string program = "/opt/My Apps/tessellink";
  ASSERT_TRUE(env_.RegisterFileType(".xbel", "xbel", "xml bookmark file", program, ""));
  EXPECT_EQ(DesktopEntry().Get("Desktop Entry", "Name"), "Tessellink");
  EXPECT_EQ(EntryExec(), (std::vector<std::string>{program, "%f"}));
  EXPECT_EQ(EntryTypes(), std::vector<std::string>{"application/x-xbel"});

  pugi::xml_document package;
  ASSERT_TRUE(package.load_file((dir_ / "data/mime/packages/tessellink-xbel.xml").c_str()));
  const pugi::xml_node type = package.child("mime-info").child("mime-type");
  EXPECT_STREQ(type.attribute("type").value(), "application/x-xbel");
  EXPECT_STREQ(type.child_value("comment"), "xml bookmark file");
  EXPECT_STREQ(type.child("glob").attribute("pattern").value(), "*.xbel");
}

TEST_F(LinuxEnvironmentTest, RegisterFileTypeKeepsForeignKeysAndTakesContentType) {
  fs::create_directories(dir_ / "data/applications");
  WriteFile(dir_ / "data/applications/tessellink.desktop",
            "[Desktop Entry]\nIcon=tessellink\nMimeType=text/x-other;\n\n[Desktop Action open]\nExec=x\n");
  ASSERT_TRUE(env_.RegisterFileType("xbel", "xbel", "Bookmarks <XBEL>", "/usr/bin/t", "application/x-tessellink"));
  ASSERT_TRUE(env_.RegisterFileType("xbel", "xbel", "Bookmarks <XBEL>", "/usr/bin/t", "application/x-tessellink"));
  EXPECT_EQ(DesktopEntry().Get("Desktop Entry", "Icon"), "tessellink");
  EXPECT_EQ(DesktopEntry().Get("Desktop Action open", "Exec"), "x");
  EXPECT_EQ(EntryTypes(), (std::vector<std::string>{"text/x-other", "application/x-tessellink"}));
  pugi::xml_document package;
  ASSERT_TRUE(package.load_file((dir_ / "data/mime/packages/tessellink-xbel.xml").c_str()));
  EXPECT_STREQ(package.child("mime-info").child("mime-type").attribute("type").value(), "application/x-tessellink");
  EXPECT_STREQ(package.child("mime-info").child("mime-type").child_value("comment"), "Bookmarks <XBEL>");
  EXPECT_STREQ(package.child("mime-info").child("mime-type").child("glob").attribute("pattern").value(), "*.xbel");
}

TEST_F(LinuxEnvironmentTest, RegisterFileTypeRefusesBadInputAndFailedWrites) {
  EXPECT_FALSE(env_.RegisterFileType("", "xbel", "d", "/usr/bin/t", ""));
  EXPECT_FALSE(env_.RegisterFileType(".xbel", "xbel", "d", "", ""));
  EXPECT_FALSE(env_.RegisterFileType(".x/y", "xbel", "d", "/usr/bin/t", ""));
  EXPECT_FALSE(env_.RegisterFileType(".xbel", "xbel", "d", "/usr/bin/t", "no type"));
  EXPECT_FALSE(fs::exists(dir_ / "data"));
  WriteFile(dir_ / "data", "a file where the folder belongs");
  EXPECT_FALSE(env_.RegisterFileType(".xbel", "xbel", "d", "/usr/bin/t", ""));
}

TEST_F(LinuxEnvironmentTest, RegisterFileTypeRunsTheMimeDatabaseTool) {
  fs::create_directories(dir_ / "bin");
  const fs::path tool = dir_ / "bin/update-mime-database";
  WriteFile(tool, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" + (dir_ / "args.txt").string() + "\"\n");
  fs::permissions(tool, fs::perms::owner_all);
  ASSERT_TRUE(env_.RegisterFileType(".xbel", "xbel", "d", "/usr/bin/t", ""));
  EXPECT_EQ(ReadFile(dir_ / "args.txt"), (dir_ / "data/mime").string() + "\n");
}

TEST_F(LinuxEnvironmentTest, RegisterUrlProtocolCreatesEntryAndDefault) {
  env_.RegisterUrlProtocol();
  EXPECT_EQ(EntryExec(), (std::vector<std::string>{executable_.string(), "%u"}));
  EXPECT_EQ(EntryTypes(), std::vector<std::string>{"x-scheme-handler/tslink"});
  EXPECT_EQ(ReadFile(dir_ / "config/mimeapps.list"),
            "[Default Applications]\nx-scheme-handler/tslink=tessellink.desktop\n");
}

TEST_F(LinuxEnvironmentTest, FileTypeAndProtocolShareOneEntryThatTakesLinks) {
  ASSERT_TRUE(env_.RegisterFileType(".xbel", "xbel", "d", "/usr/bin/tessellink", ""));
  env_.RegisterUrlProtocol();
  EXPECT_EQ(EntryTypes(), (std::vector<std::string>{"application/x-xbel", "x-scheme-handler/tslink"}));
  // A file-name field code would drop links; files now arrive as file: links.
  EXPECT_EQ(EntryExec(), (std::vector<std::string>{"/usr/bin/tessellink", "%u"}));
  ASSERT_TRUE(env_.RegisterFileType(".xbel", "xbel", "d", "/usr/bin/tessellink", ""));
  EXPECT_EQ(EntryExec(), (std::vector<std::string>{"/usr/bin/tessellink", "%u"}));
  EXPECT_EQ(EntryTypes().size(), 2u);
}

TEST_F(LinuxEnvironmentTest, RegisterUrlProtocolKeepsEveryOtherLineOfMimeApps) {
  fs::create_directories(dir_ / "config");
  WriteFile(dir_ / "config/mimeapps.list",
            "[Added Associations]\ntext/html=firefox.desktop;\n\n[Default Applications]\n# mine\n"
            "x-scheme-handler/tslink=old.desktop\ntext/html=firefox.desktop\n");
  env_.RegisterUrlProtocol();
  EXPECT_EQ(ReadFile(dir_ / "config/mimeapps.list"),
            "[Added Associations]\ntext/html=firefox.desktop;\n\n[Default Applications]\n# mine\n"
            "x-scheme-handler/tslink=tessellink.desktop\ntext/html=firefox.desktop\n");
}

TEST_F(LinuxEnvironmentTest, RunAtStartupOnOffAndLetterCase) {
  EXPECT_FALSE(env_.IsRunAtStartup());
  env_.SetRunAtStartup(true);
  ASSERT_TRUE(fs::exists(dir_ / "config/autostart/tessellink.desktop"));
  EXPECT_TRUE(env_.IsRunAtStartup());
  const TKeyFile entry(ReadFile(dir_ / "config/autostart/tessellink.desktop"));
  EXPECT_EQ(ExecTokens(UnescapeKeyValue(entry.Get("Desktop Entry", "Exec").value_or(""))),
            std::vector<std::string>{executable_.string()});

  const TLinuxEnvironment upper(Folders(), (dir_ / "opt/TESSELLINK APP/Tessellink").string());
  EXPECT_TRUE(upper.IsRunAtStartup());
  const TLinuxEnvironment other(Folders(), dir_ / "opt/Tessellink App/tessellink2");
  EXPECT_FALSE(other.IsRunAtStartup());

  env_.SetRunAtStartup(false);
  EXPECT_FALSE(fs::exists(dir_ / "config/autostart/tessellink.desktop"));
  EXPECT_FALSE(env_.IsRunAtStartup());
  env_.SetRunAtStartup(false);  // nothing to remove is no error
}

TEST_F(LinuxEnvironmentTest, DefaultBrowserFollowsTheLookupOrder) {
  const std::vector<fs::path> order = {
      dir_ / "config/kde-mimeapps.list",  dir_ / "config/gnome-mimeapps.list", dir_ / "config/mimeapps.list",
      dir_ / "etc1/kde-mimeapps.list",    dir_ / "etc1/gnome-mimeapps.list",   dir_ / "etc1/mimeapps.list",
      dir_ / "etc2/kde-mimeapps.list",    dir_ / "etc2/gnome-mimeapps.list",   dir_ / "etc2/mimeapps.list",
      dir_ / "data/applications/mimeapps.list", dir_ / "share1/applications/mimeapps.list",
      dir_ / "share2/applications/mimeapps.list"};
  EXPECT_EQ(env_.MimeAppsLookupOrder(), order);
  EXPECT_EQ(env_.DefaultBrowserCommand(), "");

  for (std::size_t i = 0; i < order.size(); ++i) {
    fs::create_directories(order[i].parent_path());
    const std::string id = "browser" + std::to_string(i) + ".desktop";
    WriteFile(order[i], "[Added Associations]\nx-scheme-handler/http=wrong.desktop;\n[Default Applications]\n"
                        "x-scheme-handler/http=" + id + "\n");
    WriteEntry(dir_ / (i % 2 ? "share2" : "share1") / "applications" / id, "browser" + std::to_string(i) + " %u");
  }
  WriteEntry(dir_ / "share1/applications/wrong.desktop", "wrong %u");
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(env_.DefaultBrowserCommand(), "browser" + std::to_string(i) + " %u") << order[i];
    fs::remove(order[i]);
  }
  EXPECT_EQ(env_.DefaultBrowserCommand(), "");
}

TEST_F(LinuxEnvironmentTest, DefaultBrowserTakesTheFirstInstalledEntry) {
  fs::create_directories(dir_ / "config");
  WriteFile(dir_ / "config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=gone.desktop;ff.desktop;\n");
  WriteEntry(dir_ / "share2/applications/ff.desktop", "/usr/lib/firefox/firefox %u");
  WriteEntry(dir_ / "data/applications/ff.desktop", "\"/opt/My Fox/firefox\" -new-tab %u");
  EXPECT_EQ(env_.DefaultBrowserCommand(), "\"/opt/My Fox/firefox\" -new-tab %u");
  EXPECT_EQ(env_.DefaultBrowserKind(), "FF");

  // A default whose entries are all missing gives way to the next file.
  WriteFile(dir_ / "config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=gone.desktop\n");
  fs::create_directories(dir_ / "etc1");
  WriteFile(dir_ / "etc1/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=op.desktop\n");
  WriteEntry(dir_ / "share1/applications/op.desktop", "opera %u");
  EXPECT_EQ(env_.DefaultBrowserCommand(), "opera %u");
}

TEST_F(LinuxEnvironmentTest, FoldersVersionAndFixedAnswers) {
  EXPECT_EQ(env_.SpecialFolderPath(6), (dir_ / "home/Favorites").string());
  EXPECT_EQ(env_.SpecialFolderPath(26), (dir_ / "config").string());
  EXPECT_EQ(env_.SpecialFolderPath(28), (dir_ / "data").string());
  EXPECT_EQ(env_.LocalAppDataPath(), (dir_ / "data").string());
  EXPECT_EQ(env_.SpecialFolderPath(5), "");
  EXPECT_FALSE(env_.FileVersionText().empty());
  EXPECT_FALSE(env_.IsIE7OrLater());
  EXPECT_GT(env_.WindowsVersionCode(), 5);
  EXPECT_EQ(env_.OperaPageTitle(), "");
}

TEST_F(LinuxEnvironmentTest, LongPathOfResolvesExistingPathsAndFileLinks) {
  fs::create_directories(dir_ / "real dir");
  WriteFile(dir_ / "real dir/b.xbel", "<xbel/>");
  fs::create_directory_symlink(dir_ / "real dir", dir_ / "link");
  const std::string real = fs::canonical(dir_ / "real dir/b.xbel").string();
  EXPECT_EQ(env_.LongPathOf((dir_ / "link/../link/b.xbel").string()), real);
  EXPECT_EQ(env_.LongPathOf("file://" + (dir_ / "link").string() + "/b%2Exbel"), real);
  EXPECT_EQ(env_.LongPathOf("file://localhost" + (dir_ / "real%20dir/b.xbel").string()), real);
  EXPECT_EQ(env_.LongPathOf("/no/such/file.xbel"), "/no/such/file.xbel");
  EXPECT_EQ(env_.LongPathOf("file://host/x.xbel"), "file://host/x.xbel");
  EXPECT_EQ(env_.LongPathOf(""), "");
}

}  // namespace
}  // namespace tessellink
