// tessellink-cli: the command-line tool; everything but the choice of the data
// folder and the terminal lives in cli_app.cpp.

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/data_folder.h"
#include "cli/cli_app.h"
#include "common/errors.h"

namespace {

// One line from standard input; on a terminal the prompt goes to standard
// error and the typed text is not echoed.
std::string ReadPasswordLine(std::string_view prompt) {
  const bool terminal = ::isatty(STDIN_FILENO) == 1;
  termios saved{};
  bool quieted = false;
  if (terminal) {
    std::cerr << prompt << std::flush;
    if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
      quieted = true;
      termios quiet = saved;
      quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
      ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
  }
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (quieted) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  if (terminal) std::cerr << "\n";
  if (!read) throw tessellink::AppError("no password given on standard input");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessellink;
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  CliContext context;
  context.DataFolder = ProgramDataFolder;
  context.StderrIsTerminal = ::isatty(STDERR_FILENO) == 1;
  context.ReadPassword = ReadPasswordLine;
  return RunCli(args, std::cout, std::cerr, context);
}
