#include "app/run_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <thread>

#include "common/atomic_file.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

std::string TwoDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

TLogStampFormat FixedFormat() {
  TLogStampFormat format;
  format.shortDate = [](const DateTimeFields& f) {
    return std::to_string(f.year) + "-" + TwoDigits(f.month) + "-" + TwoDigits(f.day);
  };
  format.longTime = [](const DateTimeFields& f) {
    return TwoDigits(f.hour) + ":" + TwoDigits(f.minute) + ":" + TwoDigits(f.second);
  };
  return format;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class RunLogTest : public ::testing::Test {
 protected:
  RunLogTest() : clock_(EncodeDateTime({2024, 3, 5, 14, 7, 9, 0}), 0.0, 1000) { SetClockForTesting(&clock_); }
  ~RunLogTest() override { SetClockForTesting(nullptr); }

  TFixedClock clock_;
  TempDir dir_;
};

TEST_F(RunLogTest, LogHasThreeBlanksAndLogFmtOneAfterTheTime) {
  TRunLog log(dir_.path(), FixedFormat());
  log.Log("app started");
  log.LogFmt("decode url is %s", "tslink:url=a&title=b");
  log.LogFmt("%d of %s", 3, "five");
  const std::vector<std::string> expected = {"2024-03-05 14:07:09   app started",
                                             "2024-03-05 14:07:09 decode url is tslink:url=a&title=b",
                                             "2024-03-05 14:07:09 3 of five"};
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(ReadFile(dir_ / "app.log"), Joined(expected));
}

TEST_F(RunLogTest, FileHoldsOnlyThisRunAndIsRewrittenPerLine) {
  test::WriteFile(dir_ / "app.log", "line of an earlier run\r\n");
  TRunLog log(dir_.path(), FixedFormat());
  log.Log("first");
  EXPECT_EQ(ReadFile(dir_ / "app.log"), "2024-03-05 14:07:09   first\r\n");
  clock_.Set(EncodeDateTime({2024, 3, 5, 14, 8, 0, 0}), 0.0);
  log.Log("second");
  EXPECT_EQ(ReadFile(dir_ / "app.log"), "2024-03-05 14:07:09   first\r\n2024-03-05 14:08:00   second\r\n");
}

TEST_F(RunLogTest, FailedWriteAddsErrorLineAndKeepsGoing) {
  TRunLog log(dir_.path(), FixedFormat());
  log.Log("before");
  {
    ScopedWriteFault fault(0);
    EXPECT_NO_THROW(log.Log("during"));
  }
  EXPECT_EQ(ReadFile(dir_ / "app.log"), "2024-03-05 14:07:09   before\r\n");  // old file whole
  log.Log("after");
  const std::vector<std::string> expected = {"2024-03-05 14:07:09   before", "2024-03-05 14:07:09   during",
                                             "save to log error!!!", "2024-03-05 14:07:09   after"};
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_EQ(ReadFile(dir_ / "app.log"), Joined(expected));
}

TEST_F(RunLogTest, MissingFolderOnlyCostsErrorLines) {
  TRunLog log(dir_ / "gone", FixedFormat());
  EXPECT_NO_THROW(log.Log("x"));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"2024-03-05 14:07:09   x", "save to log error!!!"}));
}

TEST_F(RunLogTest, TimingLinesCountFromStartTiming) {
  TRunLog log(dir_.path(), FixedFormat());
  log.StartTiming();
  clock_.Advance(1234);
  log.LogTimeUsed("import");
  log.LogTimeUsed("100%s %d done");  // the message is never read as a format
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"2024-03-05 14:07:09   Start Monitor",
                                                   "2024-03-05 14:07:09 import: time used 1234",
                                                   "2024-03-05 14:07:09 100%s %d done: time used 1234"}));
}

TEST_F(RunLogTest, TwoThreadsLoggingAtOnceLoseNothing) {
  TRunLog log(dir_.path(), FixedFormat());
  constexpr int kPerThread = 150;
  auto worker = [&log](const char* name) {
    for (int i = 0; i < kPerThread; ++i) {
      if (i % 2 == 0)
        log.Log(std::string(name) + " " + std::to_string(i));
      else
        log.LogFmt("%s %d", name, i);
    }
  };
  std::thread a(worker, "main");
  std::thread b(worker, "share");
  a.join();
  b.join();

  const std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u * kPerThread);
  EXPECT_EQ(ReadFile(dir_ / "app.log"), Joined(lines));
  for (const std::string name : {"main", "share"}) {
    int next = 0;  // each thread's lines keep their order
    for (const std::string& line : lines) {
      const std::string rest = line.substr(std::string("2024-03-05 14:07:09").size());
      const std::string trimmed = rest.substr(rest.find_first_not_of(' '));
      if (trimmed.rfind(name + " ", 0) == 0) {
        EXPECT_EQ(trimmed, name + " " + std::to_string(next));
        EXPECT_EQ(rest.size() - trimmed.size(), next % 2 == 0 ? 3u : 1u);
        ++next;
      }
    }
    EXPECT_EQ(next, kPerThread) << name;
  }
}

TEST(LocaleStampFormat, UsesTheLocaleFormsAndFallsBackToC) {
  const DateTimeFields f{2009, 7, 4, 9, 5, 3, 0};
  for (const std::string name : {"C", "no_SUCH.locale"}) {
    const TLogStampFormat format = LocaleStampFormat(name);
    EXPECT_EQ(format.shortDate(f), "07/04/09") << name;
    EXPECT_EQ(format.longTime(f), "09:05:03") << name;
  }
}

TEST(LocaleStampFormat, UserFormatProducesText) {
  const TLogStampFormat format = UserStampFormat();
  const DateTimeFields f{2009, 7, 4, 9, 5, 3, 0};
  EXPECT_FALSE(format.shortDate(f).empty());
  EXPECT_FALSE(format.longTime(f).empty());
}

}  // namespace
}  // namespace tessellink
