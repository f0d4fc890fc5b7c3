#include "platform/config_folder.h"

#include <cstdlib>

namespace velmar::platform {

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') {
    return std::string(xdg) + "/velmar";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/velmar";
}

}  // namespace velmar::platform
