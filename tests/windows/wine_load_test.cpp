// velmar-load.exe under Wine against the Linux emulated printer: over a pseudo-terminal that
// Wine's COM port names, over TCP on the loopback, and as a station on the COM ports that appear
// while it runs. tests/windows/run.sh runs it with the Windows build's loader and Wine prefix in
// VELMAR_WINDOWS_LOAD and VELMAR_WINEPREFIX.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/integration/fault_cases.h"
#include "tests/integration/sample_image.h"
#include "tests/ser2net/ser2net_server.h"
#include "tests/windows/wine_paths.h"
#include "texts/string_table.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kStartDeadline = 20s;
// Wine starts each program in a good part of a second, more on a loaded machine.
constexpr auto kLoadDeadline = 120s;
constexpr const char* kLoopback = "127.0.0.1";
// Where Windows lists its serial ports, and the only list the loader takes them from.
constexpr const char* kSerialComm = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Windows programs end their lines with "\r\n"; the texts under test use "\n".
std::string Lines(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  return text;
}

// Whether a byte came from the loader on the line whose master is `master`. The master reports
// a hang-up without waiting while the loader has its end closed.
bool Woken(int master, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (char byte = 0; std::chrono::steady_clock::now() < end;) {
    pollfd line{master, POLLIN, 0};
    if (::poll(&line, 1, 100) == 1 && (line.revents & POLLIN) != 0) {
      return ::read(master, &byte, 1) == 1;
    }
    if ((line.revents & POLLHUP) != 0) {
      std::this_thread::sleep_for(50ms);
    }
  }
  return false;
}

class WineLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_loader = Environment("VELMAR_WINDOWS_LOAD");
    m_prefix = Environment("VELMAR_WINEPREFIX");
    if (m_loader.empty() || m_prefix.empty()) {
      GTEST_SKIP() << "run by tests/windows/run.sh, which names the Windows loader and prefix";
    }
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) {
      c = c == '/' ? '-' : c;
    }
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-wine-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    m_link = (m_dir / "printer").string();
    m_image = (m_dir / "image.hex").string();
  }
  void TearDown() override {
    for (const std::string& port : m_ports) {
      std::filesystem::remove(port);
    }
    if (!m_dir.empty()) {
      std::filesystem::remove_all(m_dir);
    }
  }

  // Starts the emulator on a pseudo-terminal and names it COM`number` in the Wine prefix.
  void StartPrinter(int number, std::vector<std::string> options) {
    std::vector<std::string> argv = {VELMAR_PRINTER, "--link", m_link, "--image", m_image};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(m_printer.Start(argv));
    ASSERT_TRUE(m_printer.WaitForOutput(m_link, kStartDeadline)) << m_printer.Err();
    NamePort(number, m_link);
  }

  // Wine opens COMn through the link dosdevices/comn, wherever it leads.
  void NamePort(int number, const std::string& target) {
    const auto port =
        std::filesystem::path(m_prefix) / "dosdevices" / ("com" + std::to_string(number));
    std::filesystem::remove(port);
    std::filesystem::create_symlink(target, port);
    m_ports.push_back(port.string());
  }

  // Starts the emulator on a free TCP port of the loopback; returns the port.
  std::string StartTcpPrinter(std::vector<std::string> options) {
    std::vector<std::string> argv = {VELMAR_PRINTER, "--tcp", ":0", "--image", m_image};
    argv.insert(argv.end(), options.begin(), options.end());
    EXPECT_TRUE(m_printer.Start(argv));
    EXPECT_TRUE(m_printer.WaitForOutput("\n", kStartDeadline)) << m_printer.Err();
    const std::string first = m_printer.Out().substr(0, m_printer.Out().find('\n'));
    return first.substr(first.rfind(':') + 1);
  }

  std::vector<std::string> LoaderArgv(std::vector<std::string> arguments) const {
    std::vector<std::string> argv = {VELMAR_WINE, m_prefix, m_loader};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
  }

  ChildProcess& RunLoader(ChildProcess& loader, std::vector<std::string> arguments) {
    EXPECT_TRUE(loader.Start(LoaderArgv(std::move(arguments))));
    EXPECT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
    return loader;
  }

  void ExpectImage(const Image& expected) {
    ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
    EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
    Image image;
    ASSERT_TRUE(ReadIntelHex(m_image, &image));
    EXPECT_EQ(image, expected);
  }

  void StopPrinter() {
    m_printer.Signal(SIGTERM);
    EXPECT_TRUE(m_printer.Wait(kLoadDeadline));
  }

  // Wine's reg.exe, such as {"add", KEY, "/v", NAME, "/d", DATA, "/f"}; its exit status.
  int Reg(std::vector<std::string> arguments) const {
    std::vector<std::string> argv = {VELMAR_WINE, m_prefix, "reg"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess reg;
    EXPECT_TRUE(reg.Start(argv));
    EXPECT_TRUE(reg.Wait(kLoadDeadline)) << "reg hung";
    return reg.ExitStatus();
  }

  static std::string Sample(const char* name) { return std::string(VELMAR_SAMPLES) + "/" + name; }
  static std::string WindowsSample(const char* name) { return WindowsPath(Sample(name)); }

  std::string m_loader;
  std::string m_prefix;
  std::filesystem::path m_dir;
  std::string m_link;
  std::string m_image;
  std::vector<std::string> m_ports;
  ChildProcess m_printer;
};

struct SerialCase {
  const char* name;
  int com_number;  // COM10 and above are opened in the device namespace
  std::vector<std::string> printer_options;
  const char* file;
  const char* status_text;
  const char* done_text;
};

void PrintTo(const SerialCase& c, std::ostream* os) {
  *os << c.name;
}

class WineSerialLoadTest : public WineLoadTest, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(WineSerialLoadTest, ArrivesByteForByte) {
  const SerialCase& c = GetParam();
  StartPrinter(c.com_number, c.printer_options);
  ChildProcess loader;
  RunLoader(loader, {"-p", "COM" + std::to_string(c.com_number), WindowsSample(c.file)});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Out() << loader.Err();
  EXPECT_NE(loader.Out().find(c.status_text), std::string::npos) << loader.Out();
  EXPECT_NE(loader.Out().find(c.done_text), std::string::npos) << loader.Out();
  // Standard output is a pipe, no console: no bar.
  EXPECT_EQ(loader.Out().find("\033[K"), std::string::npos) << loader.Out();
  const std::vector<uint8_t> file = ReadBytes(Sample(c.file));
  ExpectImage(std::string(c.file).ends_with(".bin") ? ProgramImage(file)
                                                    : FontImage(file, 0x11234));
}

INSTANTIATE_TEST_SUITE_P(Loads, WineSerialLoadTest,
                         ::testing::Values(SerialCase{"ProgramOnCom1",
                                                      1,
                                                      {"--loads", "1"},
                                                      "sample.bin",
                                                      "Загрузка программы в TEST...",
                                                      "Программа успешно загружена в принтер."},
                                           SerialCase{"FontOnCom12",
                                                      12,
                                                      {"--loads", "1", "--model", "FNT1", "--start",
                                                       "0x11234", "--drip"},
                                                      "sample.fnt",
                                                      "Загрузка шрифта в FNT1...",
                                                      "Шрифт успешно загружен в принтер."}),
                         [](const auto& info) { return std::string(info.param.name); });

class WineFaultTest : public WineLoadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(WineFaultTest, EndsWithItsStatusAndText) {
  const FaultCase& c = GetParam();
  StartPrinter(3, c.printer_options);
  ChildProcess loader;
  RunLoader(loader, {"-p", "COM3", WindowsSample("sample.bin")});
  EXPECT_EQ(loader.ExitStatus(), c.exit_status) << loader.Out() << loader.Err();
  EXPECT_NE(Lines(loader.Out() + loader.Err()).find(c.text), std::string::npos)
      << loader.Out() << loader.Err();
  StopPrinter();
}

// A wrong model and a bad CRC end at a reply; a hang-up ends by the time-out after the line
// went away under Wine.
INSTANTIATE_TEST_SUITE_P(Faults, WineFaultTest, ::testing::ValuesIn([] {
                           std::vector<FaultCase> chosen;
                           for (const FaultCase& c : PrinterFaults()) {
                             const std::string name = c.name;
                             if (name == "OtherModel" || name == "BadCrc" || name == "HangUp") {
                               chosen.push_back(c);
                             }
                           }
                           return chosen;
                         }()),
                         [](const auto& info) { return std::string(info.param.name); });

// On a console (Wine makes one of a terminal) the texts go out as wide characters and arrive as
// UTF-8 whatever the console's code page, and the bar is drawn. Wine's console redraws what it
// is given, spaces as cursor moves, so the words are looked for one by one.
TEST_F(WineLoadTest, OnAConsoleTheTextsShowAndTheBarIsDrawn) {
  StartPrinter(5, {"--loads", "1"});
  ChildProcess loader;
  ASSERT_TRUE(loader.Start(LoaderArgv({"-p", "COM5", WindowsSample("sample.bin")}),
                           ChildProcess::Stdout::kTerminal));
  ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Out() << loader.Err();
  for (const char* word : {"Загрузка", "программы", "TEST...", "Программа", "успешно", "загружена",
                           "принтер.", "100%"}) {
    EXPECT_NE(loader.Out().find(word), std::string::npos) << word << "\n" << loader.Out();
  }
  ExpectImage(ProgramImage(ReadBytes(Sample("sample.bin"))));
}

// Wine hands a SIGINT to a console program as Ctrl+C: the loader closes its port before it
// ends, with the status of an interrupted program, and the next loader opens the port at once.
TEST_F(WineLoadTest, CtrlCClosesThePortFirst) {
  StartPrinter(7, {"--baud", "9600"});  // slow enough to be mid-load for seconds
  const std::vector<std::string> load =
      LoaderArgv({"--trace", "-p", "COM7", "-b", "9600", WindowsSample("sample.bin")});
  ChildProcess loader;
  ASSERT_TRUE(loader.Start(load));
  ASSERT_TRUE(loader.WaitForOutput("> 1E 77", kLoadDeadline, true)) << loader.Err();
  loader.Signal(SIGINT);
  ASSERT_TRUE(loader.Wait(kLoadDeadline));
  EXPECT_EQ(loader.ExitStatus(), 130) << loader.Err();
  EXPECT_NE(loader.Err().find("the port is closed"), std::string::npos) << loader.Err();

  ChildProcess next;
  ASSERT_TRUE(next.Start(load));
  ASSERT_TRUE(next.WaitForOutput("> 1B", kLoadDeadline, true)) << next.Err();
  next.Signal(SIGINT);
  ASSERT_TRUE(next.Wait(kLoadDeadline));
  EXPECT_NE(next.ExitStatus(), 5) << next.Err();  // the port opened
  StopPrinter();
}

// Printers often run at 9600 with long model names: the identification comes in a byte at a
// time, and the whole load at the line's pace.
TEST_F(WineLoadTest, ALongModelNameAt9600) {
  const std::string model = "PRINTER-CONTROLLER-REVISION-C-BOARD-27";
  ChildProcess make;
  ASSERT_TRUE(make.Start({VELMAR_MAKE_SAMPLES, m_dir.string(), "1024", "256", model}));
  ASSERT_TRUE(make.Wait(kStartDeadline));
  ASSERT_EQ(make.ExitStatus(), 0) << make.Err();
  StartPrinter(8, {"--loads", "1", "--baud", "9600", "--model", model});
  ChildProcess loader;
  RunLoader(loader, {"-p", "COM8", "-b", "9600", WindowsPath((m_dir / "sample.bin").string())});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Out() << loader.Err();
  EXPECT_NE(Lines(loader.Out()).find("Загрузка программы в " + model + "..."), std::string::npos)
      << loader.Out();
  ExpectImage(ProgramImage(ReadBytes((m_dir / "sample.bin").string())));
}

// Straight to the printer, and through Debian's ser2net with the loader setting its line:
// ser2net starts the line at 9600, and the printer takes nothing but the 115200 asked for.
TEST_F(WineLoadTest, ProgramOverTcp) {
  for (const bool server : {false, true}) {
    Ser2netServer ser2net;
    std::string port;
    std::vector<std::string> target;
    if (!server) {
      port = StartTcpPrinter({"--loads", "1"});
      target = {"--host", kLoopback, "--tcp-port", port};
    } else if (!Ser2netServer::Program().empty()) {
      StartPrinter(21, {"--loads", "1", "--baud", "115200", "--tool-rate", "115200"});
      ASSERT_TRUE(
          ser2net.Start(m_dir, {{Accepter::kRfc2217, m_link, 9600, {}, false}}, kStartDeadline))
          << ser2net.Error();
      target = {"-p", "rfc2217://127.0.0.1:" + std::to_string(ser2net.Port(0)), "-b", "115200"};
    } else {
      continue;  // without ser2net, only the direct connection
    }
    target.push_back(WindowsSample("sample.bin"));
    ChildProcess loader;
    RunLoader(loader, target);
    EXPECT_EQ(loader.ExitStatus(), 0) << loader.Out() << loader.Err();
    EXPECT_NE(loader.Out().find("Программа успешно загружена в принтер."), std::string::npos)
        << loader.Out();
    ExpectImage(ProgramImage(ReadBytes(Sample("sample.bin"))));
  }
}

TEST_F(WineLoadTest, AHeldPortIsRefused) {
  // At 2400 baud the first load holds the port for a minute, however slowly Wine starts the
  // second; Ctrl+C then ends it.
  StartPrinter(4, {"--baud", "2400"});
  ChildProcess first;
  ASSERT_TRUE(first.Start(
      LoaderArgv({"--trace", "-p", "COM4", "-b", "2400", WindowsSample("sample.bin")})));
  ASSERT_TRUE(first.WaitForOutput("> 1E 77", kLoadDeadline, true)) << first.Err();
  ChildProcess second;
  RunLoader(second, {"-p", "COM4", WindowsSample("sample.bin")});
  EXPECT_EQ(second.ExitStatus(), 5) << second.Out() << second.Err();
  first.Signal(SIGINT);
  ASSERT_TRUE(first.Wait(kLoadDeadline));
  EXPECT_EQ(first.ExitStatus(), 130) << first.Err();
  StopPrinter();
}

TEST_F(WineLoadTest, NoSuchPortOrHost) {
  struct Case {
    std::vector<std::string> arguments;
    int exit_status;
    int reason;        // the text of the line that says why; 0: none
    const char* port;  // as that line names it
  };
  const std::vector<Case> cases = {
      {{"-p", "COM77", WindowsSample("sample.bin")}, 5, texts::IDS_PORT_MISSING, "COM77"},
      {{"--host", "no-such-host.invalid", "--tcp-port", "9", WindowsSample("sample.bin")},
       5,
       texts::IDS_NO_CONNECTION,
       "no-such-host.invalid:9"},
      {{"-p", "COM1", WindowsPath((m_dir / "missing.bin").string())}, 3, 0, ""},
      {{"-p", "COM1", "NUL"}, 3, 0, ""},
  };
  for (const Case& c : cases) {
    ChildProcess loader;
    RunLoader(loader, c.arguments);
    EXPECT_EQ(loader.ExitStatus(), c.exit_status) << c.arguments[1] << loader.Err();
    if (c.reason != 0) {
      // Text 103, then the port and why on a line of its own.
      const std::string line =
          "\r\n" + std::string(c.port) + ": " + std::string(texts::LoadText(c.reason));
      EXPECT_NE(loader.Err().find(line), std::string::npos) << loader.Err();
    }
  }
}

// Without -p the loader takes the port the window saved, in %APPDATA%\velmar\settings.ini.
TEST_F(WineLoadTest, SavedPortFromTheProfile) {
  const auto users = std::filesystem::path(m_prefix) / "drive_c" / "users";
  std::filesystem::path appdata;
  for (const auto& user : std::filesystem::directory_iterator(users)) {
    if (std::filesystem::is_directory(user.path() / "AppData" / "Roaming") &&
        user.path().filename() != "Public") {
      appdata = user.path() / "AppData" / "Roaming";
    }
  }
  ASSERT_FALSE(appdata.empty()) << "no user's application data in " << users;
  const auto folder = appdata / "velmar";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "settings.ini")
      << "[Settings]\r\n_combo_baudrate=57600\r\n_combo_comm_port=COM6\r\n";
  StartPrinter(6, {"--loads", "1"});
  ChildProcess loader;
  RunLoader(loader, {WindowsSample("sample.bin")});
  std::filesystem::remove_all(folder);
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Out() << loader.Err();
  ExpectImage(ProgramImage(ReadBytes(Sample("sample.bin"))));
}

TEST_F(WineLoadTest, ListsTheRegistrysPorts) {
  ASSERT_EQ(Reg({"add", kSerialComm, "/v", "VelmarTest", "/t", "REG_SZ", "/d", "COM42", "/f"}), 0);
  ChildProcess loader;
  RunLoader(loader, {"--list-ports"});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Err();
  EXPECT_NE(Lines(loader.Out()).find("COM42\n"), std::string::npos) << loader.Out();
}

// Windows tells the station of no port that comes: it lists the registry again as it runs. Two
// ports are named there while it runs, each device made first as a driver does: the printer on
// one is loaded, the other line, where nothing answers, is woken until Ctrl+C stops the station
// with every port closed. (Wine makes a SIGINT a Ctrl+C; a SIGTERM ends a Windows program at
// once, and taskkill finds no window of it to close.)
TEST_F(WineLoadTest, AStationLoadsThePortsThatAppear) {
  const std::vector<std::string> ports = {"COM31", "COM32"};
  const auto unlist = [&] {
    for (const std::string& port : ports) {
      Reg({"delete", kSerialComm, "/v", "Velmar" + port, "/f"});
    }
  };
  unlist();  // what an interrupted run left
  StartPrinter(31, {"--loads", "1"});
  struct Pty {
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    ~Pty() { ::close(fd); }
  } mute;
  ASSERT_TRUE(mute.fd >= 0 && ::grantpt(mute.fd) == 0 && ::unlockpt(mute.fd) == 0);
  NamePort(32, ::ptsname(mute.fd));
  ChildProcess station;
  ASSERT_TRUE(station.Start(
      LoaderArgv({"--station", "--json", "-p", "COM3?", WindowsSample("sample.bin")})));
  // It lists the ports right after run_start; reg.exe takes far longer to start.
  ASSERT_TRUE(station.WaitForOutput("\"run_start\"", kLoadDeadline)) << station.Err();
  for (const std::string& port : ports) {
    ASSERT_EQ(Reg({"add", kSerialComm, "/v", "Velmar" + port, "/t", "REG_SZ", "/d", port, "/f"}),
              0);
  }
  const std::string ends = R"("event":"printer_end","port":"COM31","result":)";
  const bool ended = station.WaitForOutput(ends, kLoadDeadline);
  const bool woken = Woken(mute.fd, kLoadDeadline);
  station.Signal(SIGINT);
  EXPECT_TRUE(station.Wait(kLoadDeadline)) << "the station did not stop";
  unlist();
  EXPECT_TRUE(woken) << "COM32 was never woken";
  ASSERT_TRUE(ended) << station.Out() << station.Err();
  const std::string& out = station.Out();
  EXPECT_NE(out.find(ends + R"("loaded")"), std::string::npos) << out << station.Err();
  EXPECT_LT(out.find(R"("event":"port_appeared","port":"COM31")"), out.find(ends)) << out;
  EXPECT_NE(out.find(R"("event":"port_appeared","port":"COM32")"), std::string::npos) << out;
  // The slot stopped while it waited counts for nothing.
  EXPECT_NE(out.find(R"("event":"run_end","printers":2,"loaded":1,"failed":0,"status":130)"),
            std::string::npos)
      << out;
  EXPECT_EQ(station.ExitStatus(), 130) << station.Err();
  ExpectImage(ProgramImage(ReadBytes(Sample("sample.bin"))));
}

}  // namespace
}  // namespace velmar::test
