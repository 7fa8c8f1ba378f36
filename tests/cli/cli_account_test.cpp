// The account commands against a loopback account service that answers like
// the real one: a Msg document per request.

#include <gtest/gtest.h>
#include <httplib.h>

#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "net/loopback_server.h"
#include "settings/app_settings.h"
#include "settings/password_scramble.h"
#include "sync/s3_storage.h"
#include "support/test_support.h"

namespace tessellink {
namespace {

std::string Msg(const char* result, const char* desc) {
  return std::string("<?xml version=\"1.0\"?><Msg><Result>") + result + "</Result><Desc>" + desc + "</Desc></Msg>";
}

class CliAccount : public testing::Test {
 protected:
  CliAccount() {
    server_.Get(R"(/(\w+)\.php)", [this](const httplib::Request& request, httplib::Response& response) {
      paths_.push_back(request.path + "?" + (request.has_param("UserName") ? request.get_param_value("UserName") : ""));
      digests_.push_back(request.has_param("Password") ? request.get_param_value("Password") : "");
      const bool refuse = request.has_param("UserName") && request.get_param_value("UserName") == "taken";
      response.set_content(refuse ? Msg("FALSE", "User name already exists.") : Msg("OK", ""), "text/xml");
    });
    thread_ = std::make_unique<test::ServerThread>(server_);
    TXMLAppSettingType settings;
    settings.Tesselsync().SetBaseUrl(thread_->url("/"));
    settings.Tesselsync().SetUsessl(false);
    SaveSettings(settings, dir_.path());
  }

  int Run(std::vector<std::string> args, std::deque<std::string> passwords) {
    args.insert(args.begin(), {"--data-folder", dir_.path().string()});
    std::ostringstream out, err;
    CliContext context;
    context.ReadPassword = [&passwords](std::string_view) {
      if (passwords.empty()) throw std::runtime_error("no more passwords");
      std::string p = passwords.front();
      passwords.pop_front();
      return p;
    };
    const int rc = RunCli(args, out, err, context);
    out_ = out.str();
    err_ = err.str();
    return rc;
  }
  TXMLAppSettingType Stored() { return LoadAppSettingStrict(dir_ / "AppSetting.xml"); }

  test::TempDir dir_;
  httplib::Server server_;
  std::unique_ptr<test::ServerThread> thread_;
  std::vector<std::string> paths_, digests_;
  std::string out_, err_;
};

TEST_F(CliAccount, RegisterStoresTheAccountWithTheScrambledPassword) {
  ASSERT_EQ(Run({"account", "register", "alice", "alice@example.com"}, {"s3cret", "s3cret"}), kCliOk) << err_;
  EXPECT_EQ(out_, "Account created.\n");
  EXPECT_EQ(paths_, std::vector<std::string>{"/test.php?alice"});
  EXPECT_EQ(digests_.front(), PasswordDigest("s3cret"));
  const TXMLAppSettingType stored = Stored();
  EXPECT_EQ(stored.Tesselsync().Username(), "alice");
  EXPECT_EQ(stored.Tesselsync().Password(), Scramble("s3cret"));
  EXPECT_EQ(stored.Tesselsync().Email(), "alice@example.com");

  ASSERT_EQ(Run({"account", "passwd"}, {"s3cret", "new", "new"}), kCliOk) << err_;
  EXPECT_EQ(out_, "Password changed!\n");
  EXPECT_EQ(Stored().Tesselsync().Password(), Scramble("new"));
  ASSERT_EQ(Run({"account", "login", "alice"}, {"new"}), kCliOk) << err_;
  EXPECT_EQ(out_, "Login success.\n");
}

TEST_F(CliAccount, RefusalsComeBeforeAnyRequestOrFromTheService) {
  const struct {
    std::vector<std::string> args;
    std::deque<std::string> passwords;
    const char* message;
  } cases[] = {
      {{"account", "register", "a b", "x@y"}, {}, "Illegal character found in User name"},
      {{"account", "register", "alice", "x@y"}, {"", ""}, "Password can not be empty."},
      {{"account", "register", "alice", "x@y"}, {"one", "One"}, "Password does not match the text in Confirm Password"},
      {{"account", "login", "alice"}, {""}, "Password can not be empty."},
      {{"account", "passwd"}, {"old", "new", "new"}, "Please input user name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(Run(c.args, c.passwords), kCliFailed);
    EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
  }
  EXPECT_TRUE(paths_.empty());

  EXPECT_EQ(Run({"account", "register", "taken", "x@y"}, {"pw", "pw"}), kCliFailed);
  EXPECT_NE(err_.find("User name already exists."), std::string::npos) << err_;
  EXPECT_EQ(Stored().Tesselsync().Username(), "");
  EXPECT_EQ(Run({"account", "frobnicate"}, {}), kCliUsage);
}

}  // namespace
}  // namespace tessellink
