#include "app/environment_services.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include "common/atomic_file.h"
#include "common/errors.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

TEST(EnvironmentHelpers, DefaultBrowserKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" -nohome", "IE"},
      {"/usr/lib/FireFox-ESR/FIREFOX %u", "FF"},
      {"opera %u", "OP"},
      {"chromium %U", ""},
      {"", ""},
  };
  for (const auto& [command, kind] : cases) EXPECT_EQ(DefaultBrowserKind(command), kind) << command;
}

TEST(EnvironmentHelpers, AccountNamesAndIntegers) {
  for (const char* bad : {"john smith", "a+b", "a-b", "a*b", "a/b"}) EXPECT_FALSE(IsValidAccountName(bad)) << bad;
  for (const char* good : {"john_smith", "J\xC3\xB6rg.K", "x"}) EXPECT_TRUE(IsValidAccountName(good)) << good;
  EXPECT_TRUE(IsIntegerText("12"));
  EXPECT_TRUE(IsIntegerText("$1F"));
  EXPECT_FALSE(IsIntegerText("1.5"));
  EXPECT_FALSE(IsIntegerText(""));
  EXPECT_TRUE(InCommaList("hot", "a, \"HOT\" b"));  // shared with the comma text helpers
}

std::string Compressed(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                      static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION),
            Z_OK);
  out.resize(size);
  return out;
}

class ExtractToFileTest : public ::testing::Test {
 protected:
  ExtractToFileTest() {
    for (int i = 0; i < 50000; ++i) data_ += static_cast<char>((i * 7919) % 251);  // many 1024-byte pieces
    test::WriteFile(file_, "old bookmarks");
  }
  void ExpectFailureKeepsOldFile(const std::string& stream, std::size_t limit = kDefaultExtractLimit) {
    try {
      ExtractToFile(&stream, file_, limit);
      ADD_FAILURE() << "no error";
    } catch (const AppError& e) {
      EXPECT_STREQ(e.what(), "Extract file error");
    }
    EXPECT_EQ(ReadFile(file_), "old bookmarks");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
  }
  TempDir dir_;
  fs::path file_ = dir_ / "default.xbel";
  std::string data_;
};

TEST_F(ExtractToFileTest, RoundTrip) {
  const std::string stream = Compressed(data_);
  ExtractToFile(&stream, file_);
  EXPECT_EQ(ReadFile(file_), data_);
  const std::string empty = Compressed("");
  ExtractToFile(&empty, file_);
  EXPECT_EQ(ReadFile(file_), "");
}

TEST_F(ExtractToFileTest, NoStreamDoesNothing) {
  ExtractToFile(nullptr, dir_ / "new.xbel");
  EXPECT_FALSE(fs::exists(dir_ / "new.xbel"));
}

TEST_F(ExtractToFileTest, CorruptOrTruncatedDataKeepsOldFile) {
  std::string corrupt = Compressed(data_);
  for (std::size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 16; ++i) corrupt[i] = static_cast<char>(~corrupt[i]);
  ExpectFailureKeepsOldFile(corrupt);
  const std::string full = Compressed(data_);
  ExpectFailureKeepsOldFile(full.substr(0, full.size() - 10));
  ExpectFailureKeepsOldFile("");
  ExpectFailureKeepsOldFile(std::string("\x1F\x8B\x08\x00", 4) + full);  // gzip header, not zlib
}

TEST_F(ExtractToFileTest, OutputAboveLimitKeepsOldFile) {
  const std::string stream = Compressed(data_);
  ExpectFailureKeepsOldFile(stream, data_.size() - 1);
  ExtractToFile(&stream, file_, data_.size());
  EXPECT_EQ(ReadFile(file_), data_);
}

TEST_F(ExtractToFileTest, FailedWriteKeepsOldFile) {
  ScopedWriteFault fault(100);
  ExpectFailureKeepsOldFile(Compressed(data_));
}

}  // namespace
}  // namespace tessellink
