#pragma once
// The window program's command line, the same on every toolkit: `velmar [FILE]`, `--help`,
// `--version`.
//
// Principles of operation: read before any toolkit starts, so that --help, --version and a
// usage error print and end the program without a display or a window (the front end writes
// the texts and exits: 0, or 2 for a usage error). Options and the file come in any order;
// "--" ends the options, for a file that starts with '-'.
//   ReadWindowCommandLine  what the arguments after the program's name ask for.
//   WindowUsageText        the --help text.
//   WindowUsageError       "velmar: WHAT" and where the usage is.

#include <string>
#include <vector>

namespace velmar::app {

enum class WindowCommand { kOpen, kHelp, kVersion, kUsageError };

struct WindowCommandLine {
  WindowCommand command = WindowCommand::kOpen;
  std::string file;   // kOpen: put in the window's file field; empty: none
  std::string error;  // kUsageError: what was wrong
};

WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& arguments);
const char* WindowUsageText();
std::string WindowUsageError(const std::string& error);

}  // namespace velmar::app
