#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velmar::test {

namespace {

constexpr size_t kReadChunk = 4096;

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

PtyPair::PtyPair() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    ADD_FAILURE() << "posix_openpt: " << std::strerror(errno);
    return;
  }
  const char* slave = nullptr;
  termios raw{};
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || (slave = ::ptsname(master)) == nullptr ||
      ::tcgetattr(master, &raw) != 0) {
    ADD_FAILURE() << "setting up the pty: " << std::strerror(errno);
    ::close(master);
    return;
  }
  ::cfmakeraw(&raw);
  const int flags = ::fcntl(master, F_GETFL);
  if (::tcsetattr(master, TCSANOW, &raw) != 0 || flags < 0 ||
      ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
    ADD_FAILURE() << "making the pty raw: " << std::strerror(errno);
    ::close(master);
    return;
  }
  m_master = master;
  m_slave_path = slave;
}

PtyPair::~PtyPair() {
  CloseMaster();
}

bool PtyPair::WriteAll(const uint8_t* data, size_t length) {
  if (m_master < 0) {
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
  size_t done = 0;
  while (done < length) {
    const ssize_t put = ::write(m_master, data + done, length - done);
    if (put > 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put < 0 && errno != EAGAIN) {
      return false;
    }
    pollfd room{m_master, POLLOUT, 0};
    const int left = MillisecondsLeft(deadline);
    if (left == 0 || ::poll(&room, 1, left) == 0) {
      return false;
    }
  }
  return true;
}

bool PtyPair::WriteAll(const std::vector<uint8_t>& bytes) {
  return WriteAll(bytes.data(), bytes.size());
}

std::vector<uint8_t> PtyPair::ReadExactly(size_t count, std::chrono::milliseconds deadline) {
  std::vector<uint8_t> got;
  const auto until = std::chrono::steady_clock::now() + deadline;
  std::array<uint8_t, kReadChunk> chunk{};
  while (m_master >= 0 && got.size() < count) {
    const ssize_t n = ::read(m_master, chunk.data(), std::min(chunk.size(), count - got.size()));
    if (n > 0) {
      got.insert(got.end(), chunk.begin(), chunk.begin() + n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n == 0 || errno != EAGAIN) {
      break;  // EIO: no slave is open and the queue is empty
    }
    pollfd ready{m_master, POLLIN, 0};
    const int left = MillisecondsLeft(until);
    if (left == 0 || ::poll(&ready, 1, left) <= 0) {
      break;
    }
    if ((ready.revents & POLLIN) == 0) {
      break;  // hung up with nothing left
    }
  }
  return got;
}

size_t PtyPair::QueuedAtMaster() const {
  int queued = 0;
  if (m_master < 0 || ::ioctl(m_master, FIONREAD, &queued) != 0) {
    return 0;
  }
  return static_cast<size_t>(std::max(queued, 0));
}

void PtyPair::CloseMaster() {
  if (m_master >= 0) {
    ::close(m_master);
    m_master = -1;
  }
}

}  // namespace velmar::test
