#include <windows.h>

#include <shellapi.h>

#include "platform/program_arguments.h"
#include "platform/wide_text_win32.h"

namespace velmar::platform {

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) {
    return arguments;
  }
  for (int i = 1; i < count; ++i) {
    arguments.push_back(Narrow(wide[i]));
  }
  ::LocalFree(wide);
  return arguments;
}

}  // namespace velmar::platform
