#include "platform/file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmar::platform {

ProbedFile::~ProbedFile() {
  Close();
}

namespace {

ProbeFault FaultOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ProbeFault::kMissing;
    case EACCES:
    case EPERM:
      return ProbeFault::kAccessDenied;
    default:
      return ProbeFault::kOther;
  }
}

// The system's word for a directory, so that the reason reads as it would had it been opened.
ProbeFault NotRegular(const struct stat& info, int* error) {
  *error = S_ISDIR(info.st_mode) ? EISDIR : 0;
  return S_ISDIR(info.st_mode) ? ProbeFault::kFolder : ProbeFault::kNotAFile;
}

}  // namespace

ProbeResult ProbedFile::Fail(ProbeResult result, ProbeFault fault, int error) {
  m_fault = fault;
  m_error = error;
  return result;
}

ProbeResult ProbedFile::Open(const std::string& path) {
  Close();
  m_fault = ProbeFault::kNone;
  m_error = 0;
  struct stat info {};
  int error = 0;
  if (::stat(path.c_str(), &info) != 0) {
    error = errno;
    return Fail(ProbeResult::kCannotOpen, FaultOf(error), error);
  }
  if (!S_ISREG(info.st_mode)) {
    const ProbeFault fault = NotRegular(info, &error);
    return Fail(ProbeResult::kNotAFile, fault, error);
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return Fail(ProbeResult::kCannotOpen, FaultOf(error), error);
  }
  if (::fstat(fd, &info) != 0) {
    error = errno;
    ::close(fd);
    return Fail(ProbeResult::kCannotOpen, ProbeFault::kOther, error);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    const ProbeFault fault = NotRegular(info, &error);
    return Fail(ProbeResult::kNotAFile, fault, error);
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
    if (got >= 0) {
      return got;
    }
    if (errno != EINTR) {
      m_fault = ProbeFault::kOther;
      m_error = errno;
      return -1;
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
