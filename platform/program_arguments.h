#pragma once
// The program's command-line arguments, after its own name, in UTF-8 as every path and text here.
//   ProgramArguments  POSIX: argv as given (a file name is whatever bytes name it). Windows: the
//                     wide command line split as the system splits it, so that a file name
//                     outside the ANSI code page arrives intact; argc and argv are not used
//                     (a wWinMain has none).

#include <string>
#include <vector>

namespace velmar::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace velmar::platform
