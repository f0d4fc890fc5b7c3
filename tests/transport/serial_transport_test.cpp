// The serial transport on a pseudo-terminal: the test plays the device on the master and owns
// the transport through a recording sink.

#include "transport/serial_transport.h"

#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/manual_reset_event.h"
#include "platform/message_box.h"
#include "platform/serial_line.h"
#include "tests/support/box_recorder.h"
#include "tests/support/pty_pair.h"

namespace velmar::transport {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using platform::SerialOpenResult;
using test::PtyPair;

constexpr auto kDeadline = 10s;
constexpr auto kIdleSpan = 300ms;
constexpr auto kIdleCpuLimit = 100ms;
constexpr int32_t kRate = 115200;
constexpr int kByteValues = 256;
constexpr int kCloseRaceRounds = 20;

Bytes EveryByteValue() {
  Bytes bytes(kByteValues);
  for (int i = 0; i < kByteValues; ++i) {
    bytes[i] = static_cast<uint8_t>(i);
  }
  return bytes;
}

std::chrono::nanoseconds ProcessCpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Lets wall-clock time pass. Used only to measure idleness, never to wait for an event.
void IdleFor(std::chrono::milliseconds span) {
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock lock(mutex);
  never.wait_for(lock, span, [] { return false; });
}

template <typename Condition>
bool WaitUntil(Condition condition) {
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

// Takes the bytes inside OnDataReceived, as the download engine does, and records every call.
class RecordingSink final : public ReceiveSink {
 public:
  void Attach(SerialTransport* transport) { m_transport = transport; }

  // Each OnDataReceived then waits in the middle of its work until the test releases it.
  void HoldDeliveries() { m_release.Reset(); }
  void ReleaseDeliveries() { m_release.Set(); }
  bool WaitForDeliveryToStart() const { return m_entered.WaitFor(kDeadline); }

  // The next OnDataReceived closes the transport from inside.
  void CloseFromInside() { m_close_inside = true; }
  bool WaitForCloseFromInside() const { return m_closed_inside.WaitFor(kDeadline); }
  bool CloseFromInsideResult() const { return m_close_inside_result; }

  // Marks the point after which any call is a fault.
  void ForbidCalls() { m_forbidden = true; }
  int LateCalls() const { return m_late_calls; }

  void OnDataReceived() override {
    m_inside_left = false;
    if (m_forbidden) {
      ++m_late_calls;
    }
    {
      std::lock_guard lock(m_mutex);
      ++m_calls;
      m_threads.push_back(std::this_thread::get_id());
    }
    m_entered.Set();
    m_release.Wait();
    Bytes got;
    uint8_t buffer[16];
    for (int32_t n; (n = m_transport->Read(buffer, sizeof buffer)) > 0;) {
      got.insert(got.end(), buffer, buffer + n);
    }
    {
      std::lock_guard lock(m_mutex);
      m_received.insert(m_received.end(), got.begin(), got.end());
    }
    m_changed.notify_all();
    if (m_close_inside.exchange(false)) {
      m_close_inside_result = m_transport->CloseConnection();
      m_closed_inside.Set();
    }
    m_inside_left = true;
  }

  bool WaitForBytes(size_t count) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kDeadline, [&] { return m_received.size() >= count; });
  }
  Bytes Received() {
    std::lock_guard lock(m_mutex);
    return m_received;
  }
  void ClearReceived() {
    std::lock_guard lock(m_mutex);
    m_received.clear();
  }
  int Calls() {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  std::vector<std::thread::id> Threads() {
    std::lock_guard lock(m_mutex);
    return m_threads;
  }
  bool InsideLeft() const { return m_inside_left; }

  void OnConnectionLost() override {
    ++m_losses;
    m_lost.Set();
  }
  bool WaitForLoss() const { return m_lost.WaitFor(kDeadline); }
  int Losses() const { return m_losses.load(); }

 private:
  platform::ManualResetEvent m_lost;
  std::atomic<int> m_losses{0};
  SerialTransport* m_transport = nullptr;
  platform::ManualResetEvent m_release{true};
  platform::ManualResetEvent m_entered;
  platform::ManualResetEvent m_closed_inside;
  std::atomic<bool> m_close_inside{false};
  std::atomic<bool> m_close_inside_result{false};
  std::atomic<bool> m_forbidden{false};
  std::atomic<int> m_late_calls{0};
  std::atomic<bool> m_inside_left{true};
  std::mutex m_mutex;
  std::condition_variable m_changed;
  Bytes m_received;
  int m_calls = 0;
  std::vector<std::thread::id> m_threads;
};

using test::BoxRecorder;

class SerialTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_pty.IsOpen());
    m_sink.Attach(&m_transport);
  }

  PtyPair m_pty;
  RecordingSink m_sink;
  SerialTransport m_transport{&m_sink, m_pty.SlavePath(), kRate};
};

TEST_F(SerialTransportTest, BytesFromTheDeviceReachTheOwnerOnTheReceptionThread) {
  ASSERT_TRUE(m_transport.OpenConnection());
  EXPECT_TRUE(m_transport.IsOpen());
  EXPECT_EQ(m_transport.LastOpenResult(), SerialOpenResult::kOk);

  const Bytes sent = EveryByteValue();
  const size_t half = sent.size() / 2;
  ASSERT_TRUE(m_pty.WriteAll(sent.data(), half));
  ASSERT_TRUE(m_pty.WriteAll(sent.data() + half, sent.size() - half));
  ASSERT_TRUE(m_sink.WaitForBytes(sent.size()));
  EXPECT_EQ(m_sink.Received(), sent);
  for (const std::thread::id thread : m_sink.Threads()) {
    EXPECT_NE(thread, std::this_thread::get_id());
  }

  EXPECT_TRUE(m_transport.CloseConnection());
  EXPECT_FALSE(m_transport.IsOpen());
  EXPECT_FALSE(m_transport.CloseConnection());
}

TEST_F(SerialTransportTest, WriteOfNothingFailsAndSendsNothing) {
  ASSERT_TRUE(m_transport.OpenConnection());
  const uint8_t data[] = {0x11, 0x22, 0x33, 0x44};
  const struct {
    const uint8_t* data;
    int32_t length;
  } cases[] = {
      {nullptr, 0}, {data, 0}, {data, -1}, {data, std::numeric_limits<int32_t>::min()},
      {nullptr, 4},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(m_transport.Write(c.data, c.length)) << c.length;
  }
  // Anything the refused writes had sent would come before the marker.
  const uint8_t marker = 0x7E;
  ASSERT_TRUE(m_transport.Write(&marker, 1));
  EXPECT_EQ(m_pty.ReadExactly(1, kDeadline), Bytes{marker});
  EXPECT_EQ(m_pty.QueuedAtMaster(), 0u);
}

TEST_F(SerialTransportTest, WrittenBytesArriveInOrder) {
  ASSERT_TRUE(m_transport.OpenConnection());
  const Bytes sent = EveryByteValue();
  ASSERT_TRUE(m_transport.Write(sent.data(), static_cast<int32_t>(sent.size())));
  ASSERT_TRUE(m_transport.WriteByte(0xA5));
  Bytes expected = sent;
  expected.push_back(0xA5);
  EXPECT_EQ(m_pty.ReadExactly(expected.size(), kDeadline), expected);
}

TEST_F(SerialTransportTest, WriteAfterAHangUpFails) {
  ASSERT_TRUE(m_transport.OpenConnection());
  m_pty.CloseMaster();
  const uint8_t data[] = {1, 2, 3};
  EXPECT_FALSE(m_transport.Write(data, sizeof data));
  EXPECT_FALSE(m_transport.WriteByte(4));
  EXPECT_TRUE(m_transport.CloseConnection());
}

TEST_F(SerialTransportTest, CloseOfATransportNeverOpenedFails) {
  EXPECT_FALSE(m_transport.IsOpen());
  EXPECT_FALSE(m_transport.CloseConnection());
  uint8_t byte = 0;
  EXPECT_EQ(m_transport.Read(&byte, 1), 0);
  EXPECT_FALSE(m_transport.WriteByte(byte));
}

TEST_F(SerialTransportTest, CloseWaitsForTheDeliveryUnderWayAndNoneFollows) {
  ASSERT_TRUE(m_transport.OpenConnection());
  m_sink.HoldDeliveries();
  ASSERT_TRUE(m_pty.WriteAll({0x01, 0x02}));
  ASSERT_TRUE(m_sink.WaitForDeliveryToStart());

  std::atomic<bool> closed{false};
  std::atomic<bool> delivery_done_at_return{false};
  std::thread closer([&] {
    closed = m_transport.CloseConnection();
    delivery_done_at_return = m_sink.InsideLeft();
    m_sink.ForbidCalls();
  });
  // IsOpen turns false as the close begins; from then on it can only wait for the delivery.
  ASSERT_TRUE(WaitUntil([&] { return !m_transport.IsOpen(); }));
  EXPECT_FALSE(closed.load());
  m_sink.ReleaseDeliveries();
  closer.join();

  EXPECT_TRUE(closed.load());
  EXPECT_TRUE(delivery_done_at_return.load());
  EXPECT_EQ(m_sink.Received(), (Bytes{0x01, 0x02}));  // the port stayed open for that Read
  EXPECT_TRUE(m_pty.WriteAll({0x03}));
  EXPECT_EQ(m_sink.LateCalls(), 0);
}

TEST_F(SerialTransportTest, CloseRacingDeliveriesLeavesNoneRunning) {
  for (int round = 0; round < kCloseRaceRounds; ++round) {
    ASSERT_TRUE(m_transport.OpenConnection()) << round;
    ASSERT_TRUE(m_pty.WriteAll(EveryByteValue()));
    // Half the rounds close as the bytes land, half once a delivery is known to be running.
    if (round % 2 == 1) {
      ASSERT_TRUE(m_sink.WaitForBytes(1)) << round;
    }
    const int calls_before = m_sink.Calls();
    ASSERT_TRUE(m_transport.CloseConnection()) << round;
    EXPECT_TRUE(m_sink.InsideLeft()) << round;
    const int calls_at_close = m_sink.Calls();
    EXPECT_GE(calls_at_close, calls_before);
    ASSERT_TRUE(m_pty.WriteAll(EveryByteValue()));  // nobody listens any more
    EXPECT_EQ(m_sink.Calls(), calls_at_close) << round;
    m_sink.ClearReceived();
  }
}

TEST_F(SerialTransportTest, AHangUpIsToldOnceThenTheThreadSleepsAndCloseStillEndsIt) {
  ASSERT_TRUE(m_transport.OpenConnection());
  m_pty.CloseMaster();
  ASSERT_TRUE(m_sink.WaitForLoss());
  EXPECT_TRUE(m_transport.ConnectionLost());
  const auto cpu_before = ProcessCpuTime();
  IdleFor(kIdleSpan);
  EXPECT_LT(ProcessCpuTime() - cpu_before, kIdleCpuLimit);
  EXPECT_EQ(m_sink.Calls(), 0);
  EXPECT_EQ(m_sink.Losses(), 1);
  EXPECT_TRUE(m_transport.IsOpen());  // open until its owner closes it

  auto closing = std::async(std::launch::async, [&] { return m_transport.CloseConnection(); });
  ASSERT_EQ(closing.wait_for(kDeadline), std::future_status::ready);
  EXPECT_TRUE(closing.get());
  EXPECT_FALSE(m_transport.IsOpen());
}

TEST_F(SerialTransportTest, ReopenAfterCloseDeliversAgain) {
  for (const uint8_t byte : {0x10, 0x20, 0x30}) {
    ASSERT_TRUE(m_transport.OpenConnection());
    ASSERT_TRUE(m_pty.WriteAll({byte}));
    ASSERT_TRUE(m_sink.WaitForBytes(1));
    EXPECT_EQ(m_sink.Received(), Bytes{byte});
    m_sink.ClearReceived();
    ASSERT_TRUE(m_transport.CloseConnection());
  }
}

TEST_F(SerialTransportTest, CloseFromInsideADeliveryEndsTheThreadWithoutWaitingForItself) {
  ASSERT_TRUE(m_transport.OpenConnection());
  m_sink.CloseFromInside();
  ASSERT_TRUE(m_pty.WriteAll({0x55}));
  ASSERT_TRUE(m_sink.WaitForCloseFromInside());
  EXPECT_TRUE(m_sink.CloseFromInsideResult());
  EXPECT_FALSE(m_transport.IsOpen());
  EXPECT_FALSE(m_transport.CloseConnection());

  // The ended thread is collected before a new one starts.
  m_sink.ClearReceived();
  ASSERT_TRUE(m_transport.OpenConnection());
  ASSERT_TRUE(m_pty.WriteAll({0x66}));
  ASSERT_TRUE(m_sink.WaitForBytes(1));
  EXPECT_EQ(m_sink.Received(), Bytes{0x66});
}

// An owner may end its run, and with it the transport, from inside a call the transport made:
// the reception thread must never touch the freed transport afterwards (AddressSanitizer sees
// it if it does).
TEST(SerialTransportOwnerTest, DestroyedFromInsideItsOwnCallsTheThreadLeavesIt) {
  for (const bool by_loss : {false, true}) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    struct DestroyingSink final : ReceiveSink {
      void OnDataReceived() override { Destroy(); }
      void OnConnectionLost() override { Destroy(); }
      void Destroy() {
        transport.reset();
        destroyed.store(
            true);  // the last the thread touches here: an event's wake would outlive it
      }
      std::unique_ptr<SerialTransport> transport;
      std::atomic<bool> destroyed{false};
    } sink;
    sink.transport = std::make_unique<SerialTransport>(&sink, pty.SlavePath(), kRate);
    ASSERT_TRUE(sink.transport->OpenConnection());
    if (by_loss) {
      pty.CloseMaster();
    } else {
      ASSERT_TRUE(pty.WriteAll({0x01}));
    }
    ASSERT_TRUE(WaitUntil([&] { return sink.destroyed.load(); })) << by_loss;
    IdleFor(50ms);  // time for a thread that came back to trip over the freed object
  }
}

TEST(SerialTransportOpenTest, FailedOpenHoldsNothingAndShowsNoBox) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  platform::SerialLine holder;
  const struct {
    const char* what;
    std::string name;
    int32_t rate;
    bool held;
    SerialOpenResult expected;
    OpenFailureKind kind;
    int error;  // the system's error number that comes with it
  } cases[] = {
      {"missing device", "/nonexistent/ttyVELMAR0", kRate, false, SerialOpenResult::kNoDevice,
       OpenFailureKind::kNoDevice, ENOENT},
      {"port held by another", pty.SlavePath(), kRate, true, SerialOpenResult::kBusy,
       OpenFailureKind::kBusy, EBUSY},
      {"rate 0", pty.SlavePath(), 0, false, SerialOpenResult::kSettingsRefused,
       OpenFailureKind::kSettingsRefused, 0},
  };
  for (const auto& c : cases) {
    if (c.held) {
      ASSERT_EQ(holder.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
    }
    BoxRecorder boxes;
    RecordingSink sink;
    SerialTransport transport(&sink, c.name, c.rate);
    sink.Attach(&transport);
    EXPECT_FALSE(transport.OpenConnection()) << c.what;
    EXPECT_FALSE(transport.IsOpen()) << c.what;
    EXPECT_EQ(transport.LastOpenResult(), c.expected) << c.what;
    const OpenFailure failure = transport.LastOpenFailure();
    EXPECT_EQ(failure.kind, c.kind) << c.what;
    EXPECT_EQ(failure.system_error, c.error) << c.what;
    EXPECT_EQ(failure.system_text.empty(), c.error == 0) << c.what;
    EXPECT_FALSE(transport.CloseConnection()) << c.what;
    EXPECT_TRUE(boxes.Texts().empty()) << c.what;
    holder.Close();
    // Nothing held: the port opens for the next comer.
    platform::SerialLine next;
    EXPECT_EQ(next.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk) << c.what;
  }
}

}  // namespace
}  // namespace velmar::transport
