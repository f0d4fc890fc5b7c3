#include "platform/thread_sync.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace velmar::platform {
namespace {

using Clock = std::chrono::steady_clock;

// A waiter is woken by a notification from another thread, and a timed wait ends by its
// deadline with nobody notifying; the lock is held again after either.
TEST(ThreadSyncTest, WaitsEndOnNotificationOrDeadlineWithTheLockHeld) {
  Lock lock;
  Condition condition;
  bool ready = false;
  std::thread notifier([&] {
    std::lock_guard guard(lock);
    ready = true;
    condition.NotifyAll();
  });
  std::unique_lock held(lock);
  condition.Wait(held, [&] { return ready; });
  EXPECT_TRUE(held.owns_lock());
  held.unlock();
  notifier.join();

  held.lock();
  const auto deadline = Clock::now() + std::chrono::milliseconds(20);
  while (Clock::now() < deadline) {
    condition.WaitUntil(held, deadline);
  }
  EXPECT_TRUE(held.owns_lock());
}

}  // namespace
}  // namespace velmar::platform
