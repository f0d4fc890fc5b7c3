#include "tests/windows/wine_paths.h"

#include <cstdlib>

namespace velmar::test {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace velmar::test
