#include "platform/manual_reset_event.h"

namespace velmar::platform {

void ManualResetEvent::Set() {
  // Woken under the lock: a waiter may destroy the event as soon as it returns, and it cannot
  // return before the lock is given back.
  std::lock_guard lock(m_mutex);
  m_set = true;
  m_cv.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard lock(m_mutex);
  m_set = false;
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard lock(m_mutex);
  return m_set;
}

void ManualResetEvent::Wait() const {
  std::unique_lock lock(m_mutex);
  m_cv.wait(lock, [this] { return m_set; });
}

bool ManualResetEvent::WaitFor(std::chrono::nanoseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_cv.wait_for(lock, timeout, [this] { return m_set; });
}

}  // namespace velmar::platform
