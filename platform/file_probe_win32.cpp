#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/file_probe.h"
#include "platform/wide_text_win32.h"

namespace velmar::platform {

namespace {

constexpr std::wstring_view kDeviceNamespace = L"\\\\.\\";

// DOS device names (COM1, NUL, CON, LPT1, ...; before Windows 11 also in any folder and with
// any extension) and paths into the device namespace name devices, which opening could act on.
bool NamesDevice(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 2) {
    return false;  // left to the checks after opening
  }
  return std::wstring_view(full, length).substr(0, kDeviceNamespace.size()) == kDeviceNamespace;
}

ProbeFault FaultOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return ProbeFault::kMissing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return ProbeFault::kAccessDenied;
    default:
      return ProbeFault::kOther;
  }
}

}  // namespace

ProbeResult ProbedFile::Fail(ProbeResult result, ProbeFault fault, int error) {
  m_fault = fault;
  m_error = error;
  return result;
}

ProbedFile::~ProbedFile() {
  Close();
}

ProbeResult ProbedFile::Open(const std::string& path) {
  Close();
  m_fault = ProbeFault::kNone;
  m_error = 0;
  if (path.empty()) {
    return Fail(ProbeResult::kCannotOpen, ProbeFault::kMissing, ERROR_FILE_NOT_FOUND);
  }
  // Paths are UTF-8 here; the narrow calls would read them in the ANSI code page.
  const std::wstring wide_path = Widen(path);
  if (NamesDevice(wide_path)) {
    return Fail(ProbeResult::kNotAFile, ProbeFault::kNotAFile, 0);
  }
  const DWORD attributes = ::GetFileAttributesW(wide_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return Fail(ProbeResult::kCannotOpen, FaultOf(error), static_cast<int>(error));
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Fail(ProbeResult::kNotAFile, ProbeFault::kFolder, 0);
  }
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    return Fail(ProbeResult::kNotAFile, ProbeFault::kNotAFile, 0);
  }
  // Others may read and write it meanwhile, as on POSIX; the reader bounds what it takes.
  const HANDLE handle =
      ::CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return Fail(ProbeResult::kCannotOpen, FaultOf(error), static_cast<int>(error));
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || ::GetFileInformationByHandle(handle, &info) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    const bool opened_something = ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
    ::CloseHandle(handle);
    return opened_something ? Fail(ProbeResult::kNotAFile, ProbeFault::kNotAFile, 0)
                            : Fail(ProbeResult::kCannotOpen, ProbeFault::kOther, 0);
  }
  // From here the C runtime owns the handle, and closing its descriptor closes the handle.
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    return Fail(ProbeResult::kCannotOpen, ProbeFault::kOther, 0);
  }
  m_fd = fd;
  m_size = (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return ProbeResult::kRegularFile;
}

int64_t ProbedFile::Read(uint8_t* buffer, int64_t count) {
  if (m_fd < 0 || count < 0) {
    return -1;
  }
  const auto chunk = static_cast<unsigned int>(std::min<int64_t>(count, INT_MAX));
  const int got = ::_read(m_fd, buffer, chunk);
  if (got < 0) {
    m_fault = ProbeFault::kOther;
    m_error = static_cast<int>(::GetLastError());
  }
  return got;
}

void ProbedFile::Close() {
  if (m_fd >= 0) {
    ::_close(m_fd);
    m_fd = -1;
  }
  m_size = 0;
}

}  // namespace velmar::platform
