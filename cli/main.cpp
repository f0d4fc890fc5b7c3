// velmar-load: loads a data file into a printer from the command line.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/load_command.h"
#include "cli/options.h"
#include "platform/console_output.h"
#include "platform/program_arguments.h"

int main(int argc, char** argv) {
  using namespace velmar::cli;
  // Kept to the end of main, so that the console is as the program found it once it exits.
  const velmar::platform::ConsoleOutput console;
  const ParseResult parsed = ParseOptions(velmar::platform::ProgramArguments(argc, argv));
  if (!parsed.options) {
    std::fprintf(stderr, "velmar-load: %s\n%s", parsed.error.c_str(), UsageText());
    return kExitUsage;
  }
  switch (parsed.options->command) {
    case Command::kHelp:
      std::fputs(UsageText(), stdout);
      return kExitSuccess;
    case Command::kListPorts:
      return RunListPorts();
    case Command::kInfo:
      return RunInfo(*parsed.options);
    case Command::kLoad:
      break;
  }
  return RunLoad(*parsed.options, console.CanRedrawLine());
}
