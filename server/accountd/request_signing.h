#pragma once
// Storage request signatures (S3 signature version 2) and the rules for which
// requests a user may have signed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessellink::accountd {

inline constexpr std::string_view kBucket = "corvane_bmk";
inline constexpr std::int64_t kMaxClockSkewSeconds = 15 * 60;

// The parts of a string to sign as the program builds it:
// method \n (empty MD5) \n content type \n date \n [x-amz-meta-version:N \n] resource
struct StringToSign {
  std::string method;
  std::string content_type;
  std::string date;
  std::optional<std::string> version;
  std::string resource;
};

// Nothing when the text does not have that form.
std::optional<StringToSign> ParseStringToSign(std::string_view text);

// "Tue, 9 Dec 2008 16:22:05 +0800" → Unix seconds. English day and month names,
// numeric zone; the day name must match the date. Nothing for any other text.
std::optional<std::int64_t> ParseRequestDate(std::string_view text);

// The resource a user may have signed: "/corvane_bmk/<user>.xbel".
std::string ResourceOf(std::string_view user);

enum class SignCheck { kAllowed, kMalformed, kNotAllowed, kDateOff };

// Whether `user` may have `text` signed at the time `now` (Unix seconds).
SignCheck CheckStringToSign(std::string_view text, std::string_view user, std::int64_t now);

// Base64 of HMAC-SHA1(key, text), as S3 expects in the Authorization header.
std::string Signature(std::string_view secret_key, std::string_view text);

}  // namespace tessellink::accountd
