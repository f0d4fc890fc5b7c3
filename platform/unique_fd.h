#pragma once
// One owned file descriptor, closed when the owner goes. POSIX only: the callers are the POSIX
// files of platform/ and the emulator, a Linux program.
//
// Principles of operation: the owner is moved, never copied, so that a descriptor is closed once;
// -1 means none. Reset closes what is held and takes the new descriptor (none by default).

#include <unistd.h>

#include <utility>

namespace velmar::platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset(std::exchange(other.m_fd, -1));
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return m_fd; }
  bool Valid() const { return m_fd >= 0; }
  void Reset(int fd = -1) {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

}  // namespace velmar::platform
