#pragma once
// Lets a console program stop cleanly when the user interrupts it (SIGINT) or it is told to
// stop (SIGTERM): the program closes its port properly (what was written leaves, DTR drops, the
// queues are flushed, the lock is released) before it exits, instead of dying mid-frame.
//
// Principles of operation: the constructor blocks both signals in the calling thread, and so
// in every thread that it creates afterwards, and starts a thread of its own that waits for
// them. The first one to arrive is recorded and `on_signal` runs on that thread; later ones are
// taken and ignored. The destructor ends that thread and restores the signal mask. Make the
// watch before any other thread of the program.
//
// On Windows the console's control events stand for the signals: Ctrl+C for SIGINT; Ctrl+Break,
// closing the console, logging off and shutting down for SIGTERM. `on_signal` runs on the thread
// Windows starts for the event; after a close, log-off or shut-down the handler keeps the
// process alive until the watch is destroyed (a few seconds at most), so that the port is
// closed properly first.

#include <functional>
#include <memory>

namespace velmar::platform {

class TerminationWatch {
 public:
  explicit TerminationWatch(std::function<void()> on_signal);
  ~TerminationWatch();
  TerminationWatch(const TerminationWatch&) = delete;
  TerminationWatch& operator=(const TerminationWatch&) = delete;

  // The signal that arrived, 0 when none did (or the watch could not be set up).
  int Caught() const;
  // What a shell reports for a program ended by that signal: 130 for SIGINT, 143 for SIGTERM.
  static int ExitStatusFor(int signal_number) { return 128 + signal_number; }

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace velmar::platform
