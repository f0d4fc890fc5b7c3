#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>

#include "platform/termination_signal.h"

namespace velmar::platform {

struct TerminationWatch::Impl {
  void Watch();

  std::function<void()> on_signal;
  sigset_t old_mask{};
  int signals = -1;  // a signalfd for SIGINT and SIGTERM
  int stop = -1;     // an eventfd: readable once the destructor asks the thread to end
  std::atomic<int> caught{0};
  std::thread thread;
};

void TerminationWatch::Impl::Watch() {
  for (;;) {
    std::array<pollfd, 2> watched = {{{signals, POLLIN, 0}, {stop, POLLIN, 0}}};
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (watched[1].revents != 0) {
      return;
    }
    signalfd_siginfo info{};
    if (::read(signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
      continue;
    }
    int expected = 0;
    if (caught.compare_exchange_strong(expected, static_cast<int>(info.ssi_signo)) && on_signal) {
      on_signal();
    }
  }
}

TerminationWatch::TerminationWatch(std::function<void()> on_signal)
    : m_impl(std::make_unique<Impl>()) {
  m_impl->on_signal = std::move(on_signal);
  sigset_t wanted;
  ::sigemptyset(&wanted);
  ::sigaddset(&wanted, SIGINT);
  ::sigaddset(&wanted, SIGTERM);
  if (::pthread_sigmask(SIG_BLOCK, &wanted, &m_impl->old_mask) != 0) {
    return;
  }
  m_impl->signals = ::signalfd(-1, &wanted, SFD_CLOEXEC);
  m_impl->stop = ::eventfd(0, EFD_CLOEXEC);
  if (m_impl->signals >= 0 && m_impl->stop >= 0) {
    try {
      m_impl->thread = std::thread(&Impl::Watch, m_impl.get());
      return;
    } catch (const std::system_error&) {
    }
  }
  // Without a watch the signals keep their usual effect rather than being lost.
  ::pthread_sigmask(SIG_SETMASK, &m_impl->old_mask, nullptr);
}

TerminationWatch::~TerminationWatch() {
  if (m_impl->thread.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t put = ::write(m_impl->stop, &one, sizeof one);
    m_impl->thread.join();
  }
  for (int fd : {m_impl->signals, m_impl->stop}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &m_impl->old_mask, nullptr);
}

int TerminationWatch::Caught() const {
  return m_impl->caught.load();
}

}  // namespace velmar::platform
