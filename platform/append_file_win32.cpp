#include <windows.h>

#include "platform/append_file.h"
#include "platform/system_error.h"
#include "platform/wide_text_win32.h"

namespace velmar::platform {

struct AppendFile::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
};

AppendFile::AppendFile() : m_impl(std::make_unique<Impl>()) {}

AppendFile::~AppendFile() {
  if (m_impl->file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(m_impl->file);
  }
}

bool AppendFile::Open(const std::string& path, std::string* why) {
  // Appending only: each write goes to the end as one piece, whoever else appends.
  m_impl->file =
      ::CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (m_impl->file == INVALID_HANDLE_VALUE) {
    *why = SystemErrorText(static_cast<int>(::GetLastError()));
    return false;
  }
  return true;
}

bool AppendFile::Append(const std::string& line, std::string* why) {
  DWORD written = 0;
  if (!::WriteFile(m_impl->file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      !::FlushFileBuffers(m_impl->file)) {
    *why = SystemErrorText(static_cast<int>(::GetLastError()));
    return false;
  }
  if (written != line.size()) {
    *why = "the disk took only part of the line";
    return false;
  }
  return true;
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  return ::GetComputerNameW(name, &length) ? Narrow(std::wstring_view(name, length))
                                           : std::string();
}

}  // namespace velmar::platform
