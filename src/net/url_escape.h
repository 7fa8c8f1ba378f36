#pragma once
// Percent-escaping of addresses and query values, as the account service and
// the sharing service expect them.

#include <string>
#include <string_view>

namespace tessellink {

// Bytes below 32 or from 128 up, and those in `alsoEscaped`, become "%XX"
// (upper-case hex); every other byte stays.
std::string PercentEscape(std::string_view text, std::string_view alsoEscaped);

// Bytes below 32 or from 128 up, and " #%*+<>", become "%XX" (upper-case hex);
// everything else, ":/?&=" included, stays.
std::string EscapeUrl(std::string_view text);
// One query value: EscapeUrl's rule plus "&", "=" and "?", so that a value
// arrives whole.
std::string EscapeQueryValue(std::string_view text);

}  // namespace tessellink
