// The loader against the emulated printer over TCP on the loopback, as a user runs them.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/integration/fault_cases.h"
#include "tests/integration/sample_image.h"
#include "tests/integration/test_folder.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kStartDeadline = 20s;
constexpr auto kLoadDeadline = 60s;
constexpr const char* kLoopback = "127.0.0.1";
// In the loader's --trace: the wake-up gone out (so the connection is made) and the first "w".
constexpr const char* kWakeUpSent = "> 1B 42 4F 4F 54";
constexpr const char* kFirstBlockWritten = "> 1E 77";
constexpr const char* kProgramDone = "Программа успешно загружена в принтер.";
constexpr const char* kFontDone = "Шрифт успешно загружен в принтер.";
constexpr const char* kCannotConnect = "Не удалось открыть порт.";

// A descriptor closed on every path.
class Socket {
 public:
  explicit Socket(int fd) : m_fd(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int Fd() const { return m_fd; }
  void Close() {
    if (m_fd >= 0) {
      ::close(m_fd);
      m_fd = -1;
    }
  }

 private:
  int m_fd;
};

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

class TcpLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = FreshTestFolder("velmar-tcp-");
    m_image = (m_dir / "image.hex").string();
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // Starts the emulator on a free port of the loopback and reads the port from its first line.
  void StartPrinter(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {VELMAR_PRINTER, "--tcp", ":0", "--image", m_image};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(m_printer.Start(argv));
    ASSERT_TRUE(m_printer.WaitForOutput("\n", kStartDeadline)) << m_printer.Err();
    const std::string first = m_printer.Out().substr(0, m_printer.Out().find('\n'));
    ASSERT_EQ(first.rfind(std::string(kLoopback) + ":", 0), 0u) << first;
    m_port = first.substr(first.rfind(':') + 1);
  }

  std::vector<std::string> LoaderArgv(const std::string& file, bool trace = false) const {
    std::vector<std::string> argv = {VELMAR_LOAD, "--host", kLoopback, "--tcp-port", m_port};
    if (trace) {
      argv.push_back("--trace");
    }
    argv.push_back(file);
    return argv;
  }

  void RunLoader(ChildProcess& loader, const std::string& file) {
    ASSERT_TRUE(loader.Start(LoaderArgv(file)));
    EXPECT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  }

  void ExpectLoaded(const ChildProcess& loader, const char* done) {
    EXPECT_EQ(loader.ExitStatus(), 0) << loader.Out() << loader.Err();
    EXPECT_NE(loader.Out().find(done), std::string::npos) << loader.Out();
  }

  void ExpectImage(const Image& expected) {
    Image image;
    ASSERT_TRUE(ReadIntelHex(m_image, &image));
    EXPECT_EQ(image, expected);
  }

  // A connection of the test's own, which sends nothing.
  Socket Connect() {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(static_cast<uint16_t>(std::stoi(m_port)));
    EXPECT_EQ(::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
    return socket;
  }

  void StopPrinter() {
    m_printer.Signal(SIGTERM);
    EXPECT_TRUE(m_printer.Wait(kLoadDeadline));
  }

  static std::string Sample(const char* name) { return std::string(VELMAR_SAMPLES) + "/" + name; }

  std::filesystem::path m_dir;
  std::string m_image;
  std::string m_port;
  ChildProcess m_printer;
};

struct SampleCase {
  const char* name;
  const char* file;
  std::vector<std::string> printer_options;
  bool font;
  uint32_t start;  // where the printer puts a font
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const SampleCase& c, std::ostream* os) {
  *os << c.name;
}

class SampleLoadTest : public TcpLoadTest, public ::testing::WithParamInterface<SampleCase> {};

TEST_P(SampleLoadTest, ArrivesByteForByte) {
  const SampleCase& c = GetParam();
  std::vector<std::string> options = {"--loads", "1"};
  options.insert(options.end(), c.printer_options.begin(), c.printer_options.end());
  StartPrinter(options);
  ChildProcess loader;
  RunLoader(loader, Sample(c.file));
  ExpectLoaded(loader, c.font ? kFontDone : kProgramDone);
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  const std::vector<uint8_t> file = ReadBytes(Sample(c.file));
  ExpectImage(c.font ? FontImage(file, c.start) : ProgramImage(file));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleLoadTest,
    ::testing::Values(
        SampleCase{"Program", "sample.bin", {}, false, 0},
        // One byte a segment: the loader must put every reply together again.
        SampleCase{"DrippedProgram", "sample.bin", {"--drip"}, false, 0},
        SampleCase{"Font", "sample.fnt", {"--model", "FNT1", "--start", "0x11234"}, true, 0x11234},
        SampleCase{"DrippedFont",
                   "sample.fnt",
                   {"--model", "FNT1", "--start", "0x11234", "--drip"},
                   true,
                   0x11234}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TcpLoadTest, AToolThatConnectsMeanwhileIsServedAfter) {
  StartPrinter({"--loads", "2"});
  // The emulator is busy with the test's connection, which sends nothing.
  Socket first = Connect();
  ChildProcess queued;
  ASSERT_TRUE(queued.Start(LoaderArgv(Sample("sample.bin"), true)));
  // Its wake-up waits unread behind the first connection until that one closes.
  ASSERT_TRUE(queued.WaitForOutput(kWakeUpSent, kStartDeadline, true)) << queued.Err();
  first.Close();
  EXPECT_TRUE(queued.Wait(kLoadDeadline)) << "the loader hung";
  ExpectLoaded(queued, kProgramDone);

  ChildProcess next;
  RunLoader(next, Sample("sample.bin"));
  ExpectLoaded(next, kProgramDone);
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  // A connection without a wake-up is no load: both loads counted were complete.
  EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  EXPECT_NE(m_printer.Out().find("load 2: "), std::string::npos) << m_printer.Out();
  ExpectImage(ProgramImage(ReadBytes(Sample("sample.bin"))));
}

TEST_F(TcpLoadTest, APrinterThatHangsUpShowsItsBoxThenEndsTheLoadAtOnce) {
  StartPrinter({"--fault", "hangup", "--fault-block", "3"});
  ChildProcess loader;
  RunLoader(loader, Sample("sample.bin"));
  const std::string& err = loader.Err();
  EXPECT_LT(err.find("velmar-load: ERROR #4"), err.find(kPortLostText)) << err;
  EXPECT_EQ(loader.ExitStatus(), 21) << err;
  EXPECT_LT(loader.ElapsedSeconds(), 1.5);  // not by the 2 s reply time-out
  EXPECT_LT(loader.CpuSeconds(), 1.5);
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 1) << m_printer.Out() << m_printer.Err();
}

TEST_F(TcpLoadTest, AToolGoneMidLoadLeavesThePrinterServing) {
  // Paced, so that the load is still going when the loader is killed.
  StartPrinter({"--loads", "2", "--baud", "38400"});
  ChildProcess gone;
  ASSERT_TRUE(gone.Start(LoaderArgv(Sample("sample.bin"), true)));
  ASSERT_TRUE(gone.WaitForOutput(kFirstBlockWritten, kStartDeadline, true)) << gone.Err();
  gone.Signal(SIGKILL);
  EXPECT_TRUE(gone.Wait(kLoadDeadline));
  // Each report line comes in one write, so the whole of it is there with its start.
  ASSERT_TRUE(m_printer.WaitForOutput("load 1: ", kLoadDeadline)) << m_printer.Err();
  EXPECT_NE(m_printer.Out().find(", incomplete: "), std::string::npos) << m_printer.Out();

  ChildProcess next;
  RunLoader(next, Sample("sample.bin"));
  ExpectLoaded(next, kProgramDone);
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_NE(m_printer.Out().find("load 2: TEST program, 48 blocks"), std::string::npos)
      << m_printer.Out();
  EXPECT_EQ(m_printer.Err(), "");
  EXPECT_EQ(m_printer.ExitStatus(), 1) << "the first load was incomplete";
  ExpectImage(ProgramImage(ReadBytes(Sample("sample.bin"))));
}

TEST_F(TcpLoadTest, NothingListeningIsAPortThatCannotBeOpened) {
  // A port just given back by the system has nobody behind it.
  std::string port;
  {
    Socket probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = LoopbackAddress(0);
    ASSERT_EQ(::bind(probe.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(probe.Fd(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    port = std::to_string(ntohs(address.sin_port));
  }
  ChildProcess loader;
  ASSERT_TRUE(
      loader.Start({VELMAR_LOAD, "--host", kLoopback, "--tcp-port", port, Sample("sample.bin")}));
  ASSERT_TRUE(loader.Wait(kLoadDeadline));
  EXPECT_EQ(loader.ExitStatus(), 5) << loader.Err();
  EXPECT_NE(loader.Err().find(kCannotConnect), std::string::npos) << loader.Err();
}

// A printer in its normal firmware, or a peer that is no printer, floods the connection with
// bytes that are never a reply: the load must still end by the time-out.
TEST_F(TcpLoadTest, APeerThatNeverStopsSendingEndsTheLoadByTheTimeout) {
  Socket listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = LoopbackAddress(0);
  ASSERT_EQ(::bind(listener.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener.Fd(), 1), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(::getsockname(listener.Fd(), reinterpret_cast<sockaddr*>(&address), &length), 0);
  m_port = std::to_string(ntohs(address.sin_port));

  std::atomic<bool> stop{false};
  std::thread babbler([&] {
    pollfd waiting{listener.Fd(), POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(kLoadDeadline / 1ms)) != 1) {
      return;
    }
    Socket peer(::accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
    const std::vector<uint8_t> noise(4096, 0x55);
    while (!stop.load()) {
      pollfd room{peer.Fd(), POLLOUT, 0};
      if (::poll(&room, 1, 100) < 0 ||
          ((room.revents & POLLOUT) != 0 &&
           ::send(peer.Fd(), noise.data(), noise.size(), MSG_NOSIGNAL) < 0)) {
        return;  // the loader has gone
      }
    }
  });
  ChildProcess loader;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(loader.Start(LoaderArgv(Sample("sample.bin"))));
  const bool ended = loader.Wait(kLoadDeadline);
  const auto took = std::chrono::steady_clock::now() - start;
  stop.store(true);
  babbler.join();
  ASSERT_TRUE(ended) << "the loader hung";
  EXPECT_EQ(loader.ExitStatus(), 10) << loader.Err();
  EXPECT_NE(loader.Err().find(kTimeoutText), std::string::npos) << loader.Err();
  EXPECT_LT(took, 6s);
}

class TcpFaultTest : public TcpLoadTest, public ::testing::WithParamInterface<FaultCase> {};

// The statuses are those of the same faults over the pseudo-terminal.
TEST_P(TcpFaultTest, EndsWithItsStatusAndText) {
  const FaultCase& c = GetParam();
  StartPrinter(c.printer_options);
  ChildProcess loader;
  RunLoader(loader, Sample("sample.bin"));
  EXPECT_EQ(loader.ExitStatus(), c.exit_status) << loader.Out() << loader.Err();
  EXPECT_NE(loader.Err().find(c.text), std::string::npos) << loader.Err();
  EXPECT_LT(loader.CpuSeconds(), 1.5);
  StopPrinter();
}

INSTANTIATE_TEST_SUITE_P(Faults, TcpFaultTest, ::testing::ValuesIn(PrinterFaults()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmar::test
