#include "cli/cli_account.h"

#include "app/environment_services.h"
#include "cli/cli_text.h"
#include "common/errors.h"
#include "common/text.h"
#include "settings/password_scramble.h"
#include "sync/s3_storage.h"

namespace tessellink {

namespace {

TS3Storage StorageFor(Session& s) {
  TS3Storage storage(StorageEndpointFromSettings(s.Settings()));
  storage.SetUseSsl(s.Settings().Tesselsync().Usessl());
  return storage;
}

// The service's own message, or a plain one when it sent none.
[[noreturn]] void Refused(const TS3Storage& storage, const char* fallback) {
  const std::string desc = OneLine(storage.LastReply.Desc);
  throw AppError(desc.empty() ? fallback : desc);
}

void Register(Session& s, std::string& text) {
  const std::string& user = s.Args().operands[1];
  const std::string& email = s.Args().operands[2];
  // The wizard's checks, in its order and with its texts.
  if (user.empty()) throw AppError("User name can't be empty");
  if (!IsValidAccountName(user))
    throw AppError("Illegal character found in User name, please do not use space,+,-,*,/ in text");
  const std::string password = s.ReadPassword("Password: ");
  if (password.empty()) throw AppError("Password can not be empty.");
  if (email.empty()) throw AppError("EMail can not be empty.");
  if (s.ReadPassword("Confirm Password: ") != password)
    throw AppError("Password does not match the text in Confirm Password");

  TS3Storage storage = StorageFor(s);
  if (!storage.Register(user, password, email)) Refused(storage, "Account create failed.");
  TXMLTesselsyncType account = s.Settings().Tesselsync();
  account.SetUsername(user);
  account.SetPassword(Scramble(password));
  account.SetEmail(email);
  SaveSettings(s.Settings(), s.DataFolder());
  text += "Account created.\n";
}

void Login(Session& s, std::string& text) {
  const std::string& user = s.Args().operands[1];
  if (user.empty()) throw AppError("User name can not be empty");
  const std::string password = s.ReadPassword("Password: ");
  if (password.empty()) throw AppError("Password can not be empty.");

  TS3Storage storage = StorageFor(s);
  if (!storage.Login(user, password)) Refused(storage, "Login failed.");
  TXMLTesselsyncType account = s.Settings().Tesselsync();
  account.SetUsername(user);
  account.SetPassword(Scramble(password));
  SaveSettings(s.Settings(), s.DataFolder());
  text += "Login success.\n";
}

void ChangePassword(Session& s, std::string& text) {
  const std::string user = s.Settings().Tesselsync().Username();
  if (user.empty()) throw AppError("Please input user name");
  const std::string oldPassword = s.ReadPassword("Old Password: ");
  const std::string newPassword = s.ReadPassword("New Password: ");
  if (s.ReadPassword("Confirm Password: ") != newPassword)
    throw AppError("Confirm password does not match the password!");
  if (newPassword.empty()) throw AppError("The password  can not be empty!");

  TS3Storage storage = StorageFor(s);
  if (!storage.ChangePassword(user, oldPassword, newPassword)) Refused(storage, "Password change failed.");
  // No options dialog to confirm here: the new password is stored at once.
  s.Settings().Tesselsync().SetPassword(Scramble(newPassword));
  SaveSettings(s.Settings(), s.DataFolder());
  text += "Password changed!\n";
}

}  // namespace

void CheckAccountOperands(const Invocation& inv) {
  const std::string& sub = inv.operands[0];
  const std::size_t n = inv.operands.size();
  if (sub == "register") {
    if (n != 3) throw UsageError("usage: account register USER EMAIL (the password is read from standard input)");
  } else if (sub == "login") {
    if (n != 2) throw UsageError("usage: account login USER (the password is read from standard input)");
  } else if (sub == "passwd") {
    if (n != 1) throw UsageError("usage: account passwd (the passwords are read from standard input)");
  } else {
    throw UsageError("unknown account command " + Quoted(sub) + " (use register, login, passwd)");
  }
}

void RunAccount(Session& s, std::string& text) {
  const std::string& sub = s.Args().operands[0];
  if (sub == "register")
    Register(s, text);
  else if (sub == "login")
    Login(s, text);
  else
    ChangePassword(s, text);
}

}  // namespace tessellink
