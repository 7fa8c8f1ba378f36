#include "accountd/account_store.h"

#include <sqlite3.h>

#include "accountd/account_rules.h"

namespace tessellink::accountd {

namespace {

constexpr int kSchemaVersion = 1;

// Finalises on every path out of a query.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) Fail("prepare");
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Text(int index, std::string_view text) {
    Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
  }
  void Blob(int index, std::string_view bytes) {
    Check(sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
  }
  void Integer(int index, std::int64_t value) { Check(sqlite3_bind_int64(stmt_, index, value)); }

  // True while there is a row; false when done.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail("step");
  }
  int StepCode() { return sqlite3_step(stmt_); }

  std::string Column(int index) {
    const void* data = sqlite3_column_blob(stmt_, index);
    int size = sqlite3_column_bytes(stmt_, index);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
  }
  std::int64_t ColumnInteger(int index) { return sqlite3_column_int64(stmt_, index); }

  [[noreturn]] void Fail(const char* what) {
    throw AccountStoreError(std::string("database ") + what + " failed: " + sqlite3_errmsg(db_));
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) Fail("bind");
  }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

AccountStore::AccountStore(const std::filesystem::path& file) {
  int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw AccountStoreError("cannot open " + file.string() + ": " + message);
  }
  try {
    sqlite3_busy_timeout(db_, 5000);
    std::int64_t version = 0;
    {
      Statement query(db_, "PRAGMA user_version");
      if (query.Step()) version = query.ColumnInteger(0);
    }
    if (version > kSchemaVersion) {
      throw AccountStoreError(file.string() + " was written by a newer version of this service");
    }
    Execute(
        "CREATE TABLE IF NOT EXISTS accounts ("
        " name TEXT PRIMARY KEY NOT NULL,"
        " name_key TEXT NOT NULL UNIQUE,"
        " email TEXT NOT NULL,"
        " salt BLOB NOT NULL,"
        " hash BLOB NOT NULL,"
        " iterations INTEGER NOT NULL,"
        " created INTEGER NOT NULL,"
        " changed INTEGER NOT NULL)");
    Execute("PRAGMA user_version = 1");
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

AccountStore::~AccountStore() { sqlite3_close(db_); }

void AccountStore::Execute(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw AccountStoreError("database failed: " + message);
  }
}

AddResult AccountStore::Add(const Account& account, std::int64_t now) {
  std::lock_guard lock(mutex_);
  Statement insert(db_,
                   "INSERT INTO accounts (name, name_key, email, salt, hash, iterations, created, changed)"
                   " VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  insert.Text(1, account.name);
  insert.Text(2, UserNameKey(account.name));
  insert.Text(3, account.email);
  insert.Blob(4, account.password.salt);
  insert.Blob(5, account.password.hash);
  insert.Integer(6, account.password.iterations);
  insert.Integer(7, now);
  insert.Integer(8, now);
  int rc = insert.StepCode();
  if (rc == SQLITE_DONE) return AddResult::kAdded;
  if (sqlite3_extended_errcode(db_) == SQLITE_CONSTRAINT_UNIQUE ||
      sqlite3_extended_errcode(db_) == SQLITE_CONSTRAINT_PRIMARYKEY) {
    return AddResult::kNameTaken;
  }
  insert.Fail("insert");
}

std::optional<Account> AccountStore::Find(std::string_view name) {
  std::lock_guard lock(mutex_);
  Statement query(db_, "SELECT name, email, salt, hash, iterations FROM accounts WHERE name = ?");
  query.Text(1, name);
  if (!query.Step()) return std::nullopt;
  Account account;
  account.name = query.Column(0);
  account.email = query.Column(1);
  account.password.salt = query.Column(2);
  account.password.hash = query.Column(3);
  std::int64_t iterations = query.ColumnInteger(4);
  account.password.iterations = iterations > 0 && iterations <= 100000000 ? static_cast<int>(iterations) : 0;
  return account;
}

bool AccountStore::SetPassword(std::string_view name, const PasswordHash& password, std::int64_t now) {
  std::lock_guard lock(mutex_);
  Statement update(db_, "UPDATE accounts SET salt = ?, hash = ?, iterations = ?, changed = ? WHERE name = ?");
  update.Blob(1, password.salt);
  update.Blob(2, password.hash);
  update.Integer(3, password.iterations);
  update.Integer(4, now);
  update.Text(5, name);
  update.Step();
  return sqlite3_changes(db_) > 0;
}

}  // namespace tessellink::accountd
