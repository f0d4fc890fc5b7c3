#include "emulator/pty_link.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace velmar::emulator {

namespace {

bool MakeRaw(int fd) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) {
    return false;
  }
  ::cfmakeraw(&settings);
  return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

std::string LinkTarget(const std::string& path) {
  std::vector<char> target(PATH_MAX + 1);
  const ssize_t length = ::readlink(path.c_str(), target.data(), target.size() - 1);
  return length < 0 ? std::string() : std::string(target.data(), static_cast<size_t>(length));
}

}  // namespace

PtyLink::~PtyLink() {
  HangUp();
  RemoveLink();
}

PtyLinkResult PtyLink::Open(const std::string& link_path) {
  m_master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!m_master.Valid() || ::grantpt(m_master.Get()) != 0 || ::unlockpt(m_master.Get()) != 0) {
    return Fail(PtyLinkResult::kNoPseudoTerminal, "no pseudo-terminal");
  }
  const char* slave_name = ::ptsname(m_master.Get());
  if (slave_name == nullptr) {
    return Fail(PtyLinkResult::kNoPseudoTerminal, "no pseudo-terminal");
  }
  m_slave_name = slave_name;
  m_slave.Reset(::open(m_slave_name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  const int flags = ::fcntl(m_master.Get(), F_GETFL);
  if (!m_slave.Valid() || !MakeRaw(m_slave.Get()) || flags < 0 ||
      ::fcntl(m_master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    return Fail(PtyLinkResult::kNoPseudoTerminal, "cannot set up the pseudo-terminal");
  }

  struct stat existing {};
  if (::lstat(link_path.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      errno = EEXIST;
      return Fail(PtyLinkResult::kPathTaken, "the link's path is taken");
    }
    ::unlink(link_path.c_str());
  }
  if (::symlink(m_slave_name.c_str(), link_path.c_str()) != 0) {
    return Fail(PtyLinkResult::kLinkFailed, "cannot make the link");
  }
  m_link = link_path;
  return PtyLinkResult::kOk;
}

void PtyLink::HangUp() {
  m_slave.Reset();
  m_master.Reset();
}

bool PtyLink::AwaitRead(std::chrono::milliseconds limit) const {
  // The tool's unread input is queued at our own slave descriptor, but only once the kernel has
  // moved it across from the master, which it does a moment after the write: the queue must
  // stay empty for kSettle. Nothing signals either, so the queue is looked at every few ms.
  constexpr timespec kLook{0, 5'000'000};
  constexpr auto kSettle = std::chrono::milliseconds(30);
  const auto start = std::chrono::steady_clock::now();
  auto empty_since = start;
  for (;;) {
    int unread = 0;
    if (!m_slave.Valid() || ::ioctl(m_slave.Get(), FIONREAD, &unread) != 0) {
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (unread > 0) {
      empty_since = now;
    } else if (now - empty_since >= kSettle) {
      return true;
    }
    if (now - start >= limit) {
      return false;
    }
    ::nanosleep(&kLook, nullptr);
  }
}

PtyLinkResult PtyLink::Fail(PtyLinkResult result, const char* what) {
  m_error = std::string(what) + ": " + std::strerror(errno);
  HangUp();
  return result;
}

bool AdoptMaster(int fd, UniqueFd* slave, std::string* slave_name, std::string* error) {
  // Only a master has a slave's name; ptsname_r says ENOTTY for anything else.
  std::vector<char> name(PATH_MAX);
  const int failure = ::ptsname_r(fd, name.data(), name.size());
  if (failure != 0) {
    *error = std::string("not a pseudo-terminal's master: ") + std::strerror(failure);
    return false;
  }
  slave->Reset(::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  const int flags = ::fcntl(fd, F_GETFL);
  if (!slave->Valid() || flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    *error = std::string("cannot set up the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  *slave_name = name.data();
  return true;
}

void PtyLink::RemoveLink() {
  // Another run may have taken the path over since; its link stays.
  if (!m_link.empty() && LinkTarget(m_link) == m_slave_name) {
    ::unlink(m_link.c_str());
  }
  m_link.clear();
}

}  // namespace velmar::emulator
