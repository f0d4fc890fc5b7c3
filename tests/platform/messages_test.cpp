#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/manual_reset_event.h"
#include "platform/message_box.h"
#include "platform/window_message.h"

namespace velmar::platform {
namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

class RecordingWindow : public Window {
 public:
  using Window::Window;
  LResult HandleMessage(MessageId message, WParam wparam, LParam) override {
    std::lock_guard lock(m_mutex);
    m_messages.push_back(message);
    m_params.push_back(wparam);
    m_threads.push_back(std::this_thread::get_id());
    return static_cast<LResult>(message) * 2;
  }
  std::vector<MessageId> Messages() {
    std::lock_guard lock(m_mutex);
    return m_messages;
  }
  std::vector<WParam> Params() {
    std::lock_guard lock(m_mutex);
    return m_params;
  }
  std::vector<std::thread::id> Threads() {
    std::lock_guard lock(m_mutex);
    return m_threads;
  }

 private:
  std::mutex m_mutex;
  std::vector<MessageId> m_messages;
  std::vector<WParam> m_params;
  std::vector<std::thread::id> m_threads;
};

TEST(ManualResetEventTest, StaysSetUntilReset) {
  ManualResetEvent event;
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(1ms));
  event.Set();
  EXPECT_TRUE(event.WaitFor(0ms));
  EXPECT_TRUE(event.WaitFor(0ms));  // manual reset: a wait does not consume it
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  ManualResetEvent initially(true);
  EXPECT_TRUE(initially.IsSet());
}

TEST(ManualResetEventTest, SetReleasesEveryWaiter) {
  ManualResetEvent event;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      event.Wait();
      ++released;
    });
  }
  event.Set();
  for (auto& t : waiters) {
    t.join();
  }
  EXPECT_EQ(released.load(), 4);
}

TEST(MessageQueueTest, PostedMessagesArriveInOrderOnTheOwnerThread) {
  MessageQueue queue;
  RecordingWindow window(queue);
  constexpr int kPerThread = 200;
  std::vector<std::thread> posters;
  for (int t = 0; t < 2; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        PostMessage(&window, kWmUser + t, static_cast<WParam>(i));
      }
    });
  }
  for (auto& t : posters) {
    t.join();
  }
  ASSERT_TRUE(
      queue.RunUntil([&] { return window.Messages().size() == 2 * kPerThread; }, kDeadline));
  // First in, first out per sender.
  std::vector<WParam> next(2, 0);
  const auto messages = window.Messages();
  const auto params = window.Params();
  for (size_t i = 0; i < messages.size(); ++i) {
    const size_t sender = messages[i] - kWmUser;
    EXPECT_EQ(params[i], next[sender]++);
  }
  for (auto id : window.Threads()) {
    EXPECT_EQ(id, std::this_thread::get_id());
  }
}

TEST(MessageQueueTest, SendRunsOnTheWindowThreadAndReturnsItsResult) {
  MessageQueue queue;
  RecordingWindow window(queue);
  EXPECT_EQ(SendMessage(&window, 7), 14);  // own thread: called at once
  std::atomic<LResult> result{0};
  std::thread sender([&] { result = SendMessage(&window, 21); });
  ASSERT_TRUE(queue.RunUntil([&] { return window.Messages().size() == 2; }, kDeadline));
  sender.join();
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(window.Threads()[1], std::this_thread::get_id());
}

TEST(MessageQueueTest, NullWindowIsRefused) {
  EXPECT_FALSE(PostMessage(nullptr, 1));
  EXPECT_EQ(SendMessage(nullptr, 1), 0);
}

// The owner tears down a sender that is waiting for it: the send gives up instead of
// deadlocking the join.
TEST(MessageQueueTest, RefusingSendsReleasesAWaitingSender) {
  MessageQueue queue;
  RecordingWindow window(queue);
  ManualResetEvent sending;
  std::atomic<LResult> result{-1};
  std::thread sender([&] {
    sending.Set();
    result = SendMessage(&window, 5);
  });
  ASSERT_TRUE(sending.WaitFor(kDeadline));
  {
    MessageQueue::RefuseSends refuse(&queue);
    sender.join();                           // would hang if the send kept waiting
    EXPECT_EQ(SendMessage(&window, 6), 12);  // the owner's own sends still run
  }
  EXPECT_EQ(result.load(), 0);
  queue.DispatchPending();
  const auto messages = window.Messages();
  EXPECT_EQ(std::count(messages.begin(), messages.end(), 5u), 0);
}

TEST(MessageQueueTest, ADestroyedWindowGetsNoPendingMessages) {
  MessageQueue queue;
  RecordingWindow survivor(queue);
  {
    RecordingWindow doomed(queue);
    PostMessage(&doomed, 1);
    PostMessage(&survivor, 2);
  }
  EXPECT_EQ(queue.DispatchPending(), 1);
  EXPECT_EQ(survivor.Messages(), std::vector<MessageId>{2});
}

TEST(MessageQueueTest, RunReturnsAfterQuitFromAnotherThread) {
  MessageQueue queue;
  RecordingWindow window(queue);
  std::thread other([&] {
    PostMessage(&window, 3);
    queue.Quit();
  });
  queue.Run();
  other.join();
  EXPECT_EQ(window.Messages(), std::vector<MessageId>{3});
}

TEST(MessageQueueTest, WakeHandlerHearsOfWorkFromAnyThread) {
  MessageQueue queue;
  RecordingWindow window(queue);
  std::atomic<int> wakes{0};
  queue.SetWakeHandler([&] { ++wakes; });
  std::thread poster([&] { PostMessage(&window, 4); });
  poster.join();
  EXPECT_GE(wakes.load(), 1);
  EXPECT_EQ(queue.DispatchPending(), 1);
}

TEST(MessageBoxTest, GoesToTheInstalledHandler) {
  std::string seen;
  BoxIcon icon = BoxIcon::kInformation;
  auto previous =
      SetMessageBoxHandler([&](std::string_view text, std::string_view caption, BoxIcon i) {
        seen = std::string(caption) + "|" + std::string(text);
        icon = i;
      });
  ShowMessageBox("Event for WaitCommEvent couldn't be created.", "Error!", BoxIcon::kError);
  SetMessageBoxHandler(previous);
  EXPECT_EQ(seen, "Error!|Event for WaitCommEvent couldn't be created.");
  EXPECT_EQ(icon, BoxIcon::kError);
}

}  // namespace
}  // namespace velmar::platform
