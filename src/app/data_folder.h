#pragma once
// The data folder holds every file of the program (settings, browser list,
// bookmark file, layouts, the run log). The core never looks it up itself: the
// executables choose it once at start and pass it down, so tests use
// temporary folders.

#include <filesystem>
#include <string>
#include <vector>

namespace tessellink {

// The running executable's full path (/proc/self/exe); empty when unreadable.
std::filesystem::path RunningExecutablePath();

// The home folder of the account the program runs under, from the password
// database; empty when unknown.
std::filesystem::path AccountHomeFolder();
// $HOME when it is an absolute path, else AccountHomeFolder().
std::filesystem::path HomeFolder();

// $XDG_DATA_HOME/tessellink, or ~/.local/share/tessellink when the variable is
// unset or not absolute; empty when no home folder is known either.
std::filesystem::path DefaultUserDataFolder();

// True when the folder exists and this process may create files in it.
bool IsWritableFolder(const std::filesystem::path& folder);

// Creates `userFolder` when missing and copies into it each of `suppliedFiles`
// (plain names) that is a regular file in `executableFolder` and that the user
// folder lacks. A file already in the user folder is never replaced.
// Throws AppError when the folder cannot be made or a copy fails.
void PrepareUserDataFolder(const std::filesystem::path& executableFolder,
                           const std::vector<std::string>& suppliedFiles,
                           const std::filesystem::path& userFolder);

// The executable's folder when it is writable (a portable install keeps its
// files beside the program); otherwise `userFolder`, prepared as above.
// Throws AppError when neither folder can be used.
std::filesystem::path ChooseDataFolder(const std::filesystem::path& executableFolder,
                                       const std::vector<std::string>& suppliedFiles,
                                       const std::filesystem::path& userFolder = DefaultUserDataFolder());

// The files the program ships beside its executables, copied into a per-user
// data folder that lacks them.
inline const std::vector<std::string> kSuppliedDataFiles = {
    "AppSetting.xml", "default.xbel", "bookmark.ini", "export.ini", "firefoxheader.txt", "tagcloudheader.htm"};

// The data folder of the running program: ChooseDataFolder on its own folder
// with the supplied files; the per-user folder when its own path is unknown.
std::filesystem::path ProgramDataFolder();

// The folder's path with a trailing "/", to which plain file names are appended.
std::string AppPath(const std::filesystem::path& folder);

}  // namespace tessellink
