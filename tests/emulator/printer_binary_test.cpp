// velmar-printer on a real pseudo-terminal: a test plays the tool on the linked slave.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/unique_fd.h"
#include "tests/emulator/tool_script.h"
#include "tests/integration/child_process.h"

namespace velmar::emulator::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = 20s;

// The tool's end of the line.
class ToolLine {
 public:
  explicit ToolLine(const std::string& path)
      : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    termios settings{};
    if (m_fd >= 0 && ::tcgetattr(m_fd, &settings) == 0) {
      ::cfmakeraw(&settings);
      ::tcsetattr(m_fd, TCSANOW, &settings);
    }
  }
  ~ToolLine() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  ToolLine(const ToolLine&) = delete;
  ToolLine& operator=(const ToolLine&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  bool Write(const Bytes& bytes) {
    return ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Collects `count` bytes, or what came before the deadline or a hang-up.
  Bytes Read(size_t count) {
    Bytes got;
    const Clock::time_point end = Clock::now() + kDeadline;
    while (got.size() < count && Clock::now() < end) {
      pollfd watched{m_fd, POLLIN, 0};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (::poll(&watched, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0) {
        continue;
      }
      if ((watched.revents & POLLIN) == 0) {
        m_hung_up = (watched.revents & POLLHUP) != 0;
        break;
      }
      uint8_t buffer[512];
      const ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) {
        m_hung_up = n == 0 || errno == EIO;
        break;
      }
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  bool HungUp() const { return m_hung_up; }

 private:
  int m_fd;
  bool m_hung_up = false;
};

class EmulatorBinaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-printer-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    m_link = (m_dir / "printer").string();
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  void Start(std::vector<std::string> options) {
    std::vector<std::string> argv = {VELMAR_PRINTER, "--link", m_link};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(m_printer.Start(argv));
    ASSERT_TRUE(m_printer.WaitForOutput(m_link + "\n", kDeadline)) << m_printer.Err();
  }

  void PlayLoad(const Script& script) {
    ToolLine line(m_link);
    ASSERT_TRUE(line.IsOpen());
    for (const Step& step : script) {
      ASSERT_TRUE(line.Write(step.tool));
      EXPECT_EQ(line.Read(step.reply.size()), step.reply);
    }
  }

  std::string Report() const { return m_printer.Out() + m_printer.Err(); }

  std::filesystem::path m_dir;
  std::string m_link;
  velmar::test::ChildProcess m_printer;
};

TEST_F(EmulatorBinaryTest, ServesLoadsOverALineTheToolReopens) {
  const std::string image = (m_dir / "image.hex").string();
  Start({"--loads", "2", "--image", image, "--drip"});
  PlayLoad(TwoBlockProgram());
  PlayLoad(TwoBlockProgram());  // a second opening of the line, as a second tool run makes
  ASSERT_TRUE(m_printer.Wait(kDeadline)) << Report();
  EXPECT_EQ(m_printer.ExitStatus(), 0) << Report();
  EXPECT_NE(m_printer.Out().find("load 1: TEST program, 2 blocks, 6 bytes, 0x002000-0x002005"),
            std::string::npos)
      << Report();
  EXPECT_NE(m_printer.Out().find("load 2: "), std::string::npos) << Report();
  std::ifstream file(image);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, ":06200000010203040506C5\n:00000001FF\n");
  EXPECT_FALSE(std::filesystem::is_symlink(m_link)) << "the link outlived the run";
}

TEST_F(EmulatorBinaryTest, PacedLoadReportsTheLineTime) {
  Start({"--loads", "1", "--baud", "115200"});
  PlayLoad(TwoBlockProgram());
  ASSERT_TRUE(m_printer.Wait(kDeadline)) << Report();
  EXPECT_EQ(m_printer.ExitStatus(), 0) << Report();
  EXPECT_NE(m_printer.Out().find("at 115200 baud, ratio "), std::string::npos) << Report();
}

TEST_F(EmulatorBinaryTest, HangUpClosesTheLineAndEndsTheRun) {
  Start({"--fault", "hangup"});
  ToolLine line(m_link);
  ASSERT_TRUE(line.IsOpen());
  const Script script = TwoBlockProgram();
  for (size_t i = 0; i < kRead1; ++i) {
    ASSERT_TRUE(line.Write(script[i].tool));
    EXPECT_EQ(line.Read(script[i].reply.size()), script[i].reply);
  }
  ASSERT_TRUE(line.Write(script[kRead1].tool));
  EXPECT_EQ(line.Read(1), Bytes{});
  EXPECT_TRUE(line.HungUp());
  ASSERT_TRUE(m_printer.Wait(kDeadline)) << Report();
  EXPECT_EQ(m_printer.ExitStatus(), 1);
  EXPECT_NE(m_printer.Out().find("incomplete: hung up at block 1"), std::string::npos) << Report();
}

TEST_F(EmulatorBinaryTest, StopsOnSignalAndReportsTheUnfinishedLoad) {
  Start({});
  {
    ToolLine line(m_link);
    ASSERT_TRUE(line.IsOpen());
    ASSERT_TRUE(line.Write({0x1B, 0x42, 0x4F, 0x4F, 0x54}));
    EXPECT_EQ(line.Read(1), (Bytes{0xA0}));
  }
  m_printer.Signal(SIGTERM);
  ASSERT_TRUE(m_printer.Wait(kDeadline)) << Report();
  EXPECT_EQ(m_printer.ExitStatus(), 1);
  EXPECT_NE(m_printer.Out().find("ended while waiting for the acknowledge byte"), std::string::npos)
      << Report();
}

// --line-fd: the test owns the master, as the kernel harness does; the printer serves on it,
// drops what arrives while the tool's side is at another rate than --tool-rate, and marks each
// block.
TEST_F(EmulatorBinaryTest, ServesAnInheritedLineAtTheToolsRateAndLeavesItUp) {
  const platform::UniqueFd owned(::posix_openpt(O_RDWR | O_NOCTTY));
  const int master = owned.Get();
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  const auto set_rate = [master](speed_t rate) {
    termios settings{};
    ::tcgetattr(master, &settings);  // on a master: the slave's settings
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, rate);
    ::tcsetattr(master, TCSANOW, &settings);
  };
  set_rate(B19200);
  ASSERT_TRUE(m_printer.Start({VELMAR_PRINTER, "--line-fd", std::to_string(master), "--tool-rate",
                               "9600", "--marks", "--loads", "1"}));
  ::fcntl(master, F_SETFD, FD_CLOEXEC);  // this child alone inherits it
  ASSERT_TRUE(m_printer.WaitForOutput(slave + "\n", kDeadline)) << m_printer.Err();
  {
    ToolLine line(slave);
    ASSERT_TRUE(line.Write(TwoBlockProgram()[0].tool));
    ASSERT_TRUE(m_printer.WaitForOutput("at 19200 baud, not 9600", kDeadline, true));
    set_rate(B9600);
    for (const Step& step : TwoBlockProgram()) {
      ASSERT_TRUE(line.Write(step.tool));
      EXPECT_EQ(line.Read(step.reply.size()), step.reply);
    }
  }
  ASSERT_TRUE(m_printer.Wait(kDeadline)) << Report();
  EXPECT_EQ(m_printer.ExitStatus(), 1) << Report();  // the dropped bytes count against it
  EXPECT_NE(m_printer.Out().find("block 1 of load 1\nblock 2 of load 1\nload 1: "),
            std::string::npos)
      << Report();
  EXPECT_NE(m_printer.Out().find(", complete"), std::string::npos) << Report();
}

// A usage error: what was wrong and where the usage is, in two lines, status 2.
TEST_F(EmulatorBinaryTest, AnswersItsCommandLineBriefly) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {{"--link", m_link, "--wake", "0x100"}, 2, "", "--wake: not a number from 0 to 255: 0x100\n"},
      {{"--version"}, 0, "velmar-printer (velmar) " VELMAR_VERSION "\n", ""},
  };
  for (const auto& c : cases) {
    velmar::test::ChildProcess printer;
    std::vector<std::string> argv = {VELMAR_PRINTER};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(printer.Start(argv));
    ASSERT_TRUE(printer.Wait(kDeadline));
    EXPECT_EQ(printer.ExitStatus(), c.status) << printer.Err();
    EXPECT_EQ(printer.Out(), c.out);
    EXPECT_EQ(printer.Err(), c.status == 0 ? std::string()
                                           : std::string("velmar-printer: ") + c.err +
                                                 "Try 'velmar-printer --help'.\n");
  }
}

}  // namespace
}  // namespace velmar::emulator::test
