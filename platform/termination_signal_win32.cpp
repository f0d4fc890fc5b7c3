#include <windows.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>

#include "platform/termination_signal.h"

namespace velmar::platform {

namespace {

// After the handler returns from a close, log-off or shut-down event, Windows ends the process
// (about 5 s after a console is closed); the handler holds that back until the program has
// closed its port, within this bound.
constexpr DWORD kCloseGraceMs = 4000;

// The console's control events as the POSIX signals they stand for: Ctrl+C is an interrupt;
// Ctrl+Break, closing the console, logging off and shutting down tell the program to stop.
int SignalFor(DWORD event) {
  return event == CTRL_C_EVENT ? SIGINT : SIGTERM;
}

// What the handler's thread shares with the watch; it outlives the watch while a handler that
// waits for the program's cleaning up still holds it.
struct WatchState {
  ~WatchState() {
    if (finished != nullptr) {
      ::CloseHandle(finished);
    }
  }
  std::function<void()> on_signal;
  std::atomic<int> caught{0};
  HANDLE finished = nullptr;  // set once the watch goes: the program has closed its port
};

// The one watch the handler reports to. The mutex also keeps the watch's destructor from
// finishing while on_signal runs, as joining the watching thread does on POSIX.
std::mutex g_mutex;
std::shared_ptr<WatchState> g_state;

// Windows runs this on a thread of its own for each control event.
BOOL WINAPI OnConsoleControl(DWORD event) {
  std::shared_ptr<WatchState> state;
  {
    std::lock_guard lock(g_mutex);
    if (!g_state) {
      return FALSE;  // the default handling: end the process
    }
    state = g_state;
    int expected = 0;
    if (state->caught.compare_exchange_strong(expected, SignalFor(event)) && state->on_signal) {
      state->on_signal();
    }
  }
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && state->finished != nullptr) {
    ::WaitForSingleObject(state->finished, kCloseGraceMs);
  }
  return TRUE;
}

}  // namespace

struct TerminationWatch::Impl {
  std::shared_ptr<WatchState> state = std::make_shared<WatchState>();
  bool installed = false;
};

TerminationWatch::TerminationWatch(std::function<void()> on_signal)
    : m_impl(std::make_unique<Impl>()) {
  m_impl->state->on_signal = std::move(on_signal);
  m_impl->state->finished = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::lock_guard lock(g_mutex);
  g_state = m_impl->state;
  m_impl->installed = ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE) != 0;
}

TerminationWatch::~TerminationWatch() {
  std::lock_guard lock(g_mutex);
  if (m_impl->installed) {
    ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
  }
  if (g_state == m_impl->state) {
    g_state.reset();
  }
  if (m_impl->state->finished != nullptr) {
    ::SetEvent(m_impl->state->finished);
  }
}

int TerminationWatch::Caught() const {
  return m_impl->state->caught.load();
}

}  // namespace velmar::platform
