// tessellink-cli: the command-line tool; everything but the choice of the data
// folder lives in cli_app.cpp.

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/data_folder.h"
#include "cli/cli_app.h"

int main(int argc, char** argv) {
  using namespace tessellink;
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  CliContext context;
  context.DataFolder = ProgramDataFolder;
  context.StderrIsTerminal = ::isatty(STDERR_FILENO) == 1;
  return RunCli(args, std::cout, std::cerr, context);
}
