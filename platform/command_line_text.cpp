#include "platform/command_line_text.h"

namespace velmar::platform {

std::string UsageErrorText(std::string_view program, std::string_view what) {
  const std::string name(program);
  return name + ": " + std::string(what) + "\nTry '" + name + " --help'.\n";
}

std::string VersionText(std::string_view program) {
  return std::string(program) + " (velmar) " VELMAR_VERSION "\n";
}

}  // namespace velmar::platform
