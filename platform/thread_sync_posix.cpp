#include <condition_variable>
#include <mutex>

#include "platform/thread_sync.h"

namespace velmar::platform {

struct Lock::Impl {
  std::mutex mutex;
};

struct Condition::Impl {
  std::condition_variable condition;
};

namespace {

// The standard condition waits on the standard lock inside ours, which stays locked.
template <class Wait>
void WaitInside(std::mutex& inner, Wait wait) {
  std::unique_lock<std::mutex> held(inner, std::adopt_lock);
  wait(held);
  held.release();
}

}  // namespace

Lock::Lock() : m_impl(std::make_unique<Impl>()) {}
Lock::~Lock() = default;

void Lock::lock() {
  m_impl->mutex.lock();
}

void Lock::unlock() {
  m_impl->mutex.unlock();
}

Condition::Condition() : m_impl(std::make_unique<Impl>()) {}
Condition::~Condition() = default;

void Condition::Wait(std::unique_lock<Lock>& lock) {
  WaitInside(lock.mutex()->m_impl->mutex,
             [this](std::unique_lock<std::mutex>& held) { m_impl->condition.wait(held); });
}

void Condition::WaitUntil(std::unique_lock<Lock>& lock,
                          std::chrono::steady_clock::time_point deadline) {
  WaitInside(lock.mutex()->m_impl->mutex, [this, deadline](std::unique_lock<std::mutex>& held) {
    m_impl->condition.wait_until(held, deadline);
  });
}

void Condition::NotifyAll() {
  m_impl->condition.notify_all();
}

}  // namespace velmar::platform
