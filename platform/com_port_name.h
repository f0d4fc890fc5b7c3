#pragma once
// "COMn" port names, read the same way on every system: Windows' own names, and on Linux the
// names the window offers, which lead to a link or a device.

#include <string_view>

namespace velmar::platform {

enum class ComLetters {
  kUpperCase,  // "COM" only
  kAnyCase,    // "com", "Com" too, as Windows takes them
};

// n for "COMn" with n a positive decimal number, else 0.
int ComNumber(std::string_view name, ComLetters letters);

}  // namespace velmar::platform
