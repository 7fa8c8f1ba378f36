// Verdicts at the edges of their code ranges, and the texts the status column shows.

#include <gtest/gtest.h>

#include "linkcheck/link_status.h"

namespace tessellink {
namespace {

TEST(LinkStatus, CodeRangesGiveTheirVerdictAtBothEdges) {
  const struct {
    int code;
    LinkStatus verdict;
    bool ticks;
  } cases[] = {
      {0, LinkStatus::UnknownError, false},        {6, LinkStatus::UnknownError, false},
      {199, LinkStatus::UnknownError, false},      {200, LinkStatus::Ok, false},
      {206, LinkStatus::Ok, false},                {207, LinkStatus::UnknownError, false},
      {299, LinkStatus::UnknownError, false},      {300, LinkStatus::Redirected, false},
      {307, LinkStatus::Redirected, false},        {308, LinkStatus::UnknownError, false},
      {399, LinkStatus::UnknownError, false},      {400, LinkStatus::Error, true},
      {417, LinkStatus::Error, true},              {418, LinkStatus::UnknownError, false},
      {499, LinkStatus::UnknownError, false},      {500, LinkStatus::PossibleError, false},
      {505, LinkStatus::PossibleError, false},     {506, LinkStatus::UnknownError, false},
      {999, LinkStatus::UnknownError, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VerdictOf(c.code), c.verdict) << c.code;
    EXPECT_EQ(TicksOnArrival(c.code), c.ticks) << c.code;
  }
}

TEST(LinkStatus, DetailIsTheFixedNameAbove499AndTheReasonBelow) {
  const struct {
    int code;
    const char* reason;
    const char* detail;
  } cases[] = {
      {404, "Gone Fishing", "Gone Fishing"},     {499, "Odd", "Odd"},
      {500, "Oops", "Internal Server Error"},     {501, "", "Not Implemented"},
      {502, "x", "Bad Gateway"},                  {503, "Busy", "Service Unavailable"},
      {504, "", "Gateway Time-out"},              {505, "", "HTTP Version not supported"},
      {506, "Variant Also Negotiates", ""},       {599, "Custom", ""},
      {6, "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DetailOf(c.code, c.reason), c.detail) << c.code;
}

TEST(LinkStatus, ShownTextPutsNoBlankBetweenVerdictAndDetail) {
  EXPECT_EQ(StatusText(LinkStatus::NotChecked, "x"), "");
  EXPECT_EQ(StatusText(LinkStatus::Waiting, "x"), "Waiting");
  EXPECT_EQ(StatusText(LinkStatus::Ok, "x"), "OK");
  EXPECT_EQ(StatusText(LinkStatus::Error, "Not Found"), "Error,Not Found");
  EXPECT_EQ(StatusText(LinkStatus::Redirected, "Found"), "Redirected,Found");
  EXPECT_EQ(StatusText(LinkStatus::PossibleError, "Bad Gateway"), "Possible error,Bad Gateway");
  EXPECT_EQ(StatusText(LinkStatus::UnknownError, ""), "Unknow Error.");
  for (LinkStatus s : {LinkStatus::Error, LinkStatus::PossibleError, LinkStatus::UnknownError})
    EXPECT_TRUE(IsBadLink(s));
  for (LinkStatus s : {LinkStatus::NotChecked, LinkStatus::Waiting, LinkStatus::Ok, LinkStatus::Redirected})
    EXPECT_FALSE(IsBadLink(s));
}

}  // namespace
}  // namespace tessellink
