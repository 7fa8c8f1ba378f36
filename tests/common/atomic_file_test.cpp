#include "common/atomic_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/errors.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

TEST(AtomicFile, WritesAndReplaces) {
  TempDir dir;
  const fs::path file = dir / "a.txt";
  WriteFileAtomically(file, "first");
  WriteFileAtomically(file, "second");
  EXPECT_EQ(ReadFile(file), "second");
  EXPECT_EQ(ReadFileBytes(file), "second");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AtomicFile, NamesAsLongAsTheFileSystemAllows) {
  TempDir dir;
  const fs::path file = dir / std::string(255, 'n');
  WriteFileAtomically(file, "x");
  EXPECT_EQ(ReadFile(file), "x");
}

TEST(AtomicFile, FullDiskKeepsTheOldFileWhole) {
  TempDir dir;
  const fs::path file = dir / "doc.xbel";
  WriteFileAtomically(file, "old contents");
  {
    ScopedWriteFault fault(4);
    EXPECT_THROW(WriteFileAtomically(file, "new contents that do not fit"), FileWriteError);
  }
  EXPECT_EQ(ReadFile(file), "old contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(AtomicFile, MissingFolderIsAClearError) {
  TempDir dir;
  try {
    WriteFileAtomically(dir / "no-such-folder" / "x.txt", "x");
    FAIL() << "no error";
  } catch (const FileWriteError& e) {
    EXPECT_NE(std::string(e.what()).find("no-such-folder"), std::string::npos);
  }
  EXPECT_THROW(WriteFileAtomically(dir.path(), "x"), FileWriteError);  // a folder is not a file
}

TEST(AtomicFile, ModesFollowTheRequest) {
  TempDir dir;
  const fs::path secret = dir / "AppSetting.xml";
  WriteFileAtomically(secret, "pw", FileAccess::OwnerOnly);
  struct stat st {};
  ASSERT_EQ(stat(secret.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const fs::path shared = dir / "shared.txt";
  WriteFileAtomically(shared, "x");
  ASSERT_EQ(chmod(shared.c_str(), 0640), 0);
  WriteFileAtomically(shared, "y");
  ASSERT_EQ(stat(shared.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // kept from the file it replaced
}

TEST(AtomicFile, WritesThroughASymbolicLink) {
  TempDir dir;
  const fs::path real = dir / "real.xbel";
  const fs::path link = dir / "link.xbel";
  WriteFileAtomically(real, "one");
  fs::create_symlink(real, link);
  WriteFileAtomically(link, "two");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "two");
}

TEST(AtomicFile, ReadingAMissingFileIsAClearError) {
  TempDir dir;
  EXPECT_THROW(ReadFileBytes(dir / "missing"), FileReadError);
  EXPECT_THROW(ReadFileBytes(dir.path()), FileReadError);
}

}  // namespace
}  // namespace tessellink
