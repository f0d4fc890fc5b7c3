#include "platform/utf8_path.h"

#include <string>

namespace velmar::platform {

std::filesystem::path Utf8Path(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace velmar::platform
