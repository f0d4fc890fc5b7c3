#pragma once
// What the network transport's tests share: a sink that records deliveries, a recorder of
// message boxes, a window that counts what it handles, a guard that unsticks a blocked call, and
// the fixture with the test's message queue and loopback peer.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/manual_reset_event.h"
#include "platform/message_box.h"
#include "platform/window_message.h"
#include "tests/support/box_recorder.h"
#include "tests/support/loopback_peer.h"
#include "transport/socket_transport.h"

namespace velmar::transport::socket_testing {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::LoopbackPeer;
constexpr auto kDeadline = 10s;

// Takes each delivery with Read and records its size; can first try a too-small buffer.
class RecordingSink : public ReceiveSink {
 public:
  void OnDataReceived() override {
    if (small_read_first) {
      uint8_t tiny[10];
      small_reads.push_back(transport->Read(tiny, sizeof tiny));
    }
    uint8_t buffer[8192];
    const int32_t got = transport->Read(buffer, sizeof buffer);
    deliveries.push_back(got);
    received.insert(received.end(), buffer, buffer + got);
  }
  Transport* transport = nullptr;
  bool small_read_first = false;
  std::vector<int32_t> small_reads;
  std::vector<int32_t> deliveries;
  Bytes received;
};

using test::BoxRecorder;

class SocketTransportTest : public ::testing::Test {
 protected:
  platform::MessageQueue m_queue;
  LoopbackPeer m_peer;
  RecordingSink m_sink;
};

// A window that counts the messages dispatched to it.
class CountingWindow : public platform::Window {
 public:
  explicit CountingWindow(platform::MessageQueue& queue) : Window(queue) {}
  platform::LResult HandleMessage(platform::MessageId, platform::WParam,
                                  platform::LParam) override {
    ++handled;
    return 0;
  }
  int handled = 0;
};

// Runs `unstick` on its own thread if the test's call is still blocked after `patience`, so that
// a call that would block for minutes fails the test instead of holding it. `done` is set once
// the call has returned.
class Unsticker {
 public:
  using Action = std::function<void(const platform::ManualResetEvent& done)>;
  Unsticker(std::chrono::milliseconds patience, Action unstick)
      : m_thread([this, patience, unstick = std::move(unstick)] {
          if (!m_done.WaitFor(patience)) {
            unstick(m_done);
          }
        }) {}
  ~Unsticker() {
    m_done.Set();
    m_thread.join();
  }
  Unsticker(const Unsticker&) = delete;
  Unsticker& operator=(const Unsticker&) = delete;

 private:
  platform::ManualResetEvent m_done;
  std::thread m_thread;
};

struct BlockedCall {
  bool result = false;
  std::chrono::milliseconds elapsed{0};
  int dispatched_during = 0;
};

// Posts a message to `window` on the calling thread, then makes the call: what it returned, how
// long it took and how many messages the thread handled meanwhile.
inline BlockedCall RunBlocked(CountingWindow& window, const std::function<bool()>& call) {
  platform::PostMessage(&window, platform::kWmUser + 1);
  const auto start = std::chrono::steady_clock::now();
  BlockedCall blocked;
  blocked.result = call();
  blocked.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  blocked.dispatched_during = window.handled;
  return blocked;
}

inline constexpr int kSmallReceiveBuffer = 4096;
inline constexpr auto kPatience = 15s;  // far beyond every bound under test

}  // namespace velmar::transport::socket_testing
