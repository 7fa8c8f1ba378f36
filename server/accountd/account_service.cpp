#include "accountd/account_service.h"

#include <chrono>
#include <exception>

#include "accountd/account_rules.h"
#include "accountd/request_signing.h"

namespace tessellink::accountd {

namespace {

std::string ValueOf(const QueryValues& query, const char* key) {
  auto it = query.find(key);
  return it == query.end() ? std::string() : it->second;
}

// Store and crypto failures end as a reply, never as an exception into the server.
template <typename Body>
Outcome Guarded(Outcome outcome, Body body) {
  try {
    outcome.reply = body();
  } catch (const std::exception& error) {
    outcome.reply = Failure(std::string(kServiceFailed));
    outcome.action += " (error: " + std::string(error.what()) + ")";
  }
  return outcome;
}

}  // namespace

AccountService::AccountService(AccountStore& store, ServiceConfig config)
    : store_(store), config_(std::move(config)) {}

std::int64_t AccountService::Now() const {
  if (config_.now) return config_.now();
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool AccountService::Authenticate(const std::string& user, const std::string& digest) {
  auto account = user.empty() ? std::nullopt : store_.Find(user);
  if (!account) {
    SpendVerificationTime(config_.iterations);
    return false;
  }
  return VerifyDigest(digest, account->password);
}

Outcome AccountService::Login(const QueryValues& query) {
  Outcome outcome;
  outcome.user = ValueOf(query, "UserName");
  auto auth = query.find("Auth");
  outcome.action = auth == query.end() ? "login" : "sign";
  if (auth != query.end()) {
    auto parts = ParseStringToSign(auth->second);
    if (parts) outcome.action += " " + parts->method + (parts->version ? " with version" : "");
  }
  return Guarded(std::move(outcome), [&]() -> Reply {
    std::string user = ValueOf(query, "UserName");
    if (!Authenticate(user, ValueOf(query, "Password"))) return Failure(std::string(kWrongLogin));
    if (auth == query.end()) return Success("Login success.");
    switch (CheckStringToSign(auth->second, user, Now())) {
      case SignCheck::kAllowed: return Success(PercentEncode(Signature(config_.secret_key, auth->second)));
      case SignCheck::kMalformed: return Failure(std::string(kSignMalformed));
      case SignCheck::kNotAllowed: return Failure(std::string(kSignNotAllowed));
      case SignCheck::kDateOff: return Failure(std::string(kDateOff));
    }
    return Failure(std::string(kSignNotAllowed));
  });
}

Outcome AccountService::Register(const QueryValues& query) {
  Outcome outcome;
  outcome.user = ValueOf(query, "UserName");
  outcome.action = "register";
  return Guarded(std::move(outcome), [&]() -> Reply {
    Account account;
    account.name = ValueOf(query, "UserName");
    account.email = ValueOf(query, "EMail");
    std::string digest = ValueOf(query, "Password");
    if (auto problem = CheckNewUserName(account.name)) return Failure(*problem);
    if (!IsDigestText(digest)) return Failure(std::string(kBadDigest));
    if (auto problem = CheckEmail(account.email)) return Failure(*problem);
    account.password = HashDigest(digest, config_.iterations);
    if (store_.Add(account, Now()) == AddResult::kNameTaken) return Failure(std::string(kNameTaken));
    return Success("Account created.");
  });
}

Outcome AccountService::ChangePassword(const QueryValues& query) {
  Outcome outcome;
  outcome.user = ValueOf(query, "UserName");
  outcome.action = "change password";
  return Guarded(std::move(outcome), [&]() -> Reply {
    std::string user = ValueOf(query, "UserName");
    if (!Authenticate(user, ValueOf(query, "OldPassword"))) return Failure(std::string(kWrongLogin));
    std::string digest = ValueOf(query, "NewPassword");
    if (!IsDigestText(digest)) return Failure(std::string(kBadDigest));
    if (!store_.SetPassword(user, HashDigest(digest, config_.iterations), Now())) {
      return Failure(std::string(kWrongLogin));
    }
    return Success("Password changed.");
  });
}

Outcome AccountService::ForgetPassword(const QueryValues&) {
  Outcome outcome;
  outcome.action = "forget password";
  outcome.reply = Success(std::string(kForgotPassword));
  return outcome;
}

}  // namespace tessellink::accountd
