#include <windows.h>

#include <algorithm>

#include "platform/thread_sync.h"

namespace velmar::platform {

struct Lock::Impl {
  SRWLOCK lock = SRWLOCK_INIT;
};

struct Condition::Impl {
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

Lock::Lock() : m_impl(std::make_unique<Impl>()) {}
Lock::~Lock() = default;

void Lock::lock() {
  ::AcquireSRWLockExclusive(&m_impl->lock);
}

void Lock::unlock() {
  ::ReleaseSRWLockExclusive(&m_impl->lock);
}

Condition::Condition() : m_impl(std::make_unique<Impl>()) {}
Condition::~Condition() = default;

void Condition::Wait(std::unique_lock<Lock>& lock) {
  ::SleepConditionVariableSRW(&m_impl->condition, &lock.mutex()->m_impl->lock, INFINITE, 0);
}

void Condition::WaitUntil(std::unique_lock<Lock>& lock,
                          std::chrono::steady_clock::time_point deadline) {
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) {
    return;
  }
  // Rounded up, so that a wait short of a millisecond does not spin; never INFINITE.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  ::SleepConditionVariableSRW(&m_impl->condition, &lock.mutex()->m_impl->lock,
                              static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1)), 0);
}

void Condition::NotifyAll() {
  ::WakeAllConditionVariable(&m_impl->condition);
}

}  // namespace velmar::platform
