#include "sync/sync_record.h"

#include <gtest/gtest.h>

#include <string>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(SyncRecordTest, MissingFileIsCreatedWithZeros) {
  TempDir dir;
  const auto file = dir / kFileInfoFileName;
  const TXMLFileInfoType record = LoadFileInfo(file);
  EXPECT_EQ(record.Download.version, 0);
  EXPECT_EQ(record.Download.size, 0);
  EXPECT_EQ(record.Local.version, 0);
  ASSERT_TRUE(std::filesystem::exists(file));
  const std::string text = ReadFile(file);
  EXPECT_NE(text.find("<FileInfo>"), std::string::npos);
  EXPECT_NE(text.find("<version>0</version>"), std::string::npos);
}

TEST(SyncRecordTest, SaveAndLoadKeepEveryValue) {
  TempDir dir;
  TXMLFileInfoType record;
  record.File = dir / kFileInfoFileName;
  record.Download = {7, 1234};
  record.Local = {8, 5};
  SaveFileInfo(record);
  const TXMLFileInfoType back = LoadFileInfo(record.File);
  EXPECT_EQ(back.Download.version, 7);
  EXPECT_EQ(back.Download.size, 1234);
  EXPECT_EQ(back.Local.version, 8);
  EXPECT_EQ(back.Local.size, 5);
}

TEST(SyncRecordTest, ReadsAFileWrittenByHandWithMissingParts) {
  TempDir dir;
  const auto file = dir / kFileInfoFileName;
  WriteFile(file, "<?xml version=\"1.0\"?>\r\n<FileInfo><Local><version> 3</version></Local></FileInfo>");
  const TXMLFileInfoType record = LoadFileInfo(file);
  EXPECT_EQ(record.Download.version, 0);
  EXPECT_EQ(record.Local.version, 3);
}

TEST(SyncRecordTest, MalformedFilesFailClearlyAndStayAsTheyWere) {
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {
      {"<FileInfo><Download><version>1</version>", "well-formed"},
      {"<Other/>", "FileInfo"},
      {"<FileInfo><Download><version>1a</version></Download></FileInfo>", "Download/version"},
      {"<FileInfo><Local><size>99999999999</size></Local></FileInfo>", "Local/size"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    const auto file = dir / kFileInfoFileName;
    WriteFile(file, c.text);
    try {
      LoadFileInfo(file);
      ADD_FAILURE() << "no error";
    } catch (const FileReadError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(kFileInfoFileName), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFile(file), c.text);
  }
}

TEST(SyncRecordTest, LocalChangeCountsOnlyForTheExactDefaultPath) {
  TempDir dir;
  TXMLFileInfoType record = LoadFileInfo(dir / kFileInfoFileName);
  record.Download.version = 4;
  record.Local.version = 4;
  const std::filesystem::path defaultFile = dir / "Default.xbel";

  EXPECT_FALSE(MarkLocalChange(record, dir / "default.xbel", defaultFile));  // letter case counts
  EXPECT_FALSE(MarkLocalChange(record, dir / "Other.xbel", defaultFile));
  EXPECT_FALSE(MarkLocalChange(record, "", ""));
  EXPECT_EQ(record.Local.version, 4);
  EXPECT_EQ(LoadFileInfo(record.File).Local.version, 0);  // nothing saved

  EXPECT_TRUE(MarkLocalChange(record, defaultFile, defaultFile));
  EXPECT_EQ(record.Local.version, 5);
  EXPECT_EQ(LoadFileInfo(record.File).Local.version, 5);
  // Further changes stay one above the last transfer.
  EXPECT_TRUE(MarkLocalChange(record, defaultFile, defaultFile));
  EXPECT_EQ(record.Local.version, 5);
}

TEST(SyncRecordTest, FailedSaveOfALocalChangeKeepsMemoryAndFile) {
  TempDir dir;
  TXMLFileInfoType record = LoadFileInfo(dir / kFileInfoFileName);
  const std::string before = ReadFile(record.File);
  {
    ScopedWriteFault fault(3);
    EXPECT_THROW(MarkLocalChange(record, dir / "a.xbel", dir / "a.xbel"), FileWriteError);
  }
  EXPECT_EQ(record.Local.version, 0);
  EXPECT_EQ(ReadFile(record.File), before);
}

}  // namespace
}  // namespace tessellink
