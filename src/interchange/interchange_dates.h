#pragma once
// Date conversions the foreign formats need: they count seconds since
// 1970-01-01, bookmark files write date texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessellink {

// The calendar day of a date text ("yyyy-MM-dd..." read from its first ten
// characters) as seconds since 1970-01-01 00:00:00, in the low 32 bits. None
// for a text that holds no valid day: callers then leave the value out.
std::optional<uint32_t> DateTextToSeconds(std::string_view text);

// "yyyy-MM-ddThh:nn:ssZ" / "yyyy-MM-dd" for whole seconds since 1970-01-01;
// throws AppError for a moment outside the years 1 to 9999.
std::string UnixSecondsToDateText(int64_t seconds);
std::string UnixSecondsToDayText(int64_t seconds);

}  // namespace tessellink
