#pragma once
// The lines every program of the project prints about its own command line, the same way.
//
// Principles of operation: a usage error is told in two lines on standard error, what was
// wrong and where the whole usage is, so that it reads at once in a terminal or a script's log
// (the caller exits with status 2); --version prints the program's name, the project's and
// the project's version, which the build takes from CMake, on standard output.
//   UsageErrorText  "PROGRAM: WHAT\nTry 'PROGRAM --help'.\n"
//   VersionText     "PROGRAM (velmar) VERSION\n"

#include <string>
#include <string_view>

namespace velmar::platform {

std::string UsageErrorText(std::string_view program, std::string_view what);
std::string VersionText(std::string_view program);

}  // namespace velmar::platform
