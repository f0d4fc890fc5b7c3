#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/append_file.h"
#include "platform/system_error.h"

namespace velmar::platform {

struct AppendFile::Impl {
  int fd = -1;
};

AppendFile::AppendFile() : m_impl(std::make_unique<Impl>()) {}

AppendFile::~AppendFile() {
  if (m_impl->fd >= 0) {
    ::close(m_impl->fd);
  }
}

bool AppendFile::Open(const std::string& path, std::string* why) {
  m_impl->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (m_impl->fd < 0) {
    *why = SystemErrorText(errno);
    return false;
  }
  return true;
}

bool AppendFile::Append(const std::string& line, std::string* why) {
  ssize_t written = -1;
  do {
    written = ::write(m_impl->fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    *why = SystemErrorText(errno);
    return false;
  }
  if (static_cast<size_t>(written) != line.size()) {
    *why = "the disk took only part of the line";
    return false;
  }
  if (::fdatasync(m_impl->fd) != 0) {
    *why = SystemErrorText(errno);
    return false;
  }
  return true;
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) {
    return {};
  }
  return name;
}

}  // namespace velmar::platform
