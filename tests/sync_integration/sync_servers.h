#pragma once
// The real servers of a synchronisation test, the account service and s3rver,
// as child processes sharing one storage secret, and the few steps every such
// test takes with them.

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_app.h"
#include "settings/app_settings.h"
#include "support/child_process.h"
#include "support/test_support.h"
#include "sync/s3_storage.h"
#include "sync_integration/s3rver_process.h"

namespace tessellink::test {

inline constexpr const char* kSyncSecret = "wJalrXUtnFEMI/K7MDENG/bPxRfiCYEXAMPLEKEY";
inline constexpr const char* kSyncPassword = "pa ss=?";

class SyncServers {
 public:
  // Callers check MissingS3rverTools first, so that a missing tool fails with its remedy.
  explicit SyncServers(const std::filesystem::path& work) {
    WriteFile(work / "accountd.key", std::string(kSyncSecret) + "\n");
    accountd_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        std::string(TESSELLINK_BIN_DIR) + "/tessellink-accountd", "--port", "0", "--database",
        (work / "accounts.sqlite").string(), "--secret-key-file", (work / "accountd.key").string()});
    accountPort_ = accountd_->WaitForListening();
    storage_ = std::make_unique<S3rverProcess>(work / "s3", std::string(kStorageAccessKeyId), kSyncSecret);
  }

  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(accountPort_) + "/"; }
  std::string StorageHost() const { return storage_->host_and_port(); }
  void StopAccountService() { accountd_->Stop(); }

 private:
  std::unique_ptr<ChildProcess> accountd_;
  int accountPort_ = 0;
  std::unique_ptr<S3rverProcess> storage_;
};

// Points a data folder's settings at the servers, keeping what else it holds.
inline void WriteSyncSettings(const std::filesystem::path& folder, const std::string& baseUrl,
                              const std::string& storageHost) {
  std::filesystem::create_directories(folder);
  TXMLAppSettingType settings = std::filesystem::exists(folder / kAppSettingFileName)
                                    ? LoadAppSettingStrict(folder / kAppSettingFileName)
                                    : TXMLAppSettingType();
  TXMLTesselsyncType account = settings.Tesselsync();
  account.SetUsessl(false);
  account.SetBaseUrl(baseUrl);
  account.SetStorageUrl(storageHost);
  SaveSettings(settings, folder);
}

struct CliResult {
  int code;
  std::string out, err;
};

// The command-line tool in-process on one data folder; every password asked is kSyncPassword.
inline CliResult RunCliIn(const std::filesystem::path& folder, std::vector<std::string> args) {
  args.insert(args.begin(), {"--data-folder", folder.string()});
  CliContext context;
  context.ReadPassword = [](std::string_view) { return std::string(kSyncPassword); };
  std::ostringstream out, err;
  const int code = RunCli(args, out, err, context);
  return {code, out.str(), err.str()};
}

// Adds a bookmark through an import into the folder's default file, as an edit would.
inline CliResult EditByImport(const std::filesystem::path& folder, const std::filesystem::path& scratch,
                              const std::string& title) {
  const std::filesystem::path source = scratch / (title + ".xbel");
  WriteFile(source, OneBookmarkXbel(title, "http://" + title + ".example/"));
  return RunCliIn(folder, {"import", "xbel", source.string(), (folder / "default.xbel").string()});
}

}  // namespace tessellink::test
