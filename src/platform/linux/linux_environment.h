#pragma once
// The environment services on a Linux desktop, through the freedesktop.org
// conventions: desktop entries, shared-mime-info, mimeapps.list and the
// autostart folder. The folders are read from the environment once, when the
// object is made, so tests can point them at temporary folders.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/environment_services.h"

namespace tessellink {

struct TXdgFolders {
  std::filesystem::path home;
  std::filesystem::path dataHome;    // XDG_DATA_HOME, default ~/.local/share
  std::filesystem::path configHome;  // XDG_CONFIG_HOME, default ~/.config
  std::vector<std::filesystem::path> configDirs;  // XDG_CONFIG_DIRS, default /etc/xdg
  std::vector<std::filesystem::path> dataDirs;    // XDG_DATA_DIRS, default /usr/local/share:/usr/share
  std::vector<std::string> desktops;              // XDG_CURRENT_DESKTOP, lower case
  std::vector<std::filesystem::path> searchPath;  // PATH, for helper tools

  using Lookup = std::function<std::optional<std::string>(const std::string& name)>;
  static TXdgFolders FromLookup(const Lookup& variable);
  static TXdgFolders FromProcess();
};

class TLinuxEnvironment : public IEnvironmentServices {
 public:
  TLinuxEnvironment();  // this process's environment and executable
  TLinuxEnvironment(TXdgFolders folders, std::filesystem::path executable);

  bool RegisterFileType(const std::string& extension, const std::string& typeName, const std::string& description,
                        const std::string& programPath, const std::string& contentType) const override;
  void RegisterUrlProtocol() const override;
  void SetRunAtStartup(bool on) const override;
  bool IsRunAtStartup() const override;
  std::string DefaultBrowserCommand() const override;
  bool IsIE7OrLater() const override { return false; }
  std::string FileVersionText() const override;
  int WindowsVersionCode() const override;
  std::string SpecialFolderPath(int id) const override;
  std::string OperaPageTitle() const override;
  std::string LongPathOf(const std::string& path) const override;

  // Where the files go; for callers that show them and for tests.
  std::filesystem::path DesktopEntryPath() const;
  std::filesystem::path MimePackagePath() const;
  std::filesystem::path AutostartEntryPath() const;
  std::filesystem::path MimeAppsListPath() const;
  // The mimeapps.list files in lookup order.
  std::vector<std::filesystem::path> MimeAppsLookupOrder() const;

 private:
  void RunUpdateMimeDatabase() const;

  TXdgFolders xdg_;
  std::filesystem::path executable_;
};

}  // namespace tessellink
