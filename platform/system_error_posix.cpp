#include <string.h>

#include "platform/system_error.h"

namespace velmar::platform {

namespace {

// glibc's strerror_r returns the text, which need not be in the buffer; the XSI one fills it.
[[maybe_unused]] const char* Text(char* result, const char*) {
  return result;
}
[[maybe_unused]] const char* Text(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}

}  // namespace

std::string SystemErrorText(int error) {
  if (error == 0) {
    return {};
  }
  char buffer[256] = {};
  std::string text = Text(::strerror_r(error, buffer, sizeof buffer), buffer);
  while (!text.empty() && (text.back() == '.' || text.back() == '\n')) {
    text.pop_back();
  }
  return text;
}

}  // namespace velmar::platform
