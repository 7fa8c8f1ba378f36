// Signing of storage requests: who may have what signed, and the signature itself.

#include <gtest/gtest.h>

#include "accountd/account_service.h"
#include "accountd/account_test_server.h"
#include "accountd/request_signing.h"

namespace tessellink::accountd::test {
namespace {

std::string StringToSign(const std::string& method, const std::string& content_type, const std::string& date,
                         const std::string& resource, const std::string& version = "") {
  std::string text = method + "\n\n" + content_type + "\n" + date + "\n";
  if (!version.empty()) text += "x-amz-meta-version:" + version + "\n";
  return text + resource;
}

class Signing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Register("alice", "pw", "a@x").ok());
    ASSERT_TRUE(server_.Register("bob", "pw2", "b@x").ok());
  }
  std::string Now(int shift_seconds = 0, int zone_minutes = 480) {
    return RequestDate(kServerTime + shift_seconds, zone_minutes);
  }

  AccountTestServer server_;
};

TEST_F(Signing, SignsTheUsersOwnRequests) {
  const std::string cases[] = {
      StringToSign("PUT", "binary/octet-stream", Now(), "/corvane_bmk/alice.xbel", "7"),
      StringToSign("PUT", "text/html", Now(), "/corvane_bmk/alice.xbel"),
      StringToSign("GET", "", Now(), "/corvane_bmk/alice.xbel"),
      StringToSign("HEAD", "", Now(-900, -300), "/corvane_bmk/alice.xbel"),
      StringToSign("GET", "", Now(900, 0), "/corvane_bmk/alice.xbel"),
  };
  for (const std::string& text : cases) {
    MsgResult reply = server_.Sign("alice", "pw", text);
    ASSERT_TRUE(reply.ok()) << text << ": " << reply.desc;
    // The signature travels percent-encoded: no "+", "/" or "=" left in it.
    EXPECT_EQ(reply.desc.find_first_of("+/="), std::string::npos) << reply.desc;
    EXPECT_EQ(PercentDecodeForTest(reply.desc), ExpectedSignature(kSecretKey, text)) << text;
  }
}

TEST_F(Signing, RefusesWhatTheUserMayNotHaveSigned) {
  const std::string own = "/corvane_bmk/alice.xbel";
  struct Case {
    const char* why;
    std::string user, password, text, message;
  } cases[] = {
      {"wrong password", "alice", "pw2", StringToSign("GET", "", Now(), own), std::string(kWrongLogin)},
      {"unknown user", "carol", "pw", StringToSign("GET", "", Now(), "/corvane_bmk/carol.xbel"), std::string(kWrongLogin)},
      {"other user's object", "alice", "pw", StringToSign("GET", "", Now(), "/corvane_bmk/bob.xbel"),
       std::string(kSignNotAllowed)},
      {"other letter case", "alice", "pw", StringToSign("GET", "", Now(), "/corvane_bmk/Alice.xbel"),
       std::string(kSignNotAllowed)},
      {"other bucket", "alice", "pw", StringToSign("GET", "", Now(), "/other/alice.xbel"), std::string(kSignNotAllowed)},
      {"sub-resource", "alice", "pw", StringToSign("GET", "", Now(), own + "?acl"), std::string(kSignNotAllowed)},
      {"bucket listing", "alice", "pw", StringToSign("GET", "", Now(), "/corvane_bmk/"), std::string(kSignNotAllowed)},
      {"DELETE", "alice", "pw", StringToSign("DELETE", "", Now(), own), std::string(kSignNotAllowed)},
      {"POST", "alice", "pw", StringToSign("POST", "", Now(), own), std::string(kSignNotAllowed)},
      {"lower-case get", "alice", "pw", StringToSign("get", "", Now(), own), std::string(kSignNotAllowed)},
      {"16 minutes late", "alice", "pw", StringToSign("GET", "", Now(-960), own), std::string(kDateOff)},
      {"16 minutes early", "alice", "pw", StringToSign("PUT", "text/html", Now(960, -600), own), std::string(kDateOff)},
      {"no date", "alice", "pw", StringToSign("GET", "", "", own), std::string(kSignMalformed)},
      {"GMT date", "alice", "pw", StringToSign("GET", "", "Tue, 09 Dec 2008 08:22:05 GMT", own),
       std::string(kSignMalformed)},
      {"content MD5", "alice", "pw", "GET\nabc\n\n" + Now() + "\n" + own, std::string(kSignMalformed)},
      {"too few lines", "alice", "pw", "GET\n\n" + Now() + "\n" + own, std::string(kSignMalformed)},
      {"extra header", "alice", "pw", StringToSign("GET", "", Now(), own, "1\nx-amz-acl:public-read"),
       std::string(kSignMalformed)},
      {"bad version", "alice", "pw", StringToSign("PUT", "text/html", Now(), own, "1x"), std::string(kSignMalformed)},
      {"carriage return", "alice", "pw", StringToSign("GET", "", Now(), own + "\r"), std::string(kSignMalformed)},
      {"empty", "alice", "pw", "", std::string(kSignMalformed)},
  };
  for (const Case& c : cases) {
    MsgResult reply = server_.Sign(c.user, c.password, c.text);
    EXPECT_EQ(reply.result, "FALSE") << c.why;
    EXPECT_EQ(reply.desc, c.message) << c.why;
  }
}

TEST_F(Signing, FollowsTheServiceClock) {
  const std::string text = StringToSign("GET", "", Now(), "/corvane_bmk/alice.xbel");
  server_.set_now(kServerTime + 16 * 60);
  EXPECT_EQ(server_.Sign("alice", "pw", text).desc, kDateOff);
  server_.set_now(kServerTime + 15 * 60);
  EXPECT_TRUE(server_.Sign("alice", "pw", text).ok());
}

TEST_F(Signing, NameWithQuerySeparatorsSignsItsOwnObject) {
  const std::string name = "x&y=z?w";
  ASSERT_TRUE(server_.Register(name, "pw", "x@y").ok());
  const std::string text = StringToSign("GET", "", Now(), "/corvane_bmk/" + name + ".xbel");
  MsgResult reply = server_.Sign(name, "pw", text);
  ASSERT_TRUE(reply.ok()) << reply.desc;
  EXPECT_EQ(PercentDecodeForTest(reply.desc), ExpectedSignature(kSecretKey, text));
}

TEST_F(Signing, LiteralPlusInTheQueryStandsForItself) {
  // The program escapes "+" itself; a hand-written request with "+0800" works too.
  std::string date = Now();
  ASSERT_NE(date.find('+'), std::string::npos);
  const std::string text = StringToSign("GET", "", date, "/corvane_bmk/alice.xbel");
  std::string escaped = EscapeValue(text);
  for (size_t at = escaped.find("%2B"); at != std::string::npos; at = escaped.find("%2B")) escaped.replace(at, 3, "+");
  MsgResult reply =
      server_.GetRaw("/bmkuserlogin.php?UserName=alice&Password=" + Md5Hex("pw") + "&Auth=" + escaped);
  ASSERT_TRUE(reply.ok()) << reply.desc;
  EXPECT_EQ(PercentDecodeForTest(reply.desc), ExpectedSignature(kSecretKey, text));
}

TEST(SignatureTest, MatchesTheS3DocumentationExample) {
  EXPECT_EQ(Signature("wJalrXUtnFEMI/K7MDENG/bPxRfiCYEXAMPLEKEY",
                      "GET\n\n\nTue, 27 Mar 2007 19:36:42 +0000\n/johnsmith/photos/puppy.jpg"),
            "bWq2s1WEIj+Ydj0vQ697zp+IXMU=");
}

TEST(RequestDateTest, ParsesTheProgramsFormOnly) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> unix_seconds;
  } cases[] = {
      {"Tue, 9 Dec 2008 16:22:05 +0800", 1228810925},
      {"Tue, 09 Dec 2008 16:22:05 +0800", 1228810925},
      {"Tue, 9 Dec 2008 03:22:05 -0500", 1228810925},
      {"Tue, 9 Dec 2008 08:22:05 +0000", 1228810925},
      {"Tue, 9 Dec 2008 13:52:05 +0530", 1228810925},
      {"Thu, 1 Jan 1970 00:00:00 +0000", 0},
      {"Thu, 29 Feb 2024 12:00:00 +0000", 1709208000},
      {"Wed, 9 Dec 2008 16:22:05 +0800", std::nullopt},   // wrong day name
      {"Thu, 29 Feb 2023 12:00:00 +0000", std::nullopt},  // no such day
      {"Tue, 9 Dec 2008 24:00:00 +0800", std::nullopt},
      {"Tue, 9 Dec 2008 16:60:05 +0800", std::nullopt},
      {"Tue, 9 Dec 2008 16:22:05 0800", std::nullopt},
      {"Tue, 9 Dec 2008 16:22:05 +08", std::nullopt},
      {"Tue, 9 Dec 2008 16:22:05 +0800 ", std::nullopt},
      {"Tue, 9 dec 2008 16:22:05 +0800", std::nullopt},
      {"Tue 9 Dec 2008 16:22:05 +0800", std::nullopt},
      {"Tue, 9 Dec 08 16:22:05 +0800", std::nullopt},
      {"Tue, 9 Dec 2008 16:22:05 GMT", std::nullopt},
      {"Tue, 9 Dec 2008 16:22:05 +1500", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseRequestDate(c.text), c.unix_seconds) << c.text;
}

}  // namespace
}  // namespace tessellink::accountd::test
