#pragma once
// The two date texts of bookmark files and their conversions. The full form is
// "yyyy-MM-ddThh:nn:ssZ" written from the local clock (no zone conversion, the
// Z notwithstanding); the day form is "yyyy-MM-dd". Readers look at the first
// ten characters only, so both forms sort by day as texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/clock.h"

namespace tessellink {

std::string DateText(TDateTime value);
std::string DayText(TDateTime value);
std::optional<TDateTime> ParseDayText(std::string_view text);

TDateTime NowLocal();
TDateTime NowUtc();

int64_t ToFileTime(TDateTime value);     // 100-ns steps since 1601-01-01
TDateTime FromFileTime(int64_t fileTime);
int64_t ToUnixSeconds(TDateTime value);  // whole seconds since 1970-01-01, toward zero

}  // namespace tessellink
