#pragma once
// A manual-reset event: once set it stays set, releasing every waiter, until it is reset.
// All operations are safe from any thread.
//   Set        signals the event; waiters return.
//   Reset      clears it; later waits block again.
//   IsSet      polls without waiting.
//   Wait       blocks until the event is set.
//   WaitFor    blocks at most `timeout`; true when the event was set, false on time-out.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velmar::platform {

class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool initially_set = false) : m_set(initially_set) {}
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  void Wait() const;
  bool WaitFor(std::chrono::nanoseconds timeout) const;

 private:
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_cv;
  bool m_set;
};

}  // namespace velmar::platform
