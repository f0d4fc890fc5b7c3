// velmar-load: loads a data file into a printer from the command line.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/load_command.h"
#include "cli/options.h"
#include "platform/command_line_text.h"
#include "platform/console_output.h"
#include "platform/program_arguments.h"
#include "platform/utf8_path.h"

namespace {

// The --ports-from list joins the printers named on the command line: a list that cannot be read
// is a file error, a bad line a usage error.
int AddPortListFile(velmar::cli::Options* options) {
  using namespace velmar::cli;
  std::ifstream file;
  if (options->ports_from != "-") {
    file.open(velmar::platform::Utf8Path(options->ports_from));
    if (!file) {
      velmar::platform::WriteText(
          stderr, "velmar-load: cannot read the port list " + options->ports_from + "\n");
      return kExitCannotOpenFile;
    }
  }
  const std::string error = AddPortList(options->ports_from == "-" ? std::cin : file, options);
  if (!error.empty()) {
    velmar::platform::WriteText(stderr, UsageError(options->ports_from + ": " + error));
    return kExitUsage;
  }
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmar::cli;
  // Kept to the end of main, so that the console is as the program found it once it exits.
  const velmar::platform::ConsoleOutput console;
  const ParseResult parsed = ParseOptions(velmar::platform::ProgramArguments(argc, argv));
  if (!parsed.options) {
    // A path or a port in the error may be any script: the console writer shows it intact.
    velmar::platform::WriteText(stderr, UsageError(parsed.error));
    return kExitUsage;
  }
  Options options = *parsed.options;
  if (options.command == Command::kLoad && !options.ports_from.empty()) {
    if (const int status = AddPortListFile(&options); status != kExitSuccess) {
      return status;
    }
  }
  switch (options.command) {
    case Command::kHelp:
      std::fputs(UsageText(), stdout);
      return kExitSuccess;
    case Command::kVersion:
      std::fputs(velmar::platform::VersionText("velmar-load").c_str(), stdout);
      return kExitSuccess;
    case Command::kListPorts:
      return RunListPorts(options.json);
    case Command::kInfo:
      return RunInfo(options);
    case Command::kStation:
      return RunStation(options, console.CanRedrawLine());
    case Command::kLoad:
      break;
  }
  return RunLoad(options, console.CanRedrawLine());
}
