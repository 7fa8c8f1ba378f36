#include "settings/password_scramble.h"

#include <array>
#include <cstdint>

#include "common/text.h"

namespace tessellink {

namespace {

// Stored passwords are only readable with the key they were scrambled with:
// this value must never change.
constexpr std::array<std::uint8_t, 3> kScrambleKey = {0x4B, 0x9E, 0x27};

std::uint8_t KeyByte(std::size_t position) { return kScrambleKey[position % kScrambleKey.size()]; }

}  // namespace

std::string Scramble(std::string_view password) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(password.size() * 2);
  for (std::size_t i = 0; i < password.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(static_cast<std::uint8_t>(password[i]) ^ KeyByte(i + 1));
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string Unscramble(std::string_view stored) {
  std::string out;
  out.reserve(stored.size() / 2);
  int high = -1;
  for (const char c : stored) {
    const int digit = HexDigitValue(c);
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
      continue;
    }
    const auto byte = static_cast<std::uint8_t>((high << 4) | digit);
    out += static_cast<char>(byte ^ KeyByte(out.size() + 1));
    high = -1;
  }
  return out;
}

}  // namespace tessellink
