#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
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

// Answers from what its sender lent it, after running `during`, which may destroy the window.
class LendingWindow : public Window {
 public:
  LendingWindow(MessageQueue& queue, std::function<void()> during)
      : Window(queue), m_during(std::move(during)) {}
  LResult HandleMessage(MessageId, WParam, LParam lent) override {
    if (const auto during = std::exchange(m_during, nullptr)) {
      during();
    }
    return *reinterpret_cast<const LResult*>(lent) * 2;
  }

 private:
  std::function<void()> m_during;
};

// A teardown inside a send's handler gives up the queued sends, not the one being handled,
// whose sender must keep what it lent until the handler is done with it.
TEST(MessageQueueTest, ATeardownInsideAHandlerLetsItsOwnSendFinish) {
  for (const bool refuse : {true, false}) {  // else the window is destroyed
    ManualResetEvent queued;
    MessageQueue queue;
    LResult results[2] = {-1, -1};
    const auto send = [](Window* window, LResult* result) {
      const auto lent = std::make_unique<LResult>(21);
      *result = SendMessage(window, kWmUser, 0, reinterpret_cast<LParam>(lent.get()));
    };
    bool handled = false;
    std::unique_ptr<LendingWindow> window;
    window = std::make_unique<LendingWindow>(queue, [&] {
      queue.SetWakeHandler([&] { queued.Set(); });
      std::thread second(send, window.get(), &results[1]);
      EXPECT_TRUE(queued.WaitFor(kDeadline));
      if (refuse) {
        MessageQueue::RefuseSends refusing(&queue);
      } else {
        window.reset();
      }
      second.join();
      EXPECT_FALSE(queue.RunUntil([] { return false; }, 10ms));  // a nested pump still ends
      handled = true;
    });
    std::thread first(send, window.get(), &results[0]);
    EXPECT_TRUE(queue.RunUntil([&] { return handled; }, kDeadline));
    first.join();
    EXPECT_EQ(results[0], 42);
    EXPECT_EQ(results[1], 0);
  }
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
