#include "emulator/signal_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace velmar::emulator {

namespace {

int g_write_fd = -1;  // the handler's only way to the pipe

void OnSignal(int) {
  const int saved = errno;
  const char byte = 0;
  [[maybe_unused]] const ssize_t ignored = ::write(g_write_fd, &byte, 1);
  errno = saved;
}

bool NonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

SignalPipe::~SignalPipe() {
  if (m_installed) {
    ::sigaction(SIGINT, &m_old_int, nullptr);
    ::sigaction(SIGTERM, &m_old_term, nullptr);
    g_write_fd = -1;
  }
}

bool SignalPipe::Install() {
  std::array<int, 2> ends{};
  if (m_installed || ::pipe2(ends.data(), O_CLOEXEC) != 0) {
    return false;
  }
  m_read.Reset(ends[0]);
  m_write.Reset(ends[1]);
  if (!NonBlocking(m_read.Get()) || !NonBlocking(m_write.Get())) {
    return false;
  }
  g_write_fd = m_write.Get();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (::sigaction(SIGINT, &action, &m_old_int) != 0) {
    g_write_fd = -1;
    return false;
  }
  if (::sigaction(SIGTERM, &action, &m_old_term) != 0) {
    ::sigaction(SIGINT, &m_old_int, nullptr);
    g_write_fd = -1;
    return false;
  }
  m_installed = true;
  return true;
}

bool SignalPipe::Caught() {
  std::array<char, 16> drained{};
  bool any = false;
  while (::read(m_read.Get(), drained.data(), drained.size()) > 0) {
    any = true;
  }
  return any;
}

}  // namespace velmar::emulator
