#include "interchange/interchange_dates.h"

#include <cstdio>

#include "common/errors.h"
#include "store/date_text.h"

namespace tessellink {
namespace {

struct CivilDay {
  int64_t year;
  int month, day;
};

// Days since 1970-01-01 to the proleptic Gregorian date (H. Hinnant's algorithm).
CivilDay CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::string Format(int64_t seconds, bool withTime) {
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  const CivilDay d = CivilFromDays(days);
  if (d.year < 1 || d.year > 9999) throw AppError("date out of range: " + std::to_string(seconds) + " seconds");
  char text[32];
  if (withTime)
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(d.year), d.month, d.day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(d.year), d.month, d.day);
  return text;
}

}  // namespace

std::optional<uint32_t> DateTextToSeconds(std::string_view text) {
  const auto day = ParseDayText(text);
  if (!day) return std::nullopt;
  return static_cast<uint32_t>(static_cast<uint64_t>(ToUnixSeconds(*day)));
}

std::string UnixSecondsToDateText(int64_t seconds) { return Format(seconds, true); }
std::string UnixSecondsToDayText(int64_t seconds) { return Format(seconds, false); }

}  // namespace tessellink
