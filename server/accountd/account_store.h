#pragma once
// The accounts table in an SQLite file. Safe to use from several threads.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "accountd/password_hash.h"

struct sqlite3;

namespace tessellink::accountd {

class AccountStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Account {
  std::string name;  // as registered; also the storage object's key
  std::string email;
  PasswordHash password;
};

enum class AddResult { kAdded, kNameTaken };

class AccountStore {
 public:
  // Opens the file, creating it and the schema when missing. Throws AccountStoreError
  // when the file is not a database this service can use.
  explicit AccountStore(const std::filesystem::path& file);
  ~AccountStore();
  AccountStore(const AccountStore&) = delete;
  AccountStore& operator=(const AccountStore&) = delete;

  // A name that equals an existing one or differs from it only in letter case is taken.
  AddResult Add(const Account& account, std::int64_t now);
  // Exact name, as registered.
  std::optional<Account> Find(std::string_view name);
  // False when there is no such account.
  bool SetPassword(std::string_view name, const PasswordHash& password, std::int64_t now);

 private:
  void Execute(const char* sql);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
};

}  // namespace tessellink::accountd
