#pragma once
// printf-style formatting into a std::string, for messages and report lines.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace velmar::emulator {

__attribute__((format(printf, 1, 2))) inline std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) {
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  }
  va_end(again);
  return text;
}

}  // namespace velmar::emulator
