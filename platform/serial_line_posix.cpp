#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/serial_line.h"
#include "platform/serial_rate_linux.h"

namespace velmar::platform {

namespace {

// Modem-control requests that a pseudo-terminal or a USB gadget port does not know.
bool Unsupported(int error) {
  return error == ENOTTY || error == EINVAL;
}

bool SetModemLines(int fd, unsigned long request, int lines) {
  return ::ioctl(fd, request, &lines) == 0 || Unsupported(errno);
}

void CloseFd(int* fd) {
  if (*fd >= 0) {
    ::close(*fd);
    *fd = -1;
  }
}

}  // namespace

struct SerialLine::Impl {
  int fd = -1;
  int wake = -1;  // eventfd: readable while a wake is pending
  bool hung_up = false;
};

SerialLine::SerialLine() : m_impl(std::make_unique<Impl>()) {}

SerialLine::~SerialLine() {
  Close();
}

SerialOpenResult SerialLine::Open(const std::string& name, int32_t baud_rate) {
  Close();
  const std::string path = ResolvePortName(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return errno == EBUSY ? SerialOpenResult::kBusy : SerialOpenResult::kNoDevice;
  }
  if (!::isatty(fd)) {
    ::close(fd);
    return SerialOpenResult::kNoDevice;
  }
  // TIOCEXCL keeps out other openers but not root; the lock keeps out every other opener.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return SerialOpenResult::kBusy;
  }
  if (::ioctl(fd, TIOCEXCL) != 0 && !Unsupported(errno)) {
    ::close(fd);
    return SerialOpenResult::kBusy;
  }
  if (!SetExactRate(fd, baud_rate)) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return SerialOpenResult::kSettingsRefused;
  }
  if (!SetModemLines(fd, TIOCMBIS, TIOCM_DTR | TIOCM_RTS)) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return SerialOpenResult::kSettingsRefused;
  }
  m_impl->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_impl->wake < 0) {
    ::close(fd);
    return SerialOpenResult::kNoDevice;
  }
  m_impl->fd = fd;
  m_impl->hung_up = false;
  return SerialOpenResult::kOk;
}

bool SerialLine::IsOpen() const {
  return m_impl->fd >= 0;
}

void SerialLine::Close() {
  if (m_impl->fd >= 0) {
    SetModemLines(m_impl->fd, TIOCMBIC, TIOCM_DTR);
    ::tcflush(m_impl->fd, TCIOFLUSH);
    ::ioctl(m_impl->fd, TIOCNXCL);
    ::flock(m_impl->fd, LOCK_UN);
    CloseFd(&m_impl->fd);
  }
  CloseFd(&m_impl->wake);
  m_impl->hung_up = false;
}

int32_t SerialLine::QueuedInput() {
  int queued = 0;
  if (m_impl->fd < 0 || ::ioctl(m_impl->fd, FIONREAD, &queued) != 0) {
    return 0;
  }
  return std::max(queued, 0);
}

int32_t SerialLine::Read(uint8_t* buffer, int32_t capacity) {
  const int32_t count = std::min(capacity, QueuedInput());
  if (count <= 0) {
    return 0;
  }
  ssize_t got;
  do {
    got = ::read(m_impl->fd, buffer, static_cast<size_t>(count));
  } while (got < 0 && errno == EINTR);
  return got > 0 ? static_cast<int32_t>(got) : 0;
}

bool SerialLine::WriteByte(uint8_t byte) {
  if (m_impl->fd < 0) {
    return false;
  }
  for (;;) {
    const ssize_t put = ::write(m_impl->fd, &byte, 1);
    if (put == 1) {
      return true;
    }
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put < 0 && errno != EAGAIN) {
      return false;
    }
    pollfd pfd{m_impl->fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&pfd, 1, static_cast<int>(kWriteRoomTimeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || (pfd.revents & POLLOUT) == 0) {
      return false;
    }
  }
}

SerialWait SerialLine::WaitForInput() {
  for (;;) {
    pollfd fds[2] = {{m_impl->wake, POLLIN, 0}, {m_impl->fd, POLLIN, 0}};
    // After a hang-up the line would report it at once, for ever: watch only for the wake.
    const nfds_t count = m_impl->hung_up || m_impl->fd < 0 ? 1 : 2;
    if (::poll(fds, count, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return SerialWait::kWoken;
    }
    if (fds[0].revents != 0) {
      return SerialWait::kWoken;
    }
    if (count == 2 && fds[1].revents != 0) {
      if (QueuedInput() > 0) {
        return SerialWait::kInput;  // data that came with the hang-up is still delivered
      }
      if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        m_impl->hung_up = true;
        return SerialWait::kHungUp;
      }
      // A readiness with nothing queued (a line error, say): look again.
    }
  }
}

void SerialLine::Wake() {
  if (m_impl->wake >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t put = ::write(m_impl->wake, &one, sizeof one);
  }
}

void SerialLine::ClearWake() {
  uint64_t count;
  if (m_impl->wake >= 0) {
    [[maybe_unused]] const ssize_t got = ::read(m_impl->wake, &count, sizeof count);
  }
}

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') {
    return std::string(xdg) + "/velmar";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.config/velmar";
}

std::string ResolvePortName(const std::string& name) {
  if (name.find('/') != std::string::npos || name.size() < 4 || name.compare(0, 3, "COM") != 0 ||
      !std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return name;
  }
  const int number = std::atoi(name.c_str() + 3);
  if (number <= 0) {
    return name;
  }
  const std::string link = ConfigFolder() + "/ports/" + name;
  std::error_code error;
  if (std::filesystem::is_symlink(link, error) || std::filesystem::exists(link, error)) {
    return link;
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

std::vector<std::string> ListPorts() {
  std::set<std::string> ports;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
      if (name.rfind(prefix, 0) == 0) {
        ports.insert(entry.path().string());
      }
    }
  }
  for (const char* folder : {"/dev/serial/by-id"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      ports.insert(entry.path().string());
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(ConfigFolder() + "/ports", error)) {
    ports.insert(entry.path().filename().string());
  }
  return {ports.begin(), ports.end()};
}

}  // namespace velmar::platform
