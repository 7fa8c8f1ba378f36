#include "sync/s3_storage.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "common/text.h"
#include "net/loopback_server.h"
#include "net/proxy_settings.h"
#include "net/url_escape.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "support/test_support.h"
#include "support/tls_test_cert.h"

namespace tessellink {
namespace {

using test::ServerThread;

constexpr char kSecretDigest[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";  // MD5("secret")
constexpr char kEncodedSignature[] = "c2ln%2Bsig%3D";
constexpr char kAuthorization[] = "AWS KQ7TWX3ZLM4NBV2HDC9R:c2ln+sig=";
constexpr char kAliceResource[] = "/corvane_bmk/alice.xbel";

std::string Msg(const std::string& result, const std::string& desc) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><Msg><Result>" + result + "</Result><Desc>" + desc +
         "</Desc></Msg>";
}

// What the account service reads: "%XX" decoded, nothing else touched.
std::map<std::string, std::string> StrictQuery(const std::string& target) {
  std::map<std::string, std::string> values;
  const size_t q = target.find('?');
  if (q == std::string::npos) return values;
  const std::string query = target.substr(q + 1);
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string item = query.substr(start, end - start);
    const size_t eq = item.find('=');
    values[item.substr(0, eq)] = eq == std::string::npos ? "" : PercentDecode(item.substr(eq + 1));
    start = end + 1;
  }
  return values;
}

std::string JoinErrorsForTest(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& line : errors) text += line + "|";
  return text;
}

struct AccountCall {
  std::string path;
  std::string target;
  std::map<std::string, std::string> query;
};

struct StorageCall {
  std::string method, path, body;
  httplib::Headers headers;
  std::string Header(const char* name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? "<none>" : it->second;
  }
};

// A fake account service and a fake storage that record what arrives.
class S3StorageTest : public ::testing::Test {
 protected:
  S3StorageTest() {
    const auto account = [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      accountCalls_.push_back({req.path, req.target, StrictQuery(req.target)});
      res.set_content(accountReply_, accountContentType_);
    };
    for (const char* path : {"/bmkuserlogin.php", "/test.php", "/tochangepwd.php"}) account_.Get(path, account);
    const auto storage = [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      storageCalls_.push_back({req.method, req.path, req.body, req.headers});
      res.status = storageStatus_;
      for (const auto& [name, value] : storageHeaders_) res.set_header(name, value);
      res.set_content(storageBody_, "application/octet-stream");
    };
    storage_.Get(R"(/corvane_bmk/.+)", storage);
    storage_.Put(R"(/corvane_bmk/.+)", storage);
    accountThread_.emplace(account_);
    storageThread_.emplace(storage_);
  }

  TStorageEndpoint Endpoint(int storagePort = 0) const {
    TStorageEndpoint e;
    e.baseUrl = accountThread_->url("/");
    e.storageHost = "127.0.0.1:" + std::to_string(storagePort ? storagePort : storageThread_->port());
    e.connectTimeoutMs = 10000;
    return e;
  }
  TS3Storage Storage(int storagePort = 0) const {
    TS3Storage s(Endpoint(storagePort));
    s.UserName = "alice";
    s.Password = "secret";
    return s;
  }
  const AccountCall& LastAccountCall() {
    EXPECT_FALSE(accountCalls_.empty());
    return accountCalls_.back();
  }

  std::mutex mutex_;
  httplib::Server account_, storage_;
  std::string accountReply_ = Msg("OK", kEncodedSignature);
  std::string accountContentType_ = "text/xml";
  std::vector<AccountCall> accountCalls_;
  int storageStatus_ = 200;
  std::string storageBody_;
  std::vector<std::pair<std::string, std::string>> storageHeaders_;
  std::vector<StorageCall> storageCalls_;
  std::optional<ServerThread> accountThread_, storageThread_;
};

TEST(S3StorageText, StringToSignCarriesTheVersionLineOnlyWhenSet) {
  TS3Storage s;
  const std::string date = "Tue, 9 Dec 2008 16:22:05 +0800";
  EXPECT_EQ(s.StringToSign("GET", "", date, kAliceResource),
            "GET\n\n\nTue, 9 Dec 2008 16:22:05 +0800\n/corvane_bmk/alice.xbel");
  s.SetVersion("7");
  EXPECT_EQ(s.StringToSign("PUT", "binary/octet-stream", date, kAliceResource),
            "PUT\n\nbinary/octet-stream\nTue, 9 Dec 2008 16:22:05 +0800\nx-amz-meta-version:7\n/corvane_bmk/alice.xbel");
  EXPECT_EQ(s.StringToSign("HEAD", "", date, kAliceResource),
            "HEAD\n\n\nTue, 9 Dec 2008 16:22:05 +0800\nx-amz-meta-version:7\n/corvane_bmk/alice.xbel");
}

TEST(S3StorageText, EscapingDigestAndDates) {
  const std::pair<std::string, std::string> urls[] = {
      {"a\nb +0800", "a%0Ab%20%2B0800"},
      {"#%*<>", "%23%25%2A%3C%3E"},
      {"http://h:1/p?a=b&c=d~!$'()", "http://h:1/p?a=b&c=d~!$'()"},
      {"\xC3\xA9\x7F\x01", "%C3%A9\x7F%01"},
  };
  for (const auto& [in, out] : urls) EXPECT_EQ(EscapeUrl(in), out) << in;
  EXPECT_EQ(EscapeQueryValue("a&b=c?d+e f/g:h"), "a%26b%3Dc%3Fd%2Be%20f/g:h");

  EXPECT_EQ(PasswordDigest("secret"), kSecretDigest);
  EXPECT_EQ(PasswordDigest(""), "d41d8cd98f00b204e9800998ecf8427e");

  struct DateCase {
    int y, mo, d, h, mi, s, offset;
    const char* text;
  };
  const DateCase dates[] = {
      {2008, 12, 9, 16, 22, 5, 480, "Tue, 9 Dec 2008 16:22:05 +0800"},
      {2021, 3, 1, 0, 0, 0, -330, "Mon, 1 Mar 2021 00:00:00 -0530"},
      {2000, 1, 1, 23, 59, 59, 0, "Sat, 1 Jan 2000 23:59:59 +0000"},
      {2024, 2, 29, 7, 5, 9, 60, "Thu, 29 Feb 2024 07:05:09 +0100"},
  };
  for (const DateCase& c : dates) {
    const TDateTime t = EncodeDateTime({c.y, c.mo, c.d, c.h, c.mi, c.s, 0});
    EXPECT_EQ(RequestDateText(t, c.offset), c.text);
  }
  EXPECT_TRUE(std::regex_match(RequestDateTextNow(),
                               std::regex(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9]\d? (Jan|Feb|Mar|Apr|May|Jun|Jul|)"
                                          R"(Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4})")))
      << RequestDateTextNow();
}

TEST(S3StorageText, ReadReplyTakesOnlyMsgDocuments) {
  struct Case {
    std::string body;
    const char* result;
    std::string desc;
    size_t metas;
  };
  const Case cases[] = {
      {Msg("OK", "fine"), "OK", "fine", 0},
      {"<Msg><Result>FAIL</Result><Desc>Wrong password</Desc><Meta>a</Meta><Meta>b</Meta></Msg>", "FAIL",
       "Wrong password", 2},
      {"Service unavailable", "FALSE", "Service unavailable", 0},
      {"<html><body>Gateway</body></html>", "FALSE", "<html><body>Gateway</body></html>", 0},
      {"<Msg><Result>OK</Result>", "FALSE", "<Msg><Result>OK</Result>", 0},
      {"", "FALSE", "", 0},
  };
  for (const Case& c : cases) {
    const TXMLMsgType reply = ReadReply(c.body);
    EXPECT_EQ(reply.Result, c.result) << c.body;
    EXPECT_EQ(reply.Desc, c.desc) << c.body;
    EXPECT_EQ(reply.Meta.size(), c.metas) << c.body;
  }
  EXPECT_FALSE(ReadReply(Msg("ok", "")).Succeeded());
}

TEST(S3StorageSettings, ProxyAndEndpointFromSettings) {
  struct Case {
    bool manual, system;
    TProxyMode mode;
    const char* host;
    const char* user;
    const char* password;
  };
  const Case cases[] = {
      {false, false, TProxyMode::None, "", "", ""},
      {true, false, TProxyMode::Manual, "proxy.example", "bob", "pw"},
      {false, true, TProxyMode::System, "", "", ""},
      {true, true, TProxyMode::System, "", "bob", "pw"},
  };
  for (const Case& c : cases) {
    TXMLAppSettingType settings;
    TXMLProxyType proxy = settings.Proxy();
    proxy.SetDonotuseproxy(!c.manual && !c.system);
    proxy.SetManualsetting(c.manual);
    proxy.SetSettingasie(c.system);
    proxy.SetServername(" proxy.example ");
    proxy.SetPort("3128");
    proxy.SetUsername("bob");
    proxy.SetPassword(Scramble("pw"));
    const THttpProxy p = ProxyFromSettings(proxy);
    EXPECT_EQ(p.mode, c.mode);
    EXPECT_EQ(p.host, c.host);
    EXPECT_EQ(p.port, c.mode == TProxyMode::Manual ? "3128" : "");
    EXPECT_EQ(p.user, c.user);
    EXPECT_EQ(p.password, c.password);
  }
  TXMLAppSettingType settings;
  settings.Tesselsync().SetBaseUrl("http://accounts.example/");
  settings.Tesselsync().SetStorageUrl("storage.example");
  settings.Tesselsync().SetUsessl(true);
  const TStorageEndpoint e = StorageEndpointFromSettings(settings);
  EXPECT_EQ(e.baseUrl, "http://accounts.example/");
  EXPECT_EQ(e.storageHost, "storage.example");
  EXPECT_TRUE(e.useSsl);
  EXPECT_EQ(TS3Storage(e).Scheme(), "https://");
  EXPECT_EQ(TS3Storage().Scheme(), "http://");
}

TEST_F(S3StorageTest, UploadIsSignedAndCarriesTheVersionOnlyWhenSet) {
  struct Case {
    const char* version;
    bool octetStream;
    const char* contentType;
  };
  const Case cases[] = {{"7", true, "binary/octet-stream"}, {"", false, "text/html"}};
  for (const Case& c : cases) {
    storageCalls_.clear();
    TS3Storage s = Storage();
    s.SetVersion(c.version);
    s.Errors = {"left over"};
    int64_t written = 0;
    s.OnStatus = [&](int reason, std::string_view value) {
      if (reason == kStatusBytesWritten) written += std::stoll(std::string(value));
    };
    const std::string data(50000, 'z');
    ASSERT_TRUE(s.PutObject(kStorageBucket, "alice.xbel", c.octetStream, data)) << JoinErrorsForTest(s.Errors);
    EXPECT_TRUE(s.Errors.empty());
    EXPECT_EQ(written, 50000);

    ASSERT_EQ(storageCalls_.size(), 1u);
    const StorageCall& put = storageCalls_[0];
    EXPECT_EQ(put.method, "PUT");
    EXPECT_EQ(put.path, kAliceResource);
    EXPECT_EQ(put.body, data);
    EXPECT_EQ(put.Header("Authorization"), kAuthorization);
    EXPECT_EQ(put.Header("Content-Type"), c.contentType);
    EXPECT_EQ(put.Header("X-Amz-Meta-Version"), *c.version ? c.version : "<none>");

    const AccountCall& sign = LastAccountCall();
    EXPECT_EQ(sign.path, "/bmkuserlogin.php");
    EXPECT_EQ(sign.query.at("UserName"), "alice");
    EXPECT_EQ(sign.query.at("Password"), kSecretDigest);
    EXPECT_EQ(sign.query.at("Auth"), s.StringToSign("PUT", c.contentType, put.Header("Date"), kAliceResource));
  }
}

TEST_F(S3StorageTest, DownloadIsSignedAndDeliversTheBody) {
  storageBody_ = std::string("compressed\0bytes", 16);
  TS3Storage s = Storage();
  std::string output = "kept:";
  ASSERT_TRUE(s.GetObject(kStorageBucket, "alice.xbel", output));
  EXPECT_EQ(output, "kept:" + storageBody_);
  std::string streamed;
  ASSERT_TRUE(s.GetObject(kStorageBucket, "alice.xbel", [&](std::string_view chunk) {
    streamed.append(chunk);
    return true;
  }));
  EXPECT_EQ(streamed, storageBody_);

  const StorageCall& get = storageCalls_.back();
  EXPECT_EQ(get.method, "GET");
  EXPECT_EQ(get.Header("Authorization"), kAuthorization);
  EXPECT_EQ(get.Header("Expires"), get.Header("Date"));
  EXPECT_EQ(LastAccountCall().query.at("Auth"), s.StringToSign("GET", "", get.Header("Date"), kAliceResource));
}

TEST_F(S3StorageTest, QueryValuesArriveWhole) {
  const std::string user = "a&b=c?d+e f\n#%";
  const std::string email = "x+y@z.org&k=v";
  TS3Storage s = Storage();
  accountReply_ = Msg("OK", "");
  ASSERT_TRUE(s.Login(user, "secret"));
  EXPECT_EQ(LastAccountCall().path, "/bmkuserlogin.php");
  EXPECT_EQ(LastAccountCall().query,
            (std::map<std::string, std::string>{{"UserName", user}, {"Password", kSecretDigest}}));
  ASSERT_TRUE(s.Register(user, "secret", email));
  EXPECT_EQ(LastAccountCall().path, "/test.php");
  EXPECT_EQ(LastAccountCall().query, (std::map<std::string, std::string>{
                                         {"UserName", user}, {"Password", kSecretDigest}, {"EMail", email}}));
  ASSERT_TRUE(s.ChangePassword(user, "secret", ""));
  EXPECT_EQ(LastAccountCall().path, "/tochangepwd.php");
  EXPECT_EQ(LastAccountCall().query,
            (std::map<std::string, std::string>{{"UserName", user},
                                                {"OldPassword", kSecretDigest},
                                                {"NewPassword", "d41d8cd98f00b204e9800998ecf8427e"}}));
  // The string to sign with its line feeds and "+" of the zone offset.
  accountReply_ = Msg("OK", kEncodedSignature);
  s.UserName = user;
  EXPECT_EQ(s.SignRequest("GET", "", "Tue, 9 Dec 2008 16:22:05 +0800", "/corvane_bmk/x?y=z&w"),
            std::string("Authorization: ") + kAuthorization);
  EXPECT_EQ(LastAccountCall().query.at("Auth"), "GET\n\n\nTue, 9 Dec 2008 16:22:05 +0800\n/corvane_bmk/x?y=z&w");
  EXPECT_EQ(LastAccountCall().query.at("UserName"), user);
}

TEST_F(S3StorageTest, AccountRepliesDecideSuccess) {
  struct Case {
    std::string body;
    bool ok;
    const char* result;
    const char* desc;
  };
  const Case cases[] = {
      {Msg("OK", "Welcome"), true, "OK", "Welcome"},
      {Msg("ok", "Welcome"), false, "ok", "Welcome"},
      {Msg("FAIL", "Wrong user name or password"), false, "FAIL", "Wrong user name or password"},
      {"Please contact the operator.", false, "FALSE", "Please contact the operator."},
  };
  for (const Case& c : cases) {
    accountReply_ = c.body;
    TS3Storage s = Storage();
    EXPECT_EQ(s.Login("alice", "secret"), c.ok) << c.body;
    EXPECT_EQ(s.LastReply.Result, c.result);
    EXPECT_EQ(s.LastReply.Desc, c.desc);
  }
  TStorageEndpoint down = Endpoint();
  down.baseUrl = test::LoopbackUrl(test::UnusedPort());
  TS3Storage s(down);
  EXPECT_FALSE(s.Register("alice", "secret", "a@x"));
  EXPECT_EQ(s.LastReply.Result, "FALSE");
  EXPECT_EQ(s.LastReply.Desc, "");
}

// A refused signature stops every storage request before anything reaches the storage.
TEST_F(S3StorageTest, SigningFailuresSendNothing) {
  struct Case {
    const char* name;
    std::string reply;
    bool serviceDown;
    const char* firstError;
  };
  const Case cases[] = {
      {"refused", Msg("FAIL", "User unknown"), false, "User unknown"},
      {"lower-case ok", Msg("ok", "sig"), false, "sig"},
      {"plain text", "Internal error", false, "Internal error"},
      {"OK without a signature", Msg("OK", ""), false, "Can not connect to the server."},
      {"service down", "", true, "Can not connect to the server."},
  };
  const std::vector<std::string> noErrors;
  for (const Case& c : cases) {
    accountReply_ = c.reply;
    TStorageEndpoint e = Endpoint();
    if (c.serviceDown) e.baseUrl = test::LoopbackUrl(test::UnusedPort());
    TS3Storage s(e);
    s.UserName = "alice";
    s.Password = "secret";
    const std::vector<std::string> expected = {c.firstError, "Authentication failed."};
    EXPECT_FALSE(s.PutObject(kStorageBucket, "alice.xbel", true, "data")) << c.name;
    EXPECT_EQ(s.Errors, expected) << c.name;
    s.Errors.clear();
    std::string out;
    EXPECT_FALSE(s.GetObject(kStorageBucket, "alice.xbel", out)) << c.name;
    EXPECT_EQ(s.Errors, expected) << c.name;
    s.Errors.clear();
    EXPECT_EQ(s.GetObjectInfo(kStorageBucket, "alice.xbel"), "") << c.name;
    EXPECT_EQ(s.Errors, expected) << c.name;
    EXPECT_TRUE(storageCalls_.empty()) << c.name;
  }
}

TEST_F(S3StorageTest, RefusedUploadsAndDownloadsFail) {
  const std::string errorXml = "<Error>\n<Code>AccessDenied</Code>\n</Error>";
  struct Case {
    int status;
    std::string body;
    std::vector<std::string> putErrors, getErrors;
  };
  const Case cases[] = {
      {403, "", {"old", "Upload Error, return code is:403"}, {"old", "Download Error, return code is:403"}},
      {404, "no", {"old", "Upload Error, return code is:404"}, {"old", "Download Error, return code is:404"}},
      {403, errorXml, {"<Error>", "<Code>AccessDenied</Code>", "</Error>"}, {"<Error>", "<Code>AccessDenied</Code>", "</Error>"}},
  };
  for (const Case& c : cases) {
    storageStatus_ = c.status;
    storageBody_ = c.body;
    storageCalls_.clear();
    TS3Storage s = Storage();
    s.Errors = {"old"};
    const std::string data(40000, 'd');
    // The storage took the whole body and still refused: that is a failed upload.
    EXPECT_FALSE(s.PutObject(kStorageBucket, "alice.xbel", true, data)) << c.status;
    ASSERT_EQ(storageCalls_.size(), 1u);
    EXPECT_EQ(storageCalls_[0].body.size(), data.size());
    EXPECT_EQ(s.Errors, c.putErrors);
    s.Errors = {"old"};
    std::string out = "untouched";
    EXPECT_FALSE(s.GetObject(kStorageBucket, "alice.xbel", out)) << c.status;
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(s.Errors, c.getErrors);
  }
}

// Status lines httplib cannot write (custom or missing reason phrases) come from a raw server.
TEST_F(S3StorageTest, StatusLineRules) {
  struct Case {
    std::string statusLine;
    bool putOk, getOk;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 ok", true, true},
      {"HTTP/1.1 200", true, true},   // no reason phrase: the code decides
      {"HTTP/1.1 204 No Content", true, false},
      {"HTTP/1.1 500 OK", false, true},  // uploads go by the code, downloads by the text
  };
  for (const Case& c : cases) {
    test::RawReplyServer raw(c.statusLine + "\r\nContent-Length: 4\r\n\r\nbody");
    TS3Storage s = Storage(raw.port());
    EXPECT_EQ(s.PutObject(kStorageBucket, "alice.xbel", true, "data"), c.putOk) << c.statusLine;
    std::string out;
    EXPECT_EQ(s.GetObject(kStorageBucket, "alice.xbel", out), c.getOk) << c.statusLine;
    EXPECT_EQ(out, c.getOk ? "body" : "") << c.statusLine;
  }
}

TEST_F(S3StorageTest, HeaderRequestScansVersionAndLength) {
  struct Case {
    const char* name;
    std::string reply;  // empty: nobody listens
    std::string headerText;
    std::vector<std::string> errors;
    int32_t version;
    bool hasVersion;
    int32_t length;
  };
  const std::string found = "HTTP/1.1 200 OK\r\nx-amz-meta-version: 12\r\nContent-Length: 345\r\n\r\n";
  const Case cases[] = {
      {"found", found, "x-amz-meta-version: 12\r\nContent-Length: 345", {}, 12, true, 345},
      {"no reason phrase", "HTTP/1.1 200\r\nx-amz-meta-version: 3\r\nContent-Length: 1\r\n\r\n",
       "x-amz-meta-version: 3\r\nContent-Length: 1", {}, 3, true, 1},
      {"no version header", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n", "Content-Length: 9", {}, 5, false, 9},
      {"version not a number", "HTTP/1.1 200 OK\r\nx-amz-meta-version: abc\r\nContent-Length: 9\r\n\r\n",
       "x-amz-meta-version: abc\r\nContent-Length: 9", {"' abc' is not a valid integer value"}, 5, false, 0},
      {"missing", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", kFileMissing, {"old"}, 5, false, 0},
      {"forbidden", "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", "", {"old", "Forbidden"}, 5, false, 0},
      {"lower-case ok", "HTTP/1.1 200 ok\r\nx-amz-meta-version: 4\r\n\r\n", "", {"old", "ok"}, 5, false, 0},
      {"no answer", "", "", {"old", ""}, 5, false, 0},
  };
  for (const Case& c : cases) {
    std::optional<test::RawReplyServer> raw;
    if (!c.reply.empty()) raw.emplace(c.reply);
    TS3Storage s = Storage(raw ? raw->port() : test::UnusedPort());
    s.RemoteVersion = 5;
    s.Errors = {"old"};
    EXPECT_EQ(s.GetObjectInfo(kStorageBucket, "alice.xbel"), c.headerText) << c.name;
    EXPECT_EQ(s.Errors, c.errors) << c.name;
    EXPECT_EQ(s.RemoteVersion, c.version) << c.name;
    EXPECT_EQ(s.HasRemoteVersion, c.hasVersion) << c.name;
    EXPECT_EQ(s.ContentLength, c.length) << c.name;
  }
}

TEST_F(S3StorageTest, HeaderRequestIsSignedAsHead) {
  storageHeaders_ = {{"x-amz-meta-version", "8"}};
  storageBody_ = std::string(20, 'b');
  TS3Storage s = Storage();
  const std::string headers = s.GetObjectInfo(kStorageBucket, "alice.xbel");
  EXPECT_NE(headers.find("x-amz-meta-version: 8"), std::string::npos) << headers;
  EXPECT_EQ(s.RemoteVersion, 8);
  EXPECT_EQ(s.ContentLength, 20);
  const StorageCall& head = storageCalls_.back();
  EXPECT_EQ(head.method, "HEAD");
  EXPECT_EQ(head.Header("Expires"), "<none>");
  EXPECT_EQ(LastAccountCall().query.at("Auth"), s.StringToSign("HEAD", "", head.Header("Date"), kAliceResource));
}

TEST_F(S3StorageTest, UserNameThatWouldBreakTheAddressStaysOneObject) {
  TS3Storage s = Storage();
  s.UserName = "we#ird?name";
  ASSERT_TRUE(s.PutObject(kStorageBucket, StorageKey(s.UserName), true, "x"));
  EXPECT_EQ(storageCalls_.back().path, "/corvane_bmk/we#ird?name.xbel");
  EXPECT_EQ(LastAccountCall().query.at("Auth").substr(LastAccountCall().query.at("Auth").rfind('\n') + 1),
            "/corvane_bmk/we#ird?name.xbel");
}

TEST(S3StorageTls, HttpsStorageWithTheTestCa) {
  test::TempDir dir;
  const test::TestCertificate cert = test::MakeSelfSignedCertificate(dir.path(), "IP:127.0.0.1");
  httplib::SSLServer storage(cert.certFile.c_str(), cert.keyFile.c_str());
  storage.Get(R"(/corvane_bmk/.+)", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("over tls", "application/octet-stream");
  });
  httplib::Server account;
  account.Get("/bmkuserlogin.php", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(Msg("OK", kEncodedSignature), "text/xml");
  });
  ServerThread storageThread(storage), accountThread(account);
  TStorageEndpoint e;
  e.baseUrl = accountThread.url("/");
  e.storageHost = "127.0.0.1:" + std::to_string(storageThread.port());
  e.useSsl = true;
  e.caFile = cert.certFile.string();
  TS3Storage s(e);
  s.UserName = "alice";
  std::string out;
  ASSERT_TRUE(s.GetObject(kStorageBucket, "alice.xbel", out)) << JoinErrorsForTest(s.Errors);
  EXPECT_EQ(out, "over tls");
  s.SetUseSsl(false);  // plain HTTP to a TLS port gets no valid answer
  EXPECT_FALSE(s.GetObject(kStorageBucket, "alice.xbel", out));
}

}  // namespace
}  // namespace tessellink
