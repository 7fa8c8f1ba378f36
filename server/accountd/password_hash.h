#pragma once
// Stored form of a password digest: PBKDF2-HMAC-SHA256 with a per-user salt,
// so that a copy of the database does not hand out digests the program accepts.

#include <string>
#include <string_view>

namespace tessellink::accountd {

inline constexpr int kDefaultIterations = 100000;
inline constexpr size_t kSaltBytes = 16;
inline constexpr size_t kHashBytes = 32;

struct PasswordHash {
  std::string salt;  // raw bytes
  std::string hash;  // raw bytes
  int iterations = 0;
};

// True for exactly 32 hexadecimal digits (either letter case).
bool IsDigestText(std::string_view digest);

// Hashes the digest in lower case under a fresh random salt. Throws std::runtime_error
// when the system cannot supply random bytes.
PasswordHash HashDigest(std::string_view digest, int iterations);

// Compares in constant time; a stored record with no sane iteration count never matches.
bool VerifyDigest(std::string_view digest, const PasswordHash& stored);

// Spends the time of one verification, for unknown user names, so that the reply
// time does not tell which names exist.
void SpendVerificationTime(int iterations);

}  // namespace tessellink::accountd
