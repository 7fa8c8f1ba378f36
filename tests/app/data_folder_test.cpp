#include "app/data_folder.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "common/errors.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::vector<std::string> kSupplied = {"AppSetting.xml", "default.xbel", "bookmark.ini", "export.ini",
                                            "firefoxheader.txt"};

class DataFolderTest : public ::testing::Test {
 protected:
  DataFolderTest() {
    fs::create_directories(exe_);
    WriteFile(exe_ / "AppSetting.xml", "<settings/>");
    WriteFile(exe_ / "default.xbel", "<xbel/>");
    WriteFile(exe_ / "bookmark.ini", "[a]\r\n");
    fs::create_directories(exe_ / "export.ini");  // not a regular file
    WriteFile(exe_ / "unlisted.txt", "x");
  }
  TempDir dir_;
  fs::path exe_ = dir_ / "opt";
  fs::path user_ = dir_ / "home/.local/share/tessellink";
};

TEST_F(DataFolderTest, UserFolderIsCreatedAndSeededWithoutReplacingUserFiles) {
  fs::create_directories(user_);
  WriteFile(user_ / "default.xbel", "<xbel>mine</xbel>");
  PrepareUserDataFolder(exe_, kSupplied, user_);
  EXPECT_EQ(ReadFile(user_ / "AppSetting.xml"), "<settings/>");
  EXPECT_EQ(ReadFile(user_ / "bookmark.ini"), "[a]\r\n");
  EXPECT_EQ(ReadFile(user_ / "default.xbel"), "<xbel>mine</xbel>");
  EXPECT_FALSE(fs::exists(user_ / "export.ini"));
  EXPECT_FALSE(fs::exists(user_ / "firefoxheader.txt"));
  EXPECT_FALSE(fs::exists(user_ / "unlisted.txt"));
}

TEST_F(DataFolderTest, WritableExecutableFolderIsUsedAsIs) {
  EXPECT_EQ(ChooseDataFolder(exe_, kSupplied, user_), exe_);
  EXPECT_FALSE(fs::exists(user_));
}

TEST_F(DataFolderTest, MissingExecutableFolderFallsBackToTheUserFolder) {
  EXPECT_EQ(ChooseDataFolder(dir_ / "missing", kSupplied, user_), user_);
  EXPECT_TRUE(fs::is_directory(user_));
}

TEST_F(DataFolderTest, ReadOnlyExecutableFolderFallsBackToTheUserFolder) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  fs::permissions(exe_, fs::perms::owner_read | fs::perms::owner_exec);
  const fs::path other = dir_ / "other";
  const fs::path chosen = ChooseDataFolder(exe_, kSupplied, other);
  fs::permissions(exe_, fs::perms::owner_all);
  EXPECT_EQ(chosen, other);
  EXPECT_EQ(ReadFile(other / "default.xbel"), "<xbel/>");
}

TEST_F(DataFolderTest, UserFolderThatCannotBeMadeIsAnError) {
  WriteFile(dir_ / "blocker", "file in the way");
  EXPECT_THROW(PrepareUserDataFolder(exe_, kSupplied, dir_ / "blocker" / "tessellink"), AppError);
  EXPECT_THROW(PrepareUserDataFolder(exe_, kSupplied, fs::path()), AppError);
}

TEST(AppPath, EndsWithOneSlash) {
  EXPECT_EQ(AppPath("/opt/tessellink"), "/opt/tessellink/");
  EXPECT_EQ(AppPath("/opt/tessellink/"), "/opt/tessellink/");
  EXPECT_EQ(AppPath(""), "./");
}

TEST(RunningExecutablePath, NamesThisProgram) {
  const fs::path self = RunningExecutablePath();
  EXPECT_TRUE(self.is_absolute());
  EXPECT_EQ(self.filename(), "app_tests");
}

}  // namespace
}  // namespace tessellink
