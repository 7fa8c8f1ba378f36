#pragma once
// The account requests: log in (and sign storage requests), register, change
// password, password reminder. Each takes the decoded query and answers a Reply.

#include <cstdint>
#include <functional>
#include <string>

#include "accountd/account_store.h"
#include "accountd/msg_reply.h"
#include "accountd/password_hash.h"
#include "accountd/query_text.h"

namespace tessellink::accountd {

inline constexpr std::string_view kDefaultAccessKeyId = "KQ7TWX3ZLM4NBV2HDC9R";

// Failure texts the service answers with.
inline constexpr std::string_view kWrongLogin = "User name or password is wrong.";
inline constexpr std::string_view kNameTaken = "User name already exists.";
inline constexpr std::string_view kBadDigest = "Password digest must be 32 hexadecimal digits.";
inline constexpr std::string_view kSignNotAllowed = "Not allowed to sign this request.";
inline constexpr std::string_view kSignMalformed = "The request to sign is malformed.";
inline constexpr std::string_view kDateOff = "Request date is too far from the server time.";
inline constexpr std::string_view kServiceFailed = "The account service failed, please try again later.";
inline constexpr std::string_view kForgotPassword =
    "Passwords are stored in a form nobody can read back. Please contact the operator of this service to "
    "reset your password.";

struct ServiceConfig {
  std::string secret_key;  // the storage secret key that signs requests
  int iterations = kDefaultIterations;
  std::function<std::int64_t()> now;  // Unix seconds; the system clock when empty
};

// What a request did, for the log line: never a password or digest.
struct Outcome {
  Reply reply;
  std::string user;    // the UserName value, as received
  std::string action;  // "login", "sign GET", "register", ...
};

class AccountService {
 public:
  AccountService(AccountStore& store, ServiceConfig config);

  Outcome Login(const QueryValues& query);  // signs when the query has "Auth"
  Outcome Register(const QueryValues& query);
  Outcome ChangePassword(const QueryValues& query);
  Outcome ForgetPassword(const QueryValues& query);

 private:
  std::int64_t Now() const;
  // True when `user` exists and `digest` is its password digest.
  bool Authenticate(const std::string& user, const std::string& digest);

  AccountStore& store_;
  ServiceConfig config_;
};

}  // namespace tessellink::accountd
