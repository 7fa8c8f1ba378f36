#pragma once
// tessellink-cli: reads a bookmark file and prints its statistics, tags,
// searches, hot and recent lists and bundles, as text or as JSON. Everything
// runs in-process on the streams it is given, so tests capture the output.

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tessellink {

inline constexpr int kCliOk = 0;
inline constexpr int kCliFailed = 1;  // the files could not be read or are not in the expected form
inline constexpr int kCliUsage = 2;   // the command line is wrong

struct CliContext {
  // The data folder used when no --data-folder is given. Called at most once,
  // and only when a command needs the folder; may throw AppError.
  std::function<std::filesystem::path()> DataFolder;
  // Long commands show a live progress line on standard error when it is a terminal.
  bool StderrIsTerminal = false;
  // Reads one password (the account commands); the prompt goes where the user
  // sees it. Throws AppError when none can be read.
  std::function<std::string(std::string_view prompt)> ReadPassword;
  // Trust anchors for HTTPS in place of the system's store (tests); empty: the system's.
  std::string CaFile;
};

// `args` are the arguments after the program name. Results go to `out`,
// messages to `err`; returns the exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context = {});

// The text --help prints.
std::string CliUsage();

}  // namespace tessellink
