#include "common/clock.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>

namespace tessellink {

namespace {

constexpr int kDaysInMonth[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                     {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
constexpr double kMsPerDay = 86400000.0;

bool IsLeap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

// Days since 0001-01-01 of the proleptic Gregorian calendar; 1899-12-30 is 693593.
int64_t DayNumber(int y, int m, int d) {
  int64_t days = 0;
  for (int i = 1; i < m; ++i) days += kDaysInMonth[IsLeap(y)][i];
  const int64_t py = y - 1;
  return py * 365 + py / 4 - py / 100 + py / 400 + days + d - 1;
}
constexpr int64_t kDelphiEpoch = 693593;

TDateTime FromTm(const std::tm& tm, int ms) {
  DateTimeFields f{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms};
  return EncodeDateTime(f);
}

class SystemClock : public IClock {
 public:
  TDateTime Now() const override { return Read(false); }
  TDateTime NowUtc() const override { return Read(true); }
  int64_t TickMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  static TDateTime Read(bool utc) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    if (utc)
      gmtime_r(&t, &tm);
    else
      localtime_r(&t, &tm);
    return FromTm(tm, ms < 0 ? 0 : ms);
  }
};

const SystemClock g_systemClock;
std::atomic<const IClock*> g_clock{&g_systemClock};

}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= kDaysInMonth[IsLeap(year)][month];
}

std::optional<TDateTime> EncodeDate(int year, int month, int day) {
  if (!IsValidDate(year, month, day)) return std::nullopt;
  return static_cast<TDateTime>(DayNumber(year, month, day) - kDelphiEpoch);
}

TDateTime EncodeDateTime(const DateTimeFields& f) {
  const double date = static_cast<double>(DayNumber(f.year, f.month, f.day) - kDelphiEpoch);
  const double time = (((f.hour * 60.0 + f.minute) * 60.0 + f.second) * 1000.0 + f.millisecond) / kMsPerDay;
  // Before the epoch the fraction counts away from zero, as the format has it.
  return date >= 0 ? date + time : date - time;
}

DateTimeFields DecodeDateTime(TDateTime value) {
  // Round to the millisecond first so that 09:05:33 never reads as 09:05:32.999.
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  if (ms >= 86400000) {  // rounded up to the next calendar day, on either side of the epoch
    ms -= 86400000;
    whole += 1;
  }
  int64_t n = static_cast<int64_t>(whole) + kDelphiEpoch;  // days since 0001-01-01
  DateTimeFields f;
  // 400-year cycles of 146097 days.
  int64_t y400 = n / 146097;
  n %= 146097;
  if (n < 0) {
    n += 146097;
    --y400;
  }
  int64_t y100 = n / 36524;
  if (y100 == 4) y100 = 3;
  n -= y100 * 36524;
  const int64_t y4 = n / 1461;
  n -= y4 * 1461;
  int64_t y1 = n / 365;
  if (y1 == 4) y1 = 3;
  n -= y1 * 365;
  f.year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  const bool leap = IsLeap(f.year);
  int month = 1;
  while (n >= kDaysInMonth[leap][month]) n -= kDaysInMonth[leap][month++];
  f.month = month;
  f.day = static_cast<int>(n) + 1;
  f.hour = static_cast<int>(ms / 3600000);
  f.minute = static_cast<int>(ms / 60000 % 60);
  f.second = static_cast<int>(ms / 1000 % 60);
  f.millisecond = static_cast<int>(ms % 1000);
  return f;
}

const IClock& Clock() { return *g_clock.load(); }

void SetClockForTesting(const IClock* clock) { g_clock = clock ? clock : &g_systemClock; }

}  // namespace tessellink
