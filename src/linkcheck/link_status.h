#pragma once
// The verdict of one link check and the texts the scan list shows for it.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessellink {

enum class LinkStatus : int16_t {
  NotChecked = -1,
  Waiting = 100,
  Ok = 0,
  Error = 1,
  Redirected = 2,
  PossibleError = 3,
  UnknownError = 4,
};

// The result code of a check whose request raised instead of answering.
inline constexpr int kCheckRaisedCode = 6;

// The verdict of a status code. A code outside the known ranges is UnknownError.
LinkStatus VerdictOf(int code);
// Codes 400-417: the row is ticked as soon as its result arrives.
bool TicksOnArrival(int code);
// The name of the codes 500-505; empty for any other code.
std::string_view FixedNameOf(int code);
// The detail shown after the verdict word: above 499 the fixed name, else the reason phrase.
std::string DetailOf(int code, std::string_view reason);
// The status column: "Error," + detail and so on, without a blank in between.
std::string StatusText(LinkStatus status, std::string_view detail);
// What Auto Select ticks: Error, PossibleError and UnknownError.
bool IsBadLink(LinkStatus status);
// "NotChecked", "Ok", ... for machine-readable output.
std::string_view LinkStatusName(LinkStatus status);

}  // namespace tessellink
