#pragma once
// What the Linux tests that run Windows programs under Wine hand them.
//   WindowsPath   a file of this machine as Windows programs name it (Wine's drive Z: is "/")
//   Environment   a variable of the test's environment; empty when unset

#include <string>

namespace velmar::test {

inline std::string WindowsPath(std::string path) {
  for (char& c : path) {
    c = c == '/' ? '\\' : c;
  }
  return "Z:" + path;
}

std::string Environment(const char* name);

}  // namespace velmar::test
