#include <windows.h>

#include <string>

#include "platform/message_box.h"

namespace velmar::platform {

// The executable's base name without its extension, as Windows programs name themselves.
std::string ApplicationName() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length);
  if (const auto slash = name.find_last_of("\\/"); slash != std::string::npos) {
    name.erase(0, slash + 1);
  }
  if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  return name;
}

}  // namespace velmar::platform
