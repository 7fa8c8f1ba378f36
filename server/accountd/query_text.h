#pragma once
// Query strings of account requests.
//
// Values are decoded with plain percent-encoding: "%XX" becomes the byte XX and
// every other character stands for itself, "+" included. The program escapes
// "+" as %2B and never sends a literal "+", so reading "+" as itself keeps a
// hand-written "+0800" in a request date intact instead of turning it into a blank.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tessellink::accountd {

using QueryValues = std::map<std::string, std::string>;

// Decoded text, or nothing when a "%" is not followed by two hexadecimal digits.
std::optional<std::string> PercentDecode(std::string_view text);

// Every byte except letters, digits and "-", ".", "_", "~" becomes "%XX".
std::string PercentEncode(std::string_view text);

// Splits at "&" and the first "=" of each item, then decodes keys and values.
// Nothing when an escape is malformed or a key appears twice (an ambiguous request).
std::optional<QueryValues> ParseQuery(std::string_view query);

// The query part of a request target ("/path?query" → "query"), empty without one.
std::string_view QueryOfTarget(std::string_view target);

}  // namespace tessellink::accountd
