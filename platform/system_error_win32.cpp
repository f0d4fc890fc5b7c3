#include <windows.h>

#include "platform/system_error.h"

namespace velmar::platform {

std::string SystemErrorText(int error) {
  if (error == 0) {
    return {};
  }
  wchar_t wide[512] = {};
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(error), 0, wide, sizeof wide / sizeof wide[0], nullptr);
  if (length == 0) {
    return {};
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
  std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text.data(), size, nullptr,
                        nullptr);
  // The system's messages end in a full stop and, despite the width mask, may end in spaces.
  while (!text.empty() &&
         (text.back() == '.' || text.back() == ' ' || text.back() == '\r' || text.back() == '\n')) {
    text.pop_back();
  }
  return text;
}

}  // namespace velmar::platform
