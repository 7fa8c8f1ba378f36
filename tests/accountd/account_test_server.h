#pragma once
// The account service in-process on a loopback port, with a temporary database,
// a clock the test sets and a client that escapes queries as the program does.

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "accountd/account_server.h"
#include "support/test_support.h"

namespace tessellink::accountd::test {

inline constexpr char kSecretKey[] = "test-secret/key+with=odd chars";
inline constexpr int kTestIterations = 1000;
// Tue, 9 Dec 2008 08:22:05 UTC
inline constexpr std::int64_t kServerTime = 1228810925;

struct MsgResult {
  int status = 0;
  std::string content_type;
  std::string result;
  std::string desc;
  bool ok() const { return result == "OK"; }
};

using Query = std::vector<std::pair<std::string, std::string>>;

// Lower-case hexadecimal MD5 of the text, as the program sends passwords.
std::string Md5Hex(const std::string& text);

// The program's escaping of one query value: EscapeUrl plus "&", "=" and "?".
std::string EscapeValue(const std::string& value);

// "Tue, 9 Dec 2008 16:22:05 +0800" for a Unix time and a zone offset in minutes.
std::string RequestDate(std::int64_t unix_seconds, int offset_minutes);

// Base64 HMAC-SHA1 through OpenSSL's EVP_MAC interface and a Base64 coder of its own.
std::string ExpectedSignature(const std::string& key, const std::string& text);

// "%XX" → byte, as the program reads the signature.
std::string PercentDecodeForTest(const std::string& text);

class AccountTestServer {
 public:
  AccountTestServer();
  ~AccountTestServer();

  // GET path with the query escaped value by value.
  MsgResult Get(const std::string& path, const Query& query);
  // GET a target exactly as written.
  MsgResult GetRaw(const std::string& target);

  MsgResult Register(const std::string& user, const std::string& password, const std::string& email);
  MsgResult Login(const std::string& user, const std::string& password);
  MsgResult Sign(const std::string& user, const std::string& password, const std::string& string_to_sign);

  std::filesystem::path database() const { return dir_ / "accounts.sqlite"; }
  void set_now(std::int64_t now) { now_ = now; }
  std::vector<std::string> log_lines();
  int port() const { return port_; }

 private:
  tessellink::test::TempDir dir_;
  std::atomic<std::int64_t> now_{kServerTime};
  std::mutex log_mutex_;
  std::vector<std::string> log_;
  std::unique_ptr<AccountStore> store_;
  std::unique_ptr<AccountService> service_;
  std::unique_ptr<AccountServer> server_;
  std::thread thread_;
  int port_ = -1;
};

MsgResult ParseMsg(const httplib::Result& result);

}  // namespace tessellink::accountd::test
