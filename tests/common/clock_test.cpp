#include "common/clock.h"

#include <gtest/gtest.h>

namespace tessellink {
namespace {

TEST(Dates, EncodeDecodeRoundTrip) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
  EXPECT_EQ(EncodeDate(1601, 1, 1), -109205.0);
  EXPECT_EQ(EncodeDate(2008, 2, 30), std::nullopt);
  EXPECT_EQ(EncodeDate(2000, 2, 29), 36585.0);
  EXPECT_EQ(EncodeDate(1900, 2, 29), std::nullopt);

  const DateTimeFields f{2008, 3, 14, 9, 5, 33, 0};
  const DateTimeFields back = DecodeDateTime(EncodeDateTime(f));
  EXPECT_EQ(back.year, 2008);
  EXPECT_EQ(back.month, 3);
  EXPECT_EQ(back.day, 14);
  EXPECT_EQ(back.hour, 9);
  EXPECT_EQ(back.minute, 5);
  EXPECT_EQ(back.second, 33);
  // Before the epoch the fraction still counts forward from the day.
  const DateTimeFields early = DecodeDateTime(-1.75);
  EXPECT_EQ(early.day, 29);
  EXPECT_EQ(early.hour, 18);
  EXPECT_EQ(DecodeDateTime(-1.9999999999).day, 30);
  for (int y : {1, 1600, 1899, 1900, 2000, 2024, 9999}) {
    const DateTimeFields d = DecodeDateTime(*EncodeDate(y, 12, 31));
    EXPECT_EQ(d.year, y);
    EXPECT_EQ(d.month, 12);
    EXPECT_EQ(d.day, 31);
  }
}

}  // namespace
}  // namespace tessellink
