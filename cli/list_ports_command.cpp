#include <cstdio>
#include <string>

#include "cli/load_command.h"
#include "cli/options.h"
#include "platform/serial_line.h"

namespace velmar::cli {

int RunListPorts() {
  for (const std::string& port : platform::ListPorts()) {
    std::printf("%s\n", port.c_str());
  }
  return kExitSuccess;
}

}  // namespace velmar::cli
