#include "platform/file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmar::platform {

ProbedFile::~ProbedFile() {
  Close();
}

ProbeResult ProbedFile::Open(const std::string& path) {
  Close();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return ProbeResult::kCannotOpen;
  }
  if (!S_ISREG(info.st_mode)) {
    return ProbeResult::kNotAFile;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return ProbeResult::kCannotOpen;
  }
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return ProbeResult::kCannotOpen;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return ProbeResult::kNotAFile;
  }
  m_fd = fd;
  m_size = static_cast<int64_t>(info.st_size);
  return ProbeResult::kRegularFile;
}

int64_t ProbedFile::Read(uint8_t* buffer, int64_t count) {
  if (m_fd < 0 || count < 0) {
    return -1;
  }
  for (;;) {
    const ssize_t got = ::read(m_fd, buffer, static_cast<size_t>(count));
    if (got >= 0 || errno != EINTR) {
      return got;
    }
  }
}

void ProbedFile::Close() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  m_size = 0;
}

}  // namespace velmar::platform
