#include "accountd/account_rules.h"

#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace tessellink::accountd {

namespace {

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

size_t CodePointCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  int32_t i = 0;
  const auto length = static_cast<int32_t>(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

std::optional<std::string> CheckNewUserName(std::string_view name) {
  if (name.empty()) return "User name can't be empty.";
  if (name.find_first_of(" +-*/") != std::string_view::npos) {
    return "Illegal character found in User name, please do not use space,+,-,*,/ in text";
  }
  if (!IsValidUtf8(name) || HasControlCharacter(name)) {
    return "User name holds characters that are not allowed.";
  }
  if (CodePointCount(name) > kMaxUserNameCharacters) {
    return "User name is too long (at most " + std::to_string(kMaxUserNameCharacters) + " characters).";
  }
  return std::nullopt;
}

std::optional<std::string> CheckEmail(std::string_view email) {
  if (email.empty()) return "EMail can not be empty.";
  if (!IsValidUtf8(email) || HasControlCharacter(email)) return "EMail holds characters that are not allowed.";
  if (email.size() > kMaxEmailBytes) {
    return "EMail is too long (at most " + std::to_string(kMaxEmailBytes) + " characters).";
  }
  return std::nullopt;
}

std::string UserNameKey(std::string_view name) {
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
  text.foldCase();
  std::string key;
  text.toUTF8String(key);
  return key;
}

}  // namespace tessellink::accountd
