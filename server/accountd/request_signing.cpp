#include "accountd/request_signing.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace tessellink::accountd {

namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::string_view kVersionPrefix = "x-amz-meta-version:";

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `count` digits at `pos`.
std::optional<int> Digits(std::string_view text, size_t& pos, size_t count) {
  if (pos + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    char c = text[pos + i];
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return value;
}

bool Literal(std::string_view text, size_t& pos, std::string_view expected) {
  if (text.substr(pos, expected.size()) != expected) return false;
  pos += expected.size();
  return true;
}

template <size_t N>
std::optional<int> Name(std::string_view text, size_t& pos, const std::array<std::string_view, N>& names) {
  std::string_view word = text.substr(pos, 3);
  for (size_t i = 0; i < N; ++i) {
    if (word == names[i]) {
      pos += 3;
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

bool IsVersionNumber(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

}  // namespace

std::optional<StringToSign> ParseStringToSign(std::string_view text) {
  std::vector<std::string_view> lines = SplitLines(text);
  if (lines.size() != 5 && lines.size() != 6) return std::nullopt;
  for (std::string_view line : lines) {
    if (HasControlCharacter(line)) return std::nullopt;
  }
  if (!lines[1].empty()) return std::nullopt;  // the program never sends a Content-MD5
  StringToSign parts;
  parts.method = lines[0];
  parts.content_type = lines[2];
  parts.date = lines[3];
  if (lines.size() == 6) {
    std::string_view version = lines[4];
    if (version.substr(0, kVersionPrefix.size()) != kVersionPrefix) return std::nullopt;
    version.remove_prefix(kVersionPrefix.size());
    if (!IsVersionNumber(version)) return std::nullopt;
    parts.version = std::string(version);
  }
  parts.resource = lines.back();
  if (parts.method.empty() || parts.resource.empty()) return std::nullopt;
  return parts;
}

std::optional<std::int64_t> ParseRequestDate(std::string_view text) {
  size_t pos = 0;
  auto weekday = Name(text, pos, kDayNames);
  if (!weekday || !Literal(text, pos, ", ")) return std::nullopt;
  size_t day_digits = pos + 1 < text.size() && IsDigit(text[pos + 1]) ? 2 : 1;
  auto day = Digits(text, pos, day_digits);
  if (!day || !Literal(text, pos, " ")) return std::nullopt;
  auto month = Name(text, pos, kMonthNames);
  if (!month || !Literal(text, pos, " ")) return std::nullopt;
  auto year = Digits(text, pos, 4);
  if (!year || !Literal(text, pos, " ")) return std::nullopt;
  auto hour = Digits(text, pos, 2);
  if (!hour || !Literal(text, pos, ":")) return std::nullopt;
  auto minute = Digits(text, pos, 2);
  if (!minute || !Literal(text, pos, ":")) return std::nullopt;
  auto second = Digits(text, pos, 2);
  if (!second || !Literal(text, pos, " ")) return std::nullopt;
  if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
  int sign = text[pos] == '+' ? 1 : -1;
  ++pos;
  auto zone_hours = Digits(text, pos, 2);
  auto zone_minutes = zone_hours ? Digits(text, pos, 2) : std::nullopt;
  if (!zone_minutes || pos != text.size()) return std::nullopt;

  int month_number = *month + 1;
  if (*day < 1 || *day > DaysInMonth(*year, month_number) || *hour > 23 || *minute > 59 || *second > 59 ||
      *zone_hours > 14 || *zone_minutes > 59) {
    return std::nullopt;
  }
  std::int64_t days = DaysFromCivil(*year, month_number, *day);
  // 1970-01-01 was a Thursday.
  if (((days % 7) + 7 + 4) % 7 != *weekday) return std::nullopt;
  std::int64_t local = days * 86400 + *hour * 3600 + *minute * 60 + *second;
  return local - sign * (*zone_hours * 3600 + *zone_minutes * 60);
}

std::string ResourceOf(std::string_view user) {
  std::string resource = "/";
  resource += kBucket;
  resource += '/';
  resource += user;
  resource += ".xbel";
  return resource;
}

SignCheck CheckStringToSign(std::string_view text, std::string_view user, std::int64_t now) {
  auto parts = ParseStringToSign(text);
  if (!parts) return SignCheck::kMalformed;
  auto date = ParseRequestDate(parts->date);
  if (!date) return SignCheck::kMalformed;
  if (parts->method != "GET" && parts->method != "PUT" && parts->method != "HEAD") return SignCheck::kNotAllowed;
  if (parts->resource != ResourceOf(user)) return SignCheck::kNotAllowed;
  std::int64_t skew = *date > now ? *date - now : now - *date;
  if (skew > kMaxClockSkewSeconds) return SignCheck::kDateOff;
  return SignCheck::kAllowed;
}

std::string Signature(std::string_view secret_key, std::string_view text) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int mac_size = 0;
  if (!HMAC(EVP_sha1(), secret_key.data(), static_cast<int>(secret_key.size()),
            reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, &mac_size)) {
    throw std::runtime_error("HMAC-SHA1 failed");
  }
  std::string base64(4 * ((mac_size + 2) / 3) + 1, '\0');
  int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), mac, static_cast<int>(mac_size));
  base64.resize(static_cast<size_t>(written));
  return base64;
}

}  // namespace tessellink::accountd
