#pragma once
// A lock and a condition for threads that hand work to each other many times a second.
//
// Principles of operation: the same contract as std::mutex and std::condition_variable (Lock
// is a BasicLockable, so std::lock_guard and std::unique_lock take it; waits may wake
// spuriously). POSIX uses the standard ones. Windows uses the system's slim lock and condition
// variable: the standard ones there come from winpthreads, whose semaphores cost a round trip
// through the Wine server on every wake-up, where these cost none.

#include <chrono>
#include <memory>
#include <mutex>

namespace velmar::platform {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void lock();
  void unlock();

 private:
  friend class Condition;
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

class Condition {
 public:
  Condition();
  ~Condition();
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  void Wait(std::unique_lock<Lock>& lock);
  // Returns by `deadline` at the latest, or earlier.
  void WaitUntil(std::unique_lock<Lock>& lock, std::chrono::steady_clock::time_point deadline);
  template <class Predicate>
  void Wait(std::unique_lock<Lock>& lock, Predicate done) {
    while (!done()) {
      Wait(lock);
    }
  }
  void NotifyAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace velmar::platform
