// The serial port on a pseudo-terminal pair, and a whole load through it from a scripted peer.

#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "datafile/load_window.h"
#include "engine/crc16.h"
#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "platform/config_folder.h"
#include "platform/manual_reset_event.h"
#include "platform/serial_line.h"
#include "tests/support/pty_pair.h"
#include "transport/serial_transport.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
constexpr auto kDeadline = 10s;

// The printer's end of a pseudo-terminal; the tool opens SlavePath().
class PtyMaster : public test::PtyPair {
 public:
  int Fd() const { return MasterFd(); }
  bool Send(const Bytes& bytes) { return WriteAll(bytes); }
  Bytes Receive(size_t count, std::chrono::milliseconds deadline = kDeadline) {
    return ReadExactly(count, deadline);
  }
  void Close() { CloseMaster(); }
};

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// Waits for a wall-clock span; this measures idleness, it does not wait for an event.
void Idle(std::chrono::milliseconds span) {
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock lock(mutex);
  never.wait_for(lock, span, [] { return false; });
}

TEST(SerialLineTest, EveryRateOfTheListIsSetExactlyAsRaw8N1) {
  PtyMaster pty;
  for (int32_t rate : {2400, 4800, 7200, 9600, 14400, 19200, 38400, 57600, 115200}) {
    platform::SerialLine line;
    ASSERT_EQ(line.Open(pty.SlavePath(), rate), platform::SerialOpenResult::kOk) << rate;
    struct termios2 settings {};  // a pty's settings are shared by both ends
    ASSERT_EQ(::ioctl(pty.Fd(), TCGETS2, &settings), 0);
    EXPECT_EQ(settings.c_ospeed, static_cast<speed_t>(rate));
    EXPECT_EQ(settings.c_ispeed, static_cast<speed_t>(rate));
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << rate;
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << rate;
    EXPECT_NE(settings.c_cflag & CLOCAL, 0u);
    EXPECT_NE(settings.c_cflag & CREAD, 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
  }
}

TEST(SerialLineTest, OpenFailuresSayWhy) {
  PtyMaster pty;
  platform::SerialLine line;
  EXPECT_EQ(line.Open("/nonexistent/ttyX", 9600), platform::SerialOpenResult::kNoDevice);
  EXPECT_EQ(line.Open("/dev/null", 9600), platform::SerialOpenResult::kNoDevice);  // no tty
  EXPECT_EQ(line.Open(pty.SlavePath(), 0), platform::SerialOpenResult::kSettingsRefused);
  EXPECT_FALSE(line.IsOpen());
  ASSERT_EQ(line.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kOk);
  platform::SerialLine second;
  EXPECT_EQ(second.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kBusy);
  line.Close();
  EXPECT_EQ(second.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kOk);
}

TEST(SerialLineTest, ReadTakesOnlyWhatIsQueued) {
  PtyMaster pty;
  platform::SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), 115200), platform::SerialOpenResult::kOk);
  uint8_t buffer[16];
  EXPECT_EQ(line.Read(buffer, sizeof buffer), 0);  // nothing there: no wait
  ASSERT_TRUE(pty.Send({1, 2, 3, 4, 5}));
  ASSERT_EQ(line.WaitForInput(), platform::SerialWait::kInput);
  // The pty may hand bytes over in pieces; collect them with the capacity kept at 3.
  Bytes got;
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (got.size() < 5 && std::chrono::steady_clock::now() < until) {
    const int32_t count = line.Read(buffer, 3);
    ASSERT_LE(count, 3);
    got.insert(got.end(), buffer, buffer + count);
    if (count == 0) {
      line.WaitForInput();
    }
  }
  EXPECT_EQ(got, (Bytes{1, 2, 3, 4, 5}));
}

TEST(SerialLineTest, CloseFlushesWhatWasNotRead) {
  PtyMaster pty;
  platform::SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kOk);
  ASSERT_TRUE(pty.Send({9, 9, 9}));
  ASSERT_EQ(line.WaitForInput(), platform::SerialWait::kInput);
  line.Close();
  ASSERT_EQ(line.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kOk);
  EXPECT_EQ(line.QueuedInput(), 0);
}

// Another opener keeps the line alive, as the emulator keeps its end, so that what was sent to
// a tool that died unread is still queued when the next tool opens the port.
TEST(SerialLineTest, OpenDiscardsWhatArrivedBefore) {
  PtyMaster pty;
  const int holder = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_TRUE(pty.Send({0xA0, 'T', 0}));
  int queued = 0;
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (queued < 3 && std::chrono::steady_clock::now() < until) {
    pollfd readable{holder, POLLIN, 0};
    ::poll(&readable, 1, 10);
    ASSERT_EQ(::ioctl(holder, FIONREAD, &queued), 0);
  }
  ASSERT_EQ(queued, 3);
  platform::SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kOk);
  EXPECT_EQ(line.QueuedInput(), 0);
  ASSERT_TRUE(pty.Send({0xA1}));
  ASSERT_EQ(line.WaitForInput(), platform::SerialWait::kInput);
  uint8_t byte = 0;
  ASSERT_EQ(line.Read(&byte, 1), 1);
  EXPECT_EQ(byte, 0xA1);
  line.Close();
  ::close(holder);
}

// A printer still answering a tool that died mid-load: the line opens once it has been quiet,
// with none of that answer left to be read; one that never stops holds the open no longer
// than kQuietLimit.
TEST(SerialLineTest, OpenWaitsForAQuietLine) {
  for (const bool endless : {false, true}) {
    PtyMaster pty;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::atomic<int> sent{0};
    std::atomic<int64_t> longest_gap_us{0};  // a loaded machine may stall the printer
    std::thread printer([&] {
      // A byte every 2 ms: 150 of them, or until told to stop.
      auto last = std::chrono::steady_clock::now();
      for (int i = 0; !stop && (endless || i < 150); ++i) {
        pty.Send({0x1E});
        ++sent;
        std::this_thread::sleep_for(2ms);
        const auto now = std::chrono::steady_clock::now();
        const int64_t gap =
            std::chrono::duration_cast<std::chrono::microseconds>(now - last).count();
        longest_gap_us = std::max<int64_t>(longest_gap_us, gap);
        last = now;
      }
      done = true;
    });
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (sent < 10 && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
    platform::SerialLine line;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(line.Open(pty.SlavePath(), 115200), platform::SerialOpenResult::kOk);
    const auto took = std::chrono::steady_clock::now() - start;
    const bool stalled = longest_gap_us >= 15000;
    if (endless) {
      EXPECT_TRUE(stalled || took >= platform::SerialLine::kQuietLimit);
      EXPECT_LT(took, platform::SerialLine::kQuietLimit + 2s);
    } else {
      EXPECT_TRUE(stalled || done.load());
      EXPECT_EQ(line.QueuedInput(), 0);
    }
    stop = true;
    printer.join();
  }
}

TEST(SerialLineTest, WakeEndsAWaitFromAnotherThread) {
  PtyMaster pty;
  platform::SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kOk);
  std::thread waker([&] { line.Wake(); });
  EXPECT_EQ(line.WaitForInput(), platform::SerialWait::kWoken);
  waker.join();
}

TEST(SerialLineTest, AfterAHangUpTheWaitSleepsUntilWoken) {
  PtyMaster pty;
  platform::SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), 9600), platform::SerialOpenResult::kOk);
  pty.Close();
  ASSERT_EQ(line.WaitForInput(), platform::SerialWait::kHungUp);
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    line.WaitForInput();
    returned = true;
  });
  const double cpu_before = ProcessCpuSeconds();
  Idle(300ms);
  EXPECT_FALSE(returned.load());
  EXPECT_LT(ProcessCpuSeconds() - cpu_before, 0.1);  // not spinning on the dead line
  line.Wake();
  waiter.join();
  EXPECT_TRUE(returned.load());
}

TEST(SerialLineTest, ComNamesResolveToLinksOrTheWineConvention) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string config = ::testing::TempDir() + "velmar-xdg-" + std::to_string(::getpid());
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_EQ(platform::ConfigFolder(), config + "/velmar");
  EXPECT_EQ(platform::ResolvePortName("COM3"), "/dev/ttyS2");
  EXPECT_EQ(platform::ResolvePortName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(platform::ResolvePortName("/dev/ttyUSB0"), "/dev/ttyUSB0");
  // A bare name is a device under /dev, as a user means it; so is what only looks like COMn.
  EXPECT_EQ(platform::ResolvePortName("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(platform::ResolvePortName("COM0"), "/dev/COM0");
  std::filesystem::create_directories(config + "/velmar/ports");
  std::filesystem::create_symlink("/dev/null", config + "/velmar/ports/COM3");
  EXPECT_EQ(platform::ResolvePortName("COM3"), config + "/velmar/ports/COM3");
  const auto ports = platform::ListPorts();
  EXPECT_NE(std::find(ports.begin(), ports.end(), "COM3"), ports.end());
  std::filesystem::remove_all(config);
  if (saved != nullptr) {
    ::setenv("XDG_CONFIG_HOME", saved, 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

// Takes every delivery; can be held inside OnDataReceived to race the close.
class HoldingSink : public transport::ReceiveSink {
 public:
  void OnDataReceived() override {
    inside.Set();
    release.Wait();
    uint8_t buffer[8192];
    const int32_t got = transport->Read(buffer, sizeof buffer);
    std::lock_guard lock(mutex);
    received.insert(received.end(), buffer, buffer + got);
    ++calls;
  }
  size_t Received() {
    std::lock_guard lock(mutex);
    return received.size();
  }
  transport::SerialTransport* transport = nullptr;
  platform::ManualResetEvent inside;
  platform::ManualResetEvent release{true};
  std::mutex mutex;
  Bytes received;
  int calls = 0;
};

TEST(SerialTransportTest, DeliversWritesAndClosesCleanly) {
  PtyMaster pty;
  HoldingSink sink;
  transport::SerialTransport port(&sink, pty.SlavePath(), 115200);
  sink.transport = &port;
  EXPECT_FALSE(port.CloseConnection());
  ASSERT_TRUE(port.OpenConnection());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_FALSE(port.Write(nullptr, 0));
  const Bytes frame{0x1E, 0x72, 0x53, 0x01, 0x01};
  EXPECT_TRUE(port.Write(frame.data(), 5));
  EXPECT_EQ(pty.Receive(5), frame);
  ASSERT_TRUE(pty.Send({0xA0, 0xA1}));
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (sink.Received() < 2 && std::chrono::steady_clock::now() < until) {
    Idle(5ms);
  }
  EXPECT_EQ(sink.Received(), 2u);
  EXPECT_TRUE(port.CloseConnection());
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialTransportTest, CloseWaitsForADeliveryInProgress) {
  PtyMaster pty;
  HoldingSink sink;
  sink.release.Reset();
  transport::SerialTransport port(&sink, pty.SlavePath(), 115200);
  sink.transport = &port;
  ASSERT_TRUE(port.OpenConnection());
  ASSERT_TRUE(pty.Send({0x55}));
  ASSERT_TRUE(sink.inside.WaitFor(kDeadline));
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    port.CloseConnection();
    closed = true;
  });
  Idle(50ms);
  EXPECT_FALSE(closed.load());  // the delivery is still running
  sink.release.Set();
  closer.join();
  const int calls = sink.calls;
  EXPECT_EQ(calls, 1);
}

TEST(SerialTransportTest, AHungUpPeerLeavesTheThreadIdle) {
  PtyMaster pty;
  HoldingSink sink;
  transport::SerialTransport port(&sink, pty.SlavePath(), 115200);
  sink.transport = &port;
  ASSERT_TRUE(port.OpenConnection());
  pty.Close();
  Idle(100ms);  // let the thread see the hang-up
  const double cpu_before = ProcessCpuSeconds();
  Idle(300ms);
  EXPECT_LT(ProcessCpuSeconds() - cpu_before, 0.1);
  EXPECT_TRUE(port.CloseConnection());
}

TEST(SerialTransportTest, AMissingDeviceFailsQuietly) {
  HoldingSink sink;
  transport::SerialTransport port(&sink, "/nonexistent/ttyX", 9600);
  EXPECT_FALSE(port.OpenConnection());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastOpenResult(), platform::SerialOpenResult::kNoDevice);
}

class LoadWindow : public datafile::LoadWindow {
 public:
  explicit LoadWindow(platform::MessageQueue& queue)
      : datafile::LoadWindow(queue), m_progress(queue) {}
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam,
                                  platform::LParam) override {
    notifications.push_back(message);
    return 0;
  }
  bool Ended() const {
    for (auto message : notifications) {
      if (message != engine::LN_STATUS && message != engine::LN_STEP) {
        return true;
      }
    }
    return false;
  }
  std::vector<platform::MessageId> notifications;
  struct Progress : platform::Window {
    using Window::Window;
    platform::LResult HandleMessage(platform::MessageId, platform::WParam,
                                    platform::LParam) override {
      ++steps;
      return 0;
    }
    int steps = 0;
  } m_progress;

 protected:
  platform::Window* ProgressWindow() override { return &m_progress; }
};

Bytes Frame(uint8_t letter, uint8_t a, uint8_t b, uint8_t s) {
  return {0x1E, letter, a, b, s};
}

// A whole program of several blocks through the real port, the printer scripted on the master.
TEST(SerialLoadTest, AProgramGoesThroughThePort) {
  PtyMaster pty;
  platform::MessageQueue queue;
  LoadWindow window(queue);
  window.m_file_kind = "MyBIN";
  window.m_model_name = "TEST";
  constexpr int kBlocks = 5;
  std::vector<Bytes> blocks;
  for (int k = 0; k < kBlocks; ++k) {
    Bytes data(k == kBlocks - 1 ? 17 : 256);
    for (size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<uint8_t>(k * 31 + i);
    }
    const uint32_t address = 0x1FF00 + 256 * k;  // crosses into address byte 2 == 1 and back
    const uint16_t crc = engine::Crc16(data.data(), static_cast<int32_t>(data.size()));
    Bytes header{static_cast<uint8_t>(address),          static_cast<uint8_t>(address >> 8),
                 static_cast<uint8_t>(address >> 16),    static_cast<uint8_t>(data.size()),
                 static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(crc),
                 static_cast<uint8_t>(crc >> 8),         0};
    window.m_data.Append(header.data(), 8);
    window.m_data.Append(data.data(), static_cast<int32_t>(data.size()));
    Bytes block = header;
    block.insert(block.end(), data.begin(), data.end());
    blocks.push_back(block);
  }
  std::atomic<bool> printer_ok{false};
  std::string failure;
  std::thread printer([&] {
    auto expect = [&](const Bytes& wanted, const char* what) {
      if (pty.Receive(wanted.size()) != wanted) {
        failure = what;
        return false;
      }
      return true;
    };
    if (!expect({0x1B, 'B', 'O', 'O', 'T'}, "wake-up") || !pty.Send({0xA1}) ||
        !expect({0x1A}, "ack") || !pty.Send({'T', 'E', 'S', 'T', 0, 0x1E, 'S', 'M', 0, 0x01})) {
      return;
    }
    for (int k = 0; k < kBlocks; ++k) {
      const Bytes& b = blocks[k];
      const uint8_t s = 0x01;
      const uint8_t a_status = b[2] == 1 ? s : 0x00;
      if (!expect(Frame('r', 'S', 0x01, k == 0 ? s : s), "r") || !pty.Send(Frame('C', 'A', 0, s)) ||
          !expect(Frame('a', b[0], b[1], a_status), "a") || !pty.Send(Frame('A', b[0], b[1], s)) ||
          !expect(Frame('d', b[3], b[4], s), "d") || !pty.Send(Frame('D', b[3], b[4], s))) {
        return;
      }
      Bytes e{0x1E, 'e', b[5], b[6], b[7]};
      e.insert(e.end(), b.begin() + 8, b.end());
      if (!expect(e, "e")) {
        return;
      }
      Bytes echo = e;
      echo[4] = 0x00;  // result byte
      if (!pty.Send(echo)) {
        return;
      }
      if (k == kBlocks - 1) {
        if (!expect(Frame('w', 'o', 'k', s | 0x82), "last w")) {
          return;
        }
      } else if (!expect(Frame('w', 'o', 'k', s), "w") || !pty.Send({0x1E, 'S', 'M', 0, s})) {
        return;
      }
    }
    printer_ok = true;
  });
  {
    engine::Downloader run(&window, "RS-232", "", 0, pty.SlavePath(), 115200);
    ASSERT_TRUE(run.m_transport->IsOpen());
    run.StartProgramLoad();
    EXPECT_TRUE(queue.RunUntil([&] { return window.Ended(); }, 30s));
  }
  printer.join();
  EXPECT_TRUE(printer_ok.load()) << failure;
  EXPECT_EQ(window.notifications,
            (std::vector<platform::MessageId>{engine::LN_STATUS, engine::LN_DONE}));
  EXPECT_EQ(window.m_progress.steps, kBlocks);
}

}  // namespace
}  // namespace velmar
