#include "store/date_text.h"

#include <gtest/gtest.h>

namespace tessellink {
namespace {

TEST(DateText, WritesBothForms) {
  const TDateTime t = EncodeDateTime({2008, 3, 14, 9, 5, 33, 0});
  EXPECT_EQ(DateText(t), "2008-03-14T09:05:33Z");
  EXPECT_EQ(DayText(t), "2008-03-14");
  EXPECT_EQ(DateText(EncodeDateTime({2008, 3, 14, 9, 5, 33, 999})), "2008-03-14T09:05:33Z");
}

struct DayCase {
  const char* text;
  std::optional<TDateTime> day;
};

TEST(DateText, ParseDayTextReadsFixedPositions) {
  const DayCase cases[] = {
      {"2008-03-14", *EncodeDate(2008, 3, 14)},
      {"2008-03-14T09:05:33Z", *EncodeDate(2008, 3, 14)},  // only the first ten characters count
      {"2008-03-14 and more", *EncodeDate(2008, 3, 14)},
      {"2008-3-4", std::nullopt},  // not at the fixed positions
      {"2008-13-01", std::nullopt},
      {"2008-02-30", std::nullopt},
      {"2008-03", std::nullopt},  // seven characters or fewer
      {"", std::nullopt},
      {"abcd-ef-gh", std::nullopt},
      {"2008-03-1", *EncodeDate(2008, 3, 1)},  // the day is what the text has there
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDayText(c.text), c.day) << c.text;
  // Years outside 1..9999 get the approximate day count:
  // round(5 * 30.4368...) + trunc(0 * 365.2422454 - 693593) + 15 - 1.
  EXPECT_EQ(ParseDayText("0000-06-15"), -693427.0);
  EXPECT_EQ(ParseDayText("0000-02-30"), std::nullopt);
}

TEST(DateText, ConvertsToUnixSecondsAndFileTimes) {
  EXPECT_EQ(ToUnixSeconds(*EncodeDate(1970, 1, 1) + 0.5), 43200);
  EXPECT_EQ(ToFileTime(*EncodeDate(1601, 1, 1)), 0);
  EXPECT_EQ(ToFileTime(*EncodeDate(1970, 1, 1)), 116444736000000000LL);
  // Before 1899-12-30 the time of day still counts forward from midnight.
  EXPECT_EQ(ToFileTime(EncodeDateTime({1601, 1, 1, 6, 0, 0, 0})), 6 * 36000000000LL);
  // A time whose day fraction is not exact in binary still gives its whole second.
  const TDateTime t = EncodeDateTime({2008, 3, 14, 9, 5, 33, 0});
  EXPECT_EQ(ToUnixSeconds(t), 1205485533);
  EXPECT_EQ(ToUnixSeconds(*EncodeDate(1969, 12, 31) + 0.5), -43200);
  EXPECT_EQ(DateText(FromFileTime(ToFileTime(t))), "2008-03-14T09:05:33Z");
  EXPECT_EQ(FromFileTime(0), *EncodeDate(1601, 1, 1));
}

}  // namespace
}  // namespace tessellink
