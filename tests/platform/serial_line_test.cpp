// The serial line on a pseudo-terminal: the test plays the device on the master.

// The kernel's termios2 is the only way to read back rates outside the classic table, and it
// cannot share a file with <termios.h>, so every setting here is read through it.
#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/config_folder.h"
#include "platform/port_listing.h"
#include "platform/serial_line.h"
#include "tests/support/pty_pair.h"

namespace velmar::platform {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::PtyPair;

constexpr auto kDeadline = 10s;
constexpr auto kIdleSpan = 300ms;
constexpr auto kIdleCpuLimit = 100ms;
constexpr int32_t kRate = 115200;
constexpr int kByteValues = 256;

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

// Ends the line's waits with a wake once kDeadline has passed, so that bytes that never come
// fail the test instead of hanging it.
class WakeAtDeadline {
 public:
  explicit WakeAtDeadline(SerialLine& line)
      : m_line(line), m_watchdog([this] {
          std::unique_lock lock(m_mutex);
          if (!m_done.wait_for(lock, kDeadline, [this] { return m_finished; })) {
            m_line.Wake();
          }
        }) {}
  ~WakeAtDeadline() {
    {
      std::lock_guard lock(m_mutex);
      m_finished = true;
    }
    m_done.notify_all();
    m_watchdog.join();
    m_line.ClearWake();
  }
  WakeAtDeadline(const WakeAtDeadline&) = delete;
  WakeAtDeadline& operator=(const WakeAtDeadline&) = delete;

 private:
  SerialLine& m_line;
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_watchdog;
};

// Waits until the line has `count` bytes queued; the pty may hand them over in pieces.
bool WaitUntilQueued(SerialLine& line, int32_t count) {
  WakeAtDeadline watchdog(line);
  while (line.QueuedInput() < count) {
    if (line.WaitForInput() != SerialWait::kInput) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

// Reads `count` bytes from the line as they arrive.
Bytes ReadFromLine(SerialLine& line, size_t count) {
  WakeAtDeadline watchdog(line);
  Bytes got;
  uint8_t buffer[64];
  while (got.size() < count && line.WaitForInput() == SerialWait::kInput) {
    const int32_t n = line.Read(buffer, sizeof buffer);
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::optional<struct termios2> SettingsOf(const PtyPair& pty) {
  struct termios2 settings {};
  if (::ioctl(pty.MasterFd(), TCGETS2, &settings) != 0) {
    return std::nullopt;
  }
  return settings;
}

// What a previous user of the port might have left: cooked, flow-controlled, 7E2 at 300.
void LeaveCookedSettings(const PtyPair& pty) {
  struct termios2 cooked {};
  ASSERT_EQ(::ioctl(pty.MasterFd(), TCGETS2, &cooked), 0);
  cooked.c_iflag = ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | IXANY | BRKINT;
  cooked.c_oflag = OPOST | ONLCR | OCRNL;
  cooked.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  cooked.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS | HUPCL | B300 | (B300 << IBSHIFT);
  cooked.c_cc[VMIN] = 1;
  cooked.c_cc[VTIME] = 5;
  ASSERT_EQ(::ioctl(pty.MasterFd(), TCSETS2, &cooked), 0);
}

// A configuration folder of the test's own, for as long as it lives.
class ScopedConfigHome {
 public:
  ScopedConfigHome() {
    std::string pattern = ::testing::TempDir() + "velmar-config-XXXXXX";
    m_root = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    EXPECT_FALSE(m_root.empty());
    Save("XDG_CONFIG_HOME", &m_saved_xdg);
    Save("HOME", &m_saved_home);
    ::setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
    std::filesystem::create_directories(Ports());
  }
  ~ScopedConfigHome() {
    Restore("XDG_CONFIG_HOME", m_saved_xdg);
    Restore("HOME", m_saved_home);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }
  ScopedConfigHome(const ScopedConfigHome&) = delete;
  ScopedConfigHome& operator=(const ScopedConfigHome&) = delete;

  const std::string& Root() const { return m_root; }
  std::string Ports() const { return m_root + "/velmar/ports"; }
  void Link(const std::string& com_name, const std::string& target) const {
    std::filesystem::create_symlink(target, Ports() + "/" + com_name);
  }

 private:
  static void Save(const char* name, std::optional<std::string>* saved) {
    const char* value = std::getenv(name);
    if (value != nullptr) {
      *saved = value;
    }
  }
  static void Restore(const char* name, const std::optional<std::string>& saved) {
    if (saved) {
      ::setenv(name, saved->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }

  std::string m_root;
  std::optional<std::string> m_saved_xdg;
  std::optional<std::string> m_saved_home;
};

class LineRateTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(LineRateTest, RateIsExactAndTheLineIsRaw8N1WithoutFlowControl) {
  const int32_t rate = GetParam();
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  ASSERT_NO_FATAL_FAILURE(LeaveCookedSettings(pty));
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), rate), SerialOpenResult::kOk);

  // A pty's termios is shared by both ends, so the master shows what the port was given. The
  // pty keeps any rate it is given, through the classic codes or BOTHER alike.
  const auto settings = SettingsOf(pty);
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->c_ospeed, static_cast<speed_t>(rate));
  EXPECT_EQ(settings->c_ispeed, static_cast<speed_t>(rate));
  EXPECT_EQ(settings->c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(settings->c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(settings->c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(settings->c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
  EXPECT_EQ(settings->c_oflag & OPOST, 0u);
  EXPECT_EQ(settings->c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(settings->c_cc[VMIN], 0);
  EXPECT_EQ(settings->c_cc[VTIME], 0);
}

// The window's list of rates; 7200 and 14400 have no classic termios code.
INSTANTIATE_TEST_SUITE_P(WindowRates, LineRateTest,
                         ::testing::Values(2400, 4800, 7200, 9600, 14400, 19200, 38400, 57600,
                                           115200));

TEST(SerialLineTest, EveryByteValuePassesUnchangedBothWays) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  ASSERT_NO_FATAL_FAILURE(
      LeaveCookedSettings(pty));  // CR mapping, XON/XOFF and stripping would all show
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);

  ASSERT_TRUE(pty.WriteAll(EveryByteValue()));
  EXPECT_EQ(ReadFromLine(line, kByteValues), EveryByteValue());

  for (const uint8_t byte : EveryByteValue()) {
    ASSERT_TRUE(line.WriteByte(byte));
  }
  EXPECT_EQ(pty.ReadExactly(kByteValues, kDeadline), EveryByteValue());
}

TEST(SerialLineTest, NonPositiveRatesAreRefusedAndNothingIsHeld) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  for (const int32_t rate : {0, -1, -9600, std::numeric_limits<int32_t>::min()}) {
    SerialLine line;
    EXPECT_EQ(line.Open(pty.SlavePath(), rate), SerialOpenResult::kSettingsRefused) << rate;
    EXPECT_FALSE(line.IsOpen()) << rate;
    SerialLine next;  // the refused open left neither lock nor exclusive mark behind
    EXPECT_EQ(next.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk) << rate;
  }
}

TEST(SerialLineTest, NamesOfNoSerialDeviceSayNoDeviceAndAPortWithoutHardwareSaysSo) {
  ScopedConfigHome config;
  const std::string regular_file = config.Root() + "/plain-file";
  std::ofstream(regular_file) << "not a tty";
  config.Link("COM5", config.Root() + "/nothing-here");
  struct Case {
    const char* what;
    std::string name;
    SerialOpenResult result = SerialOpenResult::kNoDevice;
  };
  std::vector<Case> cases = {
      {"missing path", "/nonexistent/ttyVELMAR0"},
      {"empty name", ""},
      {"not a tty", "/dev/null"},
      {"bare name of no tty", "null"},
      {"regular file", regular_file},
      {"directory", config.Root()},
      {"COM name with no link and no device", "COM250"},
      {"COM link to nothing", "COM5"},
  };
  // ttyS63, made where root may: the serial driver answers EIO (no UART) or ENXIO (beyond its
  // ports), unless the folder refuses devices.
  const std::string no_uart = config.Root() + "/ttyS63";
  if (::mknod(no_uart.c_str(), S_IFCHR | 0600, ::makedev(4, 127)) == 0 &&
      ::open(no_uart.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY) < 0 &&
      (errno == EIO || errno == ENXIO)) {
    cases.push_back({"ttyS node without a UART", no_uart, SerialOpenResult::kNoHardware});
  }
  for (const auto& c : cases) {
    SerialLine line;
    EXPECT_EQ(line.Open(c.name, kRate), c.result) << c.what;
    EXPECT_FALSE(line.IsOpen()) << c.what;
  }
}

// No descriptor left for the wake is the system's failure, not a missing port.
TEST(SerialLineTest, NoDescriptorForTheWakeIsASystemFailure) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit none{0, 0};
    SerialLine line;
    ::_exit(::setrlimit(RLIMIT_NOFILE, &none) == 0 &&
                    line.Open(pty.SlavePath(), kRate) == SerialOpenResult::kSystemFailure &&
                    line.OpenError() == EMFILE
                ? 0
                : 1);
  }
  int status = 1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
}

// Asked without opening: a port the user may open, one nobody may open, and names of nothing.
// Root may open anything, so a root test asks as a user without rights, in a child.
TEST(SerialLineTest, CheckPortAccessTellsWhoMayOpenWithoutOpening) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  ScopedConfigHome config;
  const std::string locked = config.Root() + "/locked";
  std::ofstream(locked) << "";
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  config.Link("COM5", config.Root() + "/nothing-here");
  const auto as_nobody = [](const std::string& name) {
    if (::geteuid() != 0) {
      return CheckPortAccess(name);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
      const bool dropped = ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
                           ::setresuid(65534, 65534, 65534) == 0;
      ::_exit(dropped ? static_cast<int>(CheckPortAccess(name)) : 99);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return static_cast<PortAccess>(WEXITSTATUS(status));
  };
  EXPECT_EQ(CheckPortAccess(pty.SlavePath()), PortAccess::kAllowed);
  EXPECT_EQ(CheckPortAccess("/nonexistent/ttyVELMAR0"), PortAccess::kUnknown);
  EXPECT_EQ(CheckPortAccess("COM5"), PortAccess::kUnknown);
  EXPECT_EQ(as_nobody(locked), PortAccess::kDenied);
  // The probe left the line alone: it still opens as usual.
  SerialLine line;
  EXPECT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
}

TEST(SerialLineTest, SecondOpenerIsBusyUntilTheFirstCloses) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine first;
  ASSERT_EQ(first.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  SerialLine second;
  EXPECT_EQ(second.Open(pty.SlavePath(), kRate), SerialOpenResult::kBusy);
  EXPECT_FALSE(second.IsOpen());

  ASSERT_TRUE(pty.WriteAll({0x42}));  // the refused opener did not disturb the first
  EXPECT_EQ(ReadFromLine(first, 1), Bytes{0x42});

  first.Close();
  EXPECT_EQ(second.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
}

TEST(SerialLineTest, SecondOpenerInAnotherProcessIsBusy) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  const auto open_in_child = [&] {
    const pid_t child = ::fork();
    if (child == 0) {
      SerialLine other;
      ::_exit(static_cast<int>(other.Open(pty.SlavePath(), kRate)));
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return WIFEXITED(status) ? static_cast<SerialOpenResult>(WEXITSTATUS(status))
                             : SerialOpenResult::kOk;
  };
  EXPECT_EQ(open_in_child(), SerialOpenResult::kBusy);
  line.Close();
  EXPECT_EQ(open_in_child(), SerialOpenResult::kOk);
}

TEST(SerialLineTest, ReadTakesAtMostCapacityAndLeavesTheRestQueued) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  uint8_t buffer[32] = {};
  EXPECT_EQ(line.Read(buffer, sizeof buffer), 0);  // nothing queued: back at once
  EXPECT_EQ(line.QueuedInput(), 0);

  const Bytes sent = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(pty.WriteAll(sent));
  ASSERT_TRUE(WaitUntilQueued(line, static_cast<int32_t>(sent.size())));
  const struct {
    uint8_t* buffer;
    int32_t capacity;
    int32_t expected;
  } reads[] = {
      {buffer, 0, 0}, {buffer, -1, 0}, {nullptr, 4, 0}, {buffer, 4, 4},
      {buffer, 4, 4}, {buffer, 32, 2}, {buffer, 32, 0},
  };
  Bytes got;
  for (const auto& r : reads) {
    const int32_t n = line.Read(r.buffer, r.capacity);
    ASSERT_EQ(n, r.expected) << "capacity " << r.capacity;
    got.insert(got.end(), buffer, buffer + n);
  }
  EXPECT_EQ(got, sent);
}

TEST(SerialLineTest, AClosedLineAnswersAtOnce) {
  SerialLine line;
  uint8_t byte = 0;
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(line.QueuedInput(), 0);
  EXPECT_EQ(line.Read(&byte, 1), 0);
  EXPECT_FALSE(line.WriteByte(byte));
  EXPECT_EQ(line.WaitForInput(), SerialWait::kWoken);
  line.Wake();
  line.ClearWake();
  line.Close();
}

TEST(SerialLineTest, WakeEndsAWaitFromAnotherThreadAndStaysUntilCleared) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);

  std::atomic<bool> waiting{false};
  std::atomic<SerialWait> result{SerialWait::kInput};
  std::thread waiter([&] {
    waiting = true;
    result = line.WaitForInput();
  });
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (!waiting && std::chrono::steady_clock::now() < until) {
    std::this_thread::yield();
  }
  line.Wake();
  waiter.join();
  EXPECT_EQ(result.load(), SerialWait::kWoken);

  line.Wake();  // two wakes are still cleared by one ClearWake
  EXPECT_EQ(line.WaitForInput(), SerialWait::kWoken);
  EXPECT_EQ(line.WaitForInput(), SerialWait::kWoken);
  line.ClearWake();
  ASSERT_TRUE(pty.WriteAll({0x07}));
  WakeAtDeadline watchdog(line);
  EXPECT_EQ(line.WaitForInput(), SerialWait::kInput);
}

TEST(SerialLineTest, AfterAHangUpTheWaitSleepsUntilWoken) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);

  // The hang-up ends a wait already under way.
  std::atomic<bool> waiting{false};
  std::atomic<SerialWait> result{SerialWait::kInput};
  std::thread first([&] {
    waiting = true;
    result = line.WaitForInput();
  });
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (!waiting && std::chrono::steady_clock::now() < until) {
    std::this_thread::yield();
  }
  pty.CloseMaster();
  first.join();
  EXPECT_EQ(result.load(), SerialWait::kHungUp);

  uint8_t byte = 0;
  EXPECT_EQ(line.Read(&byte, 1), 0);
  EXPECT_FALSE(line.WriteByte(byte));

  std::atomic<bool> returned{false};
  std::thread second([&] {
    result = line.WaitForInput();
    returned = true;
  });
  const auto cpu_before = ProcessCpuTime();
  IdleFor(kIdleSpan);
  const auto cpu_used = ProcessCpuTime() - cpu_before;
  EXPECT_FALSE(returned.load());
  EXPECT_LT(cpu_used, kIdleCpuLimit);
  line.Wake();
  second.join();
  EXPECT_EQ(result.load(), SerialWait::kWoken);

  line.Close();
  EXPECT_FALSE(line.IsOpen());
  // The pty's slave went with its master.
  EXPECT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kNoDevice);
}

// A reply that falls short is handed over after its line time, never after the limit, and a
// close's Wake ends the wait for one that never comes.
TEST(SerialLineTest, AwaitInputEndsWhenTheBytesAreThereTheirTimeHasPassedOrOnWake) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  ASSERT_TRUE(pty.WriteAll({1, 2, 3, 4}));
  ASSERT_TRUE(WaitUntilQueued(line, 4));
  constexpr auto kFarLimit = std::chrono::seconds(60);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(line.AwaitInput(4, kFarLimit));
  EXPECT_TRUE(line.AwaitInput(14, kFarLimit));
  EXPECT_LT(std::chrono::steady_clock::now() - start, kDeadline);
  EXPECT_EQ(line.QueuedInput(), 4);  // nothing was taken away
  line.Wake();
  EXPECT_FALSE(line.AwaitInput(1000000, kFarLimit));
  EXPECT_LT(std::chrono::steady_clock::now() - start, kDeadline);
}

TEST(SerialLineTest, CloseFlushesInputThatWasNotRead) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  const Bytes stale(32, 0xEE);
  ASSERT_TRUE(pty.WriteAll(stale));
  ASSERT_TRUE(WaitUntilQueued(line, static_cast<int32_t>(stale.size())));
  line.Close();
  line.Close();  // a second close does nothing
  EXPECT_FALSE(line.IsOpen());

  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  EXPECT_EQ(line.QueuedInput(), 0);
  ASSERT_TRUE(pty.WriteAll({0x01}));
  EXPECT_EQ(ReadFromLine(line, 1), Bytes{0x01});  // what arrives now arrives alone
  EXPECT_EQ(line.QueuedInput(), 0);
}

TEST(SerialLineTest, WriteByteGivesUpWhenTheOtherEndTakesNothingAndRecovers) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  // Far beyond what a pty buffers; the loop ends at the first refusal.
  constexpr size_t kFarTooMuch = size_t{1} << 22;
  size_t written = 0;
  while (written < kFarTooMuch && line.WriteByte(static_cast<uint8_t>(written))) {
    ++written;
  }
  ASSERT_LT(written, kFarTooMuch);
  EXPECT_FALSE(line.Lost());  // a stalled line is no lost one

  const Bytes drained = pty.ReadExactly(written, kDeadline);
  ASSERT_EQ(drained.size(), written);
  for (size_t i = 0; i < written; ++i) {
    ASSERT_EQ(drained[i], static_cast<uint8_t>(i)) << i;
  }
  EXPECT_TRUE(line.WriteByte(0x5A));
  EXPECT_EQ(pty.ReadExactly(1, kDeadline), Bytes{0x5A});
}

// A frame goes down in one call: it must arrive whole and in order even when it is larger than
// what the driver holds at a time, and a stalled peer must get an honest count, not a hang.
TEST(SerialLineTest, WriteWaitsForRoomAndReportsHowMuchWentWhenThePeerStalls) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
  Bytes frame(size_t{1} << 18);
  for (size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  }
  const auto length = static_cast<int32_t>(frame.size());

  Bytes received;
  std::thread reader([&] { received = pty.ReadExactly(frame.size(), kDeadline); });
  EXPECT_EQ(line.Write(frame.data(), length), length);
  reader.join();
  EXPECT_EQ(received, frame);

  // Nobody reads now: the call returns what the driver took.
  const int32_t taken = line.Write(frame.data(), length);
  ASSERT_GT(taken, 0);
  ASSERT_LT(taken, length);
  EXPECT_EQ(pty.ReadExactly(static_cast<size_t>(taken), kDeadline),
            Bytes(frame.begin(), frame.begin() + taken));
}

// The frame that ends a load is the last thing written before the port closes: flushing the
// queues at once could drop it on a real device. A pty hands bytes over at once, so the wait
// shows as the line time of the last write; once the printer has hung up there is nobody to
// wait for.
TEST(SerialLineTest, CloseWaitsForTheLastWriteToLeaveUnlessTheLineHungUp) {
  constexpr int32_t kSlowRate = 2400;
  const Bytes frame(120, 0x82);  // 0.5 s on the line at 2400
  const auto line_time = std::chrono::milliseconds(frame.size() * 10 * 1000 / kSlowRate);
  const struct {
    bool hang_up;
    std::chrono::milliseconds at_least;
    std::chrono::milliseconds below;
  } cases[] = {
      {false, line_time, line_time + SerialLine::kDrainMargin + 2s},
      {true, 0ms, line_time / 2},
  };
  for (const auto& c : cases) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    SerialLine line;
    ASSERT_EQ(line.Open(pty.SlavePath(), kSlowRate), SerialOpenResult::kOk);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(line.Write(frame.data(), static_cast<int32_t>(frame.size())),
              static_cast<int32_t>(frame.size()));
    if (c.hang_up) {
      pty.CloseMaster();
    }
    line.Close();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, c.at_least) << c.hang_up;
    EXPECT_LT(took, c.below) << c.hang_up;
    if (!c.hang_up) {
      EXPECT_EQ(pty.ReadExactly(frame.size(), kDeadline), frame);
    }
  }
}

// A peer that takes every frame at once (a pty, with nothing paced) does not make the close wait
// for the line time of everything written: only the last write can still be under way.
TEST(SerialLineTest, CloseWaitsForTheLastWriteOnlyWhenThePeerKeptUp) {
  constexpr int32_t kSlowRate = 2400;
  const Bytes frame(60, 0x82);  // 0.25 s on the line at 2400; ten of them 2.5 s
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.SlavePath(), kSlowRate), SerialOpenResult::kOk);
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(line.Write(frame.data(), static_cast<int32_t>(frame.size())),
              static_cast<int32_t>(frame.size()));
    ASSERT_EQ(pty.ReadExactly(frame.size(), kDeadline), frame);
  }
  const auto start = std::chrono::steady_clock::now();
  line.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms + SerialLine::kDrainMargin + 1s);
}

// A close under way wakes the line, and a hang-up loses it: either way a write waiting for room
// gives up at once instead of holding the run for kWriteRoomTimeout.
TEST(SerialLineTest, WakeOrAHangUpEndsAWriteThatWaitsForRoom) {
  for (const bool hang_up : {false, true}) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    SerialLine line;
    ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk);
    const Bytes frame(size_t{1} << 22, 0x55);  // far beyond what a pty buffers
    int32_t taken = -1;
    std::chrono::steady_clock::duration took{};
    std::thread writer([&] {
      const auto start = std::chrono::steady_clock::now();
      taken = line.Write(frame.data(), static_cast<int32_t>(frame.size()));
      took = std::chrono::steady_clock::now() - start;
    });
    if (hang_up) {
      const auto until = std::chrono::steady_clock::now() + kDeadline;
      while (pty.QueuedAtMaster() == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
      }
      pty.CloseMaster();
    } else {
      line.Wake();  // stays in effect, so it ends the wait whether it comes before it or during it
    }
    writer.join();
    EXPECT_LT(taken, static_cast<int32_t>(frame.size())) << hang_up;
    EXPECT_LT(took, SerialLine::kWriteRoomTimeout / 2) << hang_up;
    EXPECT_EQ(line.Lost(), hang_up);
  }
}

// Whichever call first meets the hung-up line finds it lost, until the next Open. A pty holds
// nothing, so a frame the printer took before it closed the line counts as sent.
TEST(SerialLineTest, TheFirstCallToMeetAHangUpFindsTheLineLost) {
  const Bytes frame(16, 0x5A);
  const auto send = [&frame](SerialLine& line) {
    return line.Write(frame.data(), static_cast<int32_t>(frame.size())) ==
           static_cast<int32_t>(frame.size());
  };
  const struct {
    const char* what;
    std::function<void(SerialLine&)> call;
  } calls[] = {
      {"WaitForInput",
       [](SerialLine& line) { EXPECT_EQ(line.WaitForInput(), SerialWait::kHungUp); }},
      {"QueuedInput", [](SerialLine& line) { EXPECT_EQ(line.QueuedInput(), 0); }},
      {"Write",
       [&](SerialLine& line) {
         EXPECT_FALSE(send(line));
         EXPECT_FALSE(line.AwaitSent());  // the frame never went
       }},
      {"AwaitSent after the printer took the frame",
       [](SerialLine& line) { EXPECT_TRUE(line.AwaitSent()); }},
  };
  SerialLine line;
  for (const auto& c : calls) {
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    ASSERT_EQ(line.Open(pty.SlavePath(), kRate), SerialOpenResult::kOk) << c.what;
    ASSERT_TRUE(send(line)) << c.what;
    EXPECT_EQ(pty.ReadExactly(frame.size(), kDeadline), frame) << c.what;
    EXPECT_FALSE(line.Lost()) << c.what;
    pty.CloseMaster();
    c.call(line);
    EXPECT_TRUE(line.Lost()) << c.what;
  }
}

TEST(PortNameTest, ConfigFolderFollowsXdgThenHome) {
  ScopedConfigHome config;
  ::setenv("HOME", "/home/someone", 1);
  const struct {
    const char* xdg;  // nullptr: unset
    const char* expected;
  } cases[] = {
      {"/xdg/place", "/xdg/place/velmar"},
      {"", "/home/someone/.config/velmar"},
      {nullptr, "/home/someone/.config/velmar"},
  };
  for (const auto& c : cases) {
    if (c.xdg != nullptr) {
      ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(ConfigFolder(), c.expected) << (c.xdg != nullptr ? c.xdg : "(unset)");
  }
}

TEST(PortNameTest, ResolvesComNamesThroughLinksOrToTheMatchingTtySAndBareNamesUnderDev) {
  ScopedConfigHome config;
  config.Link("COM3", "/dev/null");
  config.Link("COM8", config.Root() + "/dangling");
  const struct {
    std::string name;
    std::string expected;
  } cases[] = {
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"./COM3", "./COM3"},
      {"COM3", config.Ports() + "/COM3"},
      {"COM8", config.Ports() + "/COM8"},
      {"COM1", "/dev/ttyS0"},
      {"COM4", "/dev/ttyS3"},
      {"COM10", "/dev/ttyS9"},
      {"ttyUSB0", "/dev/ttyUSB0"},  // a bare name is a device under /dev
      {"COM0", "/dev/COM0"},
      {"COM", "/dev/COM"},
      {"COM-1", "/dev/COM-1"},
      {"COM3x", "/dev/COM3x"},
      {"COM99999999999999999999", "/dev/COM99999999999999999999"},
      {"com3", "/dev/com3"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolvePortName(c.name), c.expected) << '"' << c.name << '"';
  }
}

TEST(PortNameTest, OpenFollowsAComLinkAndItsLockCoversTheDevice) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  ScopedConfigHome config;
  config.Link("COM7", pty.SlavePath());
  SerialLine line;
  ASSERT_EQ(line.Open("COM7", kRate), SerialOpenResult::kOk);
  ASSERT_TRUE(pty.WriteAll({0x33}));
  EXPECT_EQ(ReadFromLine(line, 1), Bytes{0x33});
  SerialLine by_path;
  EXPECT_EQ(by_path.Open(pty.SlavePath(), kRate), SerialOpenResult::kBusy);
}

// Two names of one device are one port, whatever their spelling: a path and a COM link to it.
TEST(PortNameTest, PortIdentityIsTheDeviceANameLeadsTo) {
  PtyPair pty;
  ASSERT_TRUE(pty.IsOpen());
  ScopedConfigHome config;
  config.Link("COM7", pty.SlavePath());
  config.Link("COM8", config.Root() + "/nothing-here");
  EXPECT_EQ(PortIdentity("COM7"), PortIdentity(pty.SlavePath()));
  EXPECT_EQ(PortIdentity("null"), PortIdentity("/dev/null"));
  EXPECT_NE(PortIdentity(pty.SlavePath()), PortIdentity("/dev/null"));
  EXPECT_EQ(PortIdentity(config.Root()), PortIdentity(config.Root() + "/."));  // no device
  EXPECT_NE(PortIdentity(config.Root()), PortIdentity(config.Ports()));
  EXPECT_EQ(PortIdentity("COM8"), config.Ports() + "/COM8");
  EXPECT_EQ(PortIdentity("ttyVELMAR0"), "/dev/ttyVELMAR0");
}

TEST(PortNameTest, ListPortsNamesDevicesAndComLinksOnceEachInOrder) {
  ScopedConfigHome config;
  config.Link("COM3", "/dev/null");
  config.Link("COM12", "/dev/null");
  config.Link("COM9", config.Root() + "/dangling");
  std::ofstream(config.Ports() + "/README") << "not a port";
  const std::vector<std::string> ports = ListPorts();

  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), NaturalLess));
  EXPECT_EQ(std::adjacent_find(ports.begin(), ports.end()), ports.end());
  for (const char* name : {"COM3", "COM12", "COM9"}) {
    EXPECT_NE(std::find(ports.begin(), ports.end(), name), ports.end()) << name;
  }
  EXPECT_EQ(std::find(ports.begin(), ports.end(), "README"), ports.end());
  for (const std::string& port : ports) {
    if (port.rfind("COM", 0) == 0) {
      continue;
    }
    const bool known = port.rfind("/dev/ttyS", 0) == 0 || port.rfind("/dev/ttyUSB", 0) == 0 ||
                       port.rfind("/dev/ttyACM", 0) == 0 ||
                       port.rfind("/dev/serial/by-id/", 0) == 0;
    EXPECT_TRUE(known) << port;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(port))) << port;
  }
  for (const PortDetails& port : ListPortDetails()) {
    EXPECT_NE(std::find(ports.begin(), ports.end(), port.name), ports.end()) << port.name;
  }
}

}  // namespace
}  // namespace velmar::platform
