#include <glob.h>

#include <filesystem>
#include <system_error>

#include "platform/path_glob.h"

namespace velmar::platform {

std::vector<std::string> PortPathsMatching(const std::string& pattern) {
  std::vector<std::string> paths;
  glob_t found{};
  if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) {
      std::error_code error;
      const auto target = std::filesystem::weakly_canonical(found.gl_pathv[i], error);
      // /dev's own nodes are the listing's to judge: most ttyS nodes have no UART behind them.
      if (!error && target.parent_path() != "/dev") {
        paths.emplace_back(found.gl_pathv[i]);
      }
    }
  }
  globfree(&found);
  return paths;
}

}  // namespace velmar::platform
