#include "store/date_text.h"

#include <cmath>
#include <cstdio>

#include "common/text.h"

namespace tessellink {

namespace {

std::string Format(TDateTime value, bool withTime) {
  const DateTimeFields f = DecodeDateTime(value);
  char buf[32];
  if (withTime)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", f.year, f.month, f.day);
  return buf;
}

// Characters `from` (counting from 1) to `from + count - 1`, clipped to the text.
std::string_view Part(std::string_view text, std::size_t from, std::size_t count) {
  if (from - 1 >= text.size()) return {};
  return text.substr(from - 1, count);
}

bool IsLeap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

}  // namespace

std::string DateText(TDateTime value) { return Format(value, true); }
std::string DayText(TDateTime value) { return Format(value, false); }

std::optional<TDateTime> ParseDayText(std::string_view text) {
  if (text.size() <= 7) return std::nullopt;
  const auto year = ParseInteger(Part(text, 1, 4));
  const auto month = ParseInteger(Part(text, 6, 2));
  const auto day = ParseInteger(Part(text, 9, 2));
  if (!year || !month || !day) return std::nullopt;
  if (*year >= 1 && *year <= 9999) return EncodeDate(*year, *month, *day);
  // Year 0 and negative years can be written; they get an approximate day count.
  static constexpr int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (*month < 1 || *month > 12 || *day < 1 || *day > kDays[*month] + (*month == 2 && IsLeap(*year) ? 1 : 0))
    return std::nullopt;
  const double base = *year > 0 ? std::trunc((*year - 1) * 365.2422454 - 693593 + 1.7882454)
                                : std::trunc(*year * 365.2422454 - 693593);
  return std::nearbyint((*month - 1) * 30.436853783333333334 + base) + *day - 1;
}

TDateTime NowLocal() { return Clock().Now(); }
TDateTime NowUtc() { return Clock().NowUtc(); }

int64_t ToFileTime(TDateTime value) {
  // Before 1899-12-30 the day count is negative but the time of day still
  // counts forward from midnight: -1.25 is 1899-12-29 06:00.
  const double days = std::trunc(value);
  const double timeOfDay = std::fabs(value - days);
  return static_cast<int64_t>(std::nearbyint((days + 109205.0 + timeOfDay) * 864000000000.0));
}

TDateTime FromFileTime(int64_t fileTime) {
  // Whole milliseconds, as the system's conversion to calendar fields keeps them.
  int64_t ms = fileTime / 10000;
  if (fileTime < 0 && fileTime % 10000) --ms;
  int64_t days = ms / 86400000;
  int64_t rest = ms % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  const DateTimeFields date = DecodeDateTime(static_cast<double>(days - 109205));
  DateTimeFields f = date;
  f.hour = static_cast<int>(rest / 3600000);
  f.minute = static_cast<int>(rest / 60000 % 60);
  f.second = static_cast<int>(rest / 1000 % 60);
  f.millisecond = static_cast<int>(rest % 1000);
  return EncodeDateTime(f);
}

int64_t ToUnixSeconds(TDateTime value) {
  // Counted in whole milliseconds first: the day fraction of 09:05:33 is not
  // exact in binary, and truncating it directly would lose a second.
  const int64_t ms = std::llround((value - 25569.0) * 86400000.0);
  return ms / 1000;
}

}  // namespace tessellink
