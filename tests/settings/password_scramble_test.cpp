#include "settings/password_scramble.h"

#include <gtest/gtest.h>

#include <string>

namespace tessellink {
namespace {

// These stored forms pin the key: files written by earlier versions must stay readable.
TEST(PasswordScramble, StoredFormIsFixed) {
  const struct {
    std::string password;
    std::string stored;
  } cases[] = {
      {"", ""},
      {"abc", "FF4528"},
      {"abcd", "FF4528FA"},  // the key starts over after three bytes
      {"\xC3\xA9", "5D8E"},  // bytes, not characters
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Scramble(c.password), c.stored) << c.password;
    EXPECT_EQ(Unscramble(c.stored), c.password) << c.stored;
  }
}

TEST(PasswordScramble, EveryByteRoundTripsAsUpperCaseHex) {
  std::string password;
  for (int b = 255; b >= 0; --b) password += static_cast<char>(b);
  const std::string stored = Scramble(password);
  ASSERT_EQ(stored.size(), password.size() * 2);
  EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(Unscramble(stored), password);
}

TEST(PasswordScramble, UnscrambleIsLenientWithStoredText) {
  const struct {
    const char* stored;
    const char* password;
  } cases[] = {
      {"ff4528", "abc"},          // lower case
      {"Ff45 28", "abc"},         // mixed case, a blank
      {" FF-45\r\n28 ", "abc"},   // junk between and around the pairs
      {"FF4528F", "abc"},         // a lone digit at the end is dropped
      {"xyz!", ""},               // nothing hexadecimal
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Unscramble(c.stored), c.password) << c.stored;
}

}  // namespace
}  // namespace tessellink
