#include "app/data_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "common/atomic_file.h"
#include "common/errors.h"

namespace tessellink {

namespace fs = std::filesystem;

fs::path AccountHomeFolder() {
  struct passwd pw {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr && found->pw_dir != nullptr &&
      found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

fs::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  return AccountHomeFolder();
}

fs::path RunningExecutablePath() {
  std::error_code ec;
  fs::path path = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : path;
}

fs::path DefaultUserDataFolder() {
  // Relative values are to be ignored, as the base directory rules say.
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
    return fs::path(data) / "tessellink";
  const fs::path home = HomeFolder();
  if (home.empty()) return {};
  return home / ".local" / "share" / "tessellink";
}

bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  return !folder.empty() && fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

void PrepareUserDataFolder(const fs::path& executableFolder, const std::vector<std::string>& suppliedFiles,
                           const fs::path& userFolder) {
  if (userFolder.empty()) throw AppError("No folder for the program's files: the home folder is unknown");
  std::error_code ec;
  fs::create_directories(userFolder, ec);
  if (ec || !fs::is_directory(userFolder, ec))
    throw AppError("Cannot create the folder \"" + userFolder.string() + "\"");
  for (const std::string& name : suppliedFiles) {
    if (name.empty() || fs::path(name).has_parent_path()) continue;
    const fs::path source = executableFolder / name;
    const fs::path target = userFolder / name;
    if (!fs::is_regular_file(source, ec)) continue;
    if (fs::exists(fs::symlink_status(target, ec))) continue;  // the user's own copy wins
    try {
      WriteFileAtomically(target, ReadFileBytes(source));
    } catch (const AppError& e) {
      throw AppError(std::string("Cannot copy \"") + name + "\" to \"" + userFolder.string() + "\": " + e.what());
    }
  }
}

fs::path ChooseDataFolder(const fs::path& executableFolder, const std::vector<std::string>& suppliedFiles,
                          const fs::path& userFolder) {
  if (IsWritableFolder(executableFolder)) return executableFolder;
  PrepareUserDataFolder(executableFolder, suppliedFiles, userFolder);
  return userFolder;
}

fs::path ProgramDataFolder() {
  const fs::path exe = RunningExecutablePath();
  // Without the program's own folder there is nothing to copy from.
  if (exe.empty()) {
    const fs::path user = DefaultUserDataFolder();
    PrepareUserDataFolder({}, {}, user);
    return user;
  }
  return ChooseDataFolder(exe.parent_path(), kSuppliedDataFiles);
}

std::string AppPath(const fs::path& folder) {
  std::string text = folder.string();
  if (text.empty()) return "./";  // never the root folder by accident
  if (text.back() != '/') text += '/';
  return text;
}

}  // namespace tessellink
