#include "accountd/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace tessellink::accountd {

namespace {

std::string LowerHex(std::string_view digest) {
  std::string out(digest);
  for (char& c : out) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Derive(std::string_view digest, std::string_view salt, int iterations) {
  std::string lower = LowerHex(digest);
  std::string out(kHashBytes, '\0');
  if (PKCS5_PBKDF2_HMAC(lower.data(), static_cast<int>(lower.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                        iterations, EVP_sha256(), static_cast<int>(out.size()),
                        reinterpret_cast<unsigned char*>(out.data())) != 1) {
    throw std::runtime_error("PBKDF2 failed");
  }
  return out;
}

}  // namespace

bool IsDigestText(std::string_view digest) {
  if (digest.size() != 32) return false;
  for (char c : digest) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

PasswordHash HashDigest(std::string_view digest, int iterations) {
  if (iterations < 1) throw std::invalid_argument("iteration count must be positive");
  PasswordHash result;
  result.salt.assign(kSaltBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(result.salt.data()), static_cast<int>(kSaltBytes)) != 1) {
    throw std::runtime_error("no random bytes for a password salt");
  }
  result.iterations = iterations;
  result.hash = Derive(digest, result.salt, iterations);
  return result;
}

bool VerifyDigest(std::string_view digest, const PasswordHash& stored) {
  if (stored.iterations < 1 || stored.hash.size() != kHashBytes || !IsDigestText(digest)) return false;
  std::string candidate = Derive(digest, stored.salt, stored.iterations);
  return CRYPTO_memcmp(candidate.data(), stored.hash.data(), kHashBytes) == 0;
}

void SpendVerificationTime(int iterations) {
  static const std::string kSalt(kSaltBytes, 'x');
  Derive("00000000000000000000000000000000", kSalt, iterations < 1 ? 1 : iterations);
}

}  // namespace tessellink::accountd
