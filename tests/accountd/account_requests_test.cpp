// Register, log in, change password over real HTTP requests.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>

#include "accountd/account_service.h"
#include "accountd/account_test_server.h"

namespace tessellink::accountd::test {
namespace {

class AccountRequests : public ::testing::Test {
 protected:
  AccountTestServer server_;
};

TEST_F(AccountRequests, RegisterThenLogInAnswersMsgDocuments) {
  MsgResult created = server_.Register("alice", "secret", "alice@example.org");
  EXPECT_EQ(created.status, 200);
  EXPECT_EQ(created.content_type, "text/xml");
  EXPECT_TRUE(created.ok()) << created.desc;

  EXPECT_TRUE(server_.Login("alice", "secret").ok());

  MsgResult wrong = server_.Login("alice", "Secret");
  EXPECT_EQ(wrong.status, 200);
  EXPECT_EQ(wrong.result, "FALSE");
  EXPECT_EQ(wrong.desc, kWrongLogin);
  EXPECT_EQ(server_.Login("bob", "secret").desc, kWrongLogin);
  // The account is the name as registered.
  EXPECT_EQ(server_.Login("Alice", "secret").desc, kWrongLogin);
}

TEST_F(AccountRequests, RegistrationRefusals) {
  ASSERT_TRUE(server_.Register("alice", "secret", "a@example.org").ok());
  const std::string digest = Md5Hex("pw");
  struct Case {
    const char* why;
    std::string user, password, email, message;
  } cases[] = {
      {"empty name", "", digest, "e@x", "User name can't be empty."},
      {"blank", "a b", digest, "e@x", "Illegal character found in User name, please do not use space,+,-,*,/ in text"},
      {"plus", "a+b", digest, "e@x", "Illegal character found in User name, please do not use space,+,-,*,/ in text"},
      {"minus", "a-b", digest, "e@x", "Illegal character found in User name, please do not use space,+,-,*,/ in text"},
      {"star", "a*b", digest, "e@x", "Illegal character found in User name, please do not use space,+,-,*,/ in text"},
      {"slash", "a/b", digest, "e@x", "Illegal character found in User name, please do not use space,+,-,*,/ in text"},
      {"control", "a\tb", digest, "e@x", "User name holds characters that are not allowed."},
      {"not UTF-8", "a\xff", digest, "e@x", "User name holds characters that are not allowed."},
      {"too long", std::string(65, 'n'), digest, "e@x", "User name is too long (at most 64 characters)."},
      {"short digest", "carol", digest.substr(1), "e@x", std::string(kBadDigest)},
      {"not hex", "carol", std::string(31, 'a') + "g", "e@x", std::string(kBadDigest)},
      {"no email", "carol", digest, "", "EMail can not be empty."},
      {"same name", "alice", digest, "e@x", std::string(kNameTaken)},
      {"other case", "ALICE", digest, "e@x", std::string(kNameTaken)},
  };
  for (const Case& c : cases) {
    MsgResult reply = server_.Get("/test.php", {{"UserName", c.user}, {"Password", c.password}, {"EMail", c.email}});
    EXPECT_EQ(reply.result, "FALSE") << c.why;
    EXPECT_EQ(reply.desc, c.message) << c.why;
  }
  // 64 characters, some of them two bytes long, are fine.
  std::string longest = std::string(60, 'n') + "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";
  EXPECT_TRUE(server_.Register(longest, "pw", "e@x").ok());
  // The refused "carol" requests left nothing behind.
  EXPECT_TRUE(server_.Register("carol", "pw", "e@x").ok());
}

TEST_F(AccountRequests, NamesDifferingInNonAsciiLetterCaseAreOneAccount) {
  ASSERT_TRUE(server_.Register("\xc3\xa9lise", "pw", "e@x").ok());  // élise
  EXPECT_EQ(server_.Register("\xc3\x89LISE", "pw", "e@x").desc, kNameTaken);  // ÉLISE
}

TEST_F(AccountRequests, EscapedSeparatorsInTheNameReachTheServiceWhole) {
  const std::string name = "a&b=c?d%e#f";
  ASSERT_TRUE(server_.Register(name, "pw", "x@y").ok());
  EXPECT_TRUE(server_.Login(name, "pw").ok());
  EXPECT_EQ(server_.Login("a", "pw").desc, kWrongLogin);
  // No account "a" appeared from a split query.
  EXPECT_TRUE(server_.Register("a", "pw", "x@y").ok());
}

TEST_F(AccountRequests, ChangePassword) {
  ASSERT_TRUE(server_.Register("alice", "old", "a@x").ok());
  auto change = [&](const std::string& user, const std::string& old_digest, const std::string& new_digest) {
    return server_.Get("/tochangepwd.php", {{"UserName", user}, {"OldPassword", old_digest}, {"NewPassword", new_digest}});
  };
  EXPECT_EQ(change("alice", Md5Hex("wrong"), Md5Hex("new")).desc, kWrongLogin);
  EXPECT_EQ(change("nobody", Md5Hex("old"), Md5Hex("new")).desc, kWrongLogin);
  EXPECT_EQ(change("alice", Md5Hex("old"), "not a digest").desc, kBadDigest);
  EXPECT_TRUE(server_.Login("alice", "old").ok()) << "refusals change nothing";

  MsgResult changed = change("alice", Md5Hex("old"), Md5Hex("new"));
  EXPECT_TRUE(changed.ok()) << changed.desc;
  EXPECT_EQ(server_.Login("alice", "old").desc, kWrongLogin);
  EXPECT_TRUE(server_.Login("alice", "new").ok());
}

TEST_F(AccountRequests, DigestIsReadWithoutRegardToHexLetterCase) {
  std::string digest = Md5Hex("pw");
  ASSERT_TRUE(server_.Get("/test.php", {{"UserName", "u"}, {"Password", digest}, {"EMail", "e"}}).ok());
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(server_.Get("/bmkuserlogin.php", {{"UserName", "u"}, {"Password", digest}}).ok());
}

// Reads the accounts table through SQLite, independent of the service's code.
std::vector<std::vector<std::string>> Rows(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT * FROM accounts ORDER BY name", -1, &stmt, nullptr), SQLITE_OK);
  std::vector<std::vector<std::string>> rows;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const void* data = sqlite3_column_blob(stmt, i);
      row.emplace_back(data ? static_cast<const char*>(data) : "", static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
    }
    rows.push_back(row);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::string RawDigest(const std::string& hex) {
  std::string raw;
  for (size_t i = 0; i < hex.size(); i += 2) raw += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return raw;
}

TEST_F(AccountRequests, DatabaseHoldsNoDigestAndSaltsEachAccount) {
  ASSERT_TRUE(server_.Register("alice", "same", "a@x").ok());
  ASSERT_TRUE(server_.Register("bob", "same", "b@x").ok());
  ASSERT_TRUE(server_.Get("/tochangepwd.php", {{"UserName", "bob"}, {"OldPassword", Md5Hex("same")},
                                               {"NewPassword", Md5Hex("other")}})
                  .ok());

  const std::string digests[] = {Md5Hex("same"), Md5Hex("other")};
  std::string file = tessellink::test::ReadFile(server_.database());
  for (const std::string& digest : digests) {
    std::string upper = digest;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(file.find(digest), std::string::npos);
    EXPECT_EQ(file.find(upper), std::string::npos);
    EXPECT_EQ(file.find(RawDigest(digest)), std::string::npos);
  }

  auto rows = Rows(server_.database());
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) {
    for (const std::string& column : row) {
      for (const std::string& digest : digests) EXPECT_EQ(column.find(digest), std::string::npos);
    }
  }
  // Columns: name, name_key, email, salt, hash, iterations, ...
  EXPECT_EQ(rows[0][0], "alice");
  EXPECT_EQ(rows[0][2], "a@x");
  EXPECT_EQ(rows[0][3].size(), 16u);
  EXPECT_EQ(rows[0][5], std::to_string(kTestIterations));
  EXPECT_NE(rows[0][3], rows[1][3]) << "each account has its own salt";
}

TEST_F(AccountRequests, ConcurrentRegistrationsOfOneNameCreateOneAccount) {
  std::atomic<int> created{0};
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 6; ++i) {
    threads.emplace_back([&, i] {
      MsgResult reply = server_.Register(i % 2 ? "Dave" : "dave", "pw" + std::to_string(i), "d@x");
      if (reply.ok()) ++created;
      if (reply.desc == kNameTaken) ++taken;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(created, 1);
  EXPECT_EQ(taken, 5);
}

TEST_F(AccountRequests, LogHasOneLinePerRequestAndNoDigest) {
  ASSERT_TRUE(server_.Register("alice", "secret", "a@x").ok());
  ASSERT_TRUE(server_.Login("alice", "secret").ok());
  server_.GetRaw("/nothing.php");
  auto lines = server_.log_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("\"/test.php\" user=\"alice\" register -> OK"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("login -> OK"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("Unknown request."), std::string::npos) << lines[2];
  for (const auto& line : lines) {
    EXPECT_EQ(line.find(Md5Hex("secret")), std::string::npos) << line;
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
  }
}

TEST_F(AccountRequests, UserNameCannotForgeLogLines) {
  server_.Login("x\n2000-01-01 forged", "pw");
  auto lines = server_.log_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].find('\n'), std::string::npos);
  EXPECT_NE(lines[0].find("x\\x0a2000"), std::string::npos) << lines[0];
}

TEST_F(AccountRequests, OddRequestsStillGetAMsgDocument) {
  struct Case {
    std::string target, result, desc;
  } cases[] = {
      {"/forgetpassword.php", "OK", std::string(kForgotPassword)},
      {"/unknown.php?UserName=a", "FALSE", "Unknown request."},
      {"/bmkuserlogin.php?UserName=a%2&Password=x", "FALSE", "Malformed request."},
      {"/bmkuserlogin.php?UserName=a&UserName=b&Password=x", "FALSE", "Malformed request."},
      {"/bmkuserlogin.php", "FALSE", std::string(kWrongLogin)},
      {"/test.php?UserName=a", "FALSE", std::string(kBadDigest)},
  };
  for (const Case& c : cases) {
    MsgResult reply = server_.GetRaw(c.target);
    EXPECT_EQ(reply.result, c.result) << c.target;
    EXPECT_EQ(reply.desc, c.desc) << c.target;
    EXPECT_EQ(reply.content_type, "text/xml") << c.target;
  }
}

}  // namespace
}  // namespace tessellink::accountd::test
