// The loader against the emulated printer over a pseudo-terminal, as a user runs them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
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

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = FreshTestFolder("velmar-e2e-");
    m_link = (m_dir / "printer").string();
    m_image = (m_dir / "image.hex").string();
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // Starts the emulator on a link of its own and waits until the link is there.
  void StartPrinter(std::vector<std::string> options) {
    std::vector<std::string> argv = {VELMAR_PRINTER, "--link", m_link, "--image", m_image};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(m_printer.Start(argv));
    ASSERT_TRUE(m_printer.WaitForOutput(m_link, kStartDeadline)) << m_printer.Err();
  }

  ChildProcess& RunLoader(ChildProcess& loader, std::vector<std::string> arguments) {
    std::vector<std::string> argv = {VELMAR_LOAD};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    EXPECT_TRUE(loader.Start(argv));
    EXPECT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
    return loader;
  }

  void StopPrinter() {
    m_printer.Signal(SIGTERM);
    EXPECT_TRUE(m_printer.Wait(kLoadDeadline));
  }

  static std::string Sample(const char* name) { return std::string(VELMAR_SAMPLES) + "/" + name; }

  std::filesystem::path m_dir;
  std::string m_link;
  std::string m_image;
  ChildProcess m_printer;
};

TEST_F(EndToEndTest, ProgramArrivesByteForByte) {
  StartPrinter({"--loads", "1"});
  ChildProcess loader;
  RunLoader(loader, {"-p", m_link, Sample("sample.bin")});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Err();
  EXPECT_NE(loader.Out().find("Загрузка программы в TEST..."), std::string::npos);
  EXPECT_NE(loader.Out().find("Программа успешно загружена в принтер."), std::string::npos);
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  Image image;
  ASSERT_TRUE(ReadIntelHex(m_image, &image));
  EXPECT_EQ(image, ProgramImage(ReadBytes(Sample("sample.bin"))));
}

struct FontCase {
  const char* name;
  uint32_t start;
  bool drip;
};

void PrintTo(const FontCase& c, std::ostream* os) {
  *os << c.name;
}

class FontLoadTest : public EndToEndTest, public ::testing::WithParamInterface<FontCase> {};

TEST_P(FontLoadTest, FontArrivesWhereThePrinterSaid) {
  const FontCase& c = GetParam();
  std::vector<std::string> options = {"--loads", "1",       "--model",
                                      "FNT1",    "--start", std::to_string(c.start)};
  if (c.drip) {
    options.push_back("--drip");
  }
  StartPrinter(options);
  ChildProcess loader;
  RunLoader(loader, {"-p", m_link, Sample("sample.fnt")});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Err();
  EXPECT_NE(loader.Out().find("Загрузка шрифта в FNT1..."), std::string::npos) << loader.Out();
  EXPECT_NE(loader.Out().find("Шрифт успешно загружен в принтер."), std::string::npos);
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  Image image;
  ASSERT_TRUE(ReadIntelHex(m_image, &image));
  EXPECT_EQ(image, FontImage(ReadBytes(Sample("sample.fnt")), c.start));
}

INSTANTIATE_TEST_SUITE_P(Fonts, FontLoadTest,
                         ::testing::Values(FontCase{"AtZero", 0, false},
                                           FontCase{"Unaligned", 0x11234, false},
                                           FontCase{"Dripped", 0x11234, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, DrippedRepliesStillLoadAProgram) {
  StartPrinter({"--loads", "1", "--drip"});
  ChildProcess loader;
  RunLoader(loader, {"-p", m_link, Sample("sample.bin")});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Err();
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 0);
}

struct SlowLineCase {
  std::string name;
  size_t model_length;
  bool font;
  std::vector<std::string> pace;  // the emulator's pacing options
};

void PrintTo(const SlowLineCase& c, std::ostream* os) {
  *os << c.name;
}

// Every model-name length the printers use, a program and a font, on slow and fast lines and
// with the reply trickling in a byte at a time. Small files keep a load at 2400 short.
std::vector<SlowLineCase> SlowLineCases() {
  const struct {
    const char* name;
    std::vector<std::string> options;
  } paces[] = {{"At2400", {"--baud", "2400"}},
               {"At9600", {"--baud", "9600"}},
               {"At115200", {"--baud", "115200"}},
               {"Dripped", {"--drip"}}};
  std::vector<SlowLineCase> cases;
  for (const auto& pace : paces) {
    for (size_t length : {1, 6, 9, 40, 200}) {
      for (bool font : {false, true}) {
        cases.push_back(
            {std::string(font ? "Font" : "Program") + "Name" + std::to_string(length) + pace.name,
             length, font, pace.options});
      }
    }
  }
  return cases;
}

class SlowLineTest : public EndToEndTest, public ::testing::WithParamInterface<SlowLineCase> {};

TEST_P(SlowLineTest, TheWholeModelNameArrivesAndTheLoadSucceeds) {
  const SlowLineCase& c = GetParam();
  std::string model;
  for (size_t i = 0; i < c.model_length; ++i) {
    model += static_cast<char>('A' + i % 26);
  }
  ChildProcess maker;
  ASSERT_TRUE(maker.Start({VELMAR_MAKE_SAMPLES, m_dir.string(), "256", "64", model}));
  ASSERT_TRUE(maker.Wait(kLoadDeadline));
  ASSERT_EQ(maker.ExitStatus(), 0) << maker.Err();
  const std::string file = (m_dir / (c.font ? "sample.fnt" : "sample.bin")).string();

  std::vector<std::string> options = {"--loads", "1", "--model", model};
  options.insert(options.end(), c.pace.begin(), c.pace.end());
  StartPrinter(options);
  ChildProcess loader;
  const std::string rate = c.pace.front() == "--baud" ? c.pace.back() : "115200";
  RunLoader(loader, {"-p", m_link, "-b", rate, file});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Out() << loader.Err();
  const std::string announced =
      (c.font ? "Загрузка шрифта в " : "Загрузка программы в ") + model + "...";
  EXPECT_NE(loader.Out().find(announced), std::string::npos) << loader.Out();
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  Image image;
  ASSERT_TRUE(ReadIntelHex(m_image, &image));
  const auto bytes = ReadBytes(file);
  EXPECT_EQ(image, c.font ? FontImage(bytes, 0) : ProgramImage(bytes));
}

INSTANTIATE_TEST_SUITE_P(ModelNames, SlowLineTest, ::testing::ValuesIn(SlowLineCases()),
                         [](const auto& info) { return info.param.name; });

struct TerminalCase {
  const char* name;
  std::vector<std::string> printer_options;
  const char* file;
  int exit_status;
  const char* text;  // on standard output after a load, on standard error after a failure
  bool full;
};

void PrintTo(const TerminalCase& c, std::ostream* os) {
  *os << c.name;
}

// The bar as last drawn: what follows the last "erase the line" up to the end of that line.
std::string LastBar(const std::string& out) {
  const size_t at = out.rfind("\r\033[K[");
  if (at == std::string::npos) {
    return {};
  }
  const size_t begin = at + 4;
  return out.substr(begin, out.find('\r', begin) - begin);
}

class TerminalTest : public EndToEndTest, public ::testing::WithParamInterface<TerminalCase> {};

// On a terminal the loader draws its bar to the end of the load, after the run and its
// transport are gone; the sanitizer build of the loader fails loudly on any use of them.
TEST_P(TerminalTest, TheLastBarShowsHowTheLoadEnded) {
  const TerminalCase& c = GetParam();
  StartPrinter(c.printer_options);
  ChildProcess loader;
  ASSERT_TRUE(
      loader.Start({VELMAR_LOAD, "-p", m_link, Sample(c.file)}, ChildProcess::Stdout::kTerminal));
  ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  EXPECT_EQ(loader.ExitStatus(), c.exit_status) << loader.Out() << loader.Err();
  EXPECT_EQ(loader.Err().find("Sanitizer"), std::string::npos) << loader.Err();
  EXPECT_EQ(loader.Err().find("runtime error"), std::string::npos) << loader.Err();
  const std::string bar = LastBar(loader.Out());
  ASSERT_FALSE(bar.empty()) << loader.Out();
  EXPECT_EQ(bar.find("100%") != std::string::npos, c.full) << bar;
  if (c.full) {
    EXPECT_NE(bar.find("0:00 left"), std::string::npos) << bar;
  }
  // The bar's line is ended before anything else is said.
  const size_t bar_end = loader.Out().rfind(bar) + bar.size();
  EXPECT_EQ(loader.Out().compare(bar_end, 2, "\r\n"), 0) << loader.Out();
  const std::string& said = c.exit_status == 0 ? loader.Out() : loader.Err();
  EXPECT_NE(said.find(c.text), std::string::npos) << said;
  if (c.exit_status == 0) {
    EXPECT_GT(loader.Out().find(c.text), bar_end);
    ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
    EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  } else {
    StopPrinter();
  }
}

std::vector<TerminalCase> TerminalCases() {
  return {
      {"Program",
       {"--loads", "1"},
       "sample.bin",
       0,
       "Программа успешно загружена в принтер.",
       true},
      {"Font",
       {"--loads", "1", "--model", "FNT1"},
       "sample.fnt",
       0,
       "Шрифт успешно загружен в принтер.",
       true},
      {"FailedMidway",
       {"--fault", "bad-data", "--fault-block", "5"},
       "sample.bin",
       20,
       "Ошибка в принятых данных.",
       false},
  };
}

INSTANTIATE_TEST_SUITE_P(Terminal, TerminalTest, ::testing::ValuesIn(TerminalCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class FaultTest : public EndToEndTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, EndsWithItsStatusAndText) {
  const FaultCase& c = GetParam();
  StartPrinter(c.printer_options);
  ChildProcess loader;
  RunLoader(loader, {"-p", m_link, Sample("sample.bin")});
  EXPECT_EQ(loader.ExitStatus(), c.exit_status) << loader.Out() << loader.Err();
  EXPECT_NE(loader.Err().find(c.text), std::string::npos) << loader.Err();
  // A silent or hung-up printer ends the load by the time-out, without spinning meanwhile.
  EXPECT_LT(loader.CpuSeconds(), 1.0);
  StopPrinter();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(PrinterFaults()),
                         [](const auto& info) { return std::string(info.param.name); });

// A printer that serves one load and exits waits for the tool to read its last replies before
// it closes the line, which would throw them away: a tool busy for a moment still gets them.
TEST_F(EndToEndTest, APrinterServingOneLoadLetsItsLastReplyBeRead) {
  StartPrinter({"--loads", "1", "--fault", "status-error", "--fault-reply", "ident"});
  const int port = ::open(m_link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(port, 0);
  termios raw{};
  ASSERT_EQ(::tcgetattr(port, &raw), 0);
  ::cfmakeraw(&raw);
  ASSERT_EQ(::tcsetattr(port, TCSANOW, &raw), 0);
  const uint8_t wake[] = {0x1B, 'B', 'O', 'O', 'T'};
  ASSERT_EQ(::write(port, wake, sizeof wake), static_cast<ssize_t>(sizeof wake));
  pollfd readable{port, POLLIN, 0};
  ASSERT_EQ(::poll(&readable, 1, 10000), 1);
  uint8_t reply[64];
  ASSERT_EQ(::read(port, reply, 1), 1);
  EXPECT_EQ(reply[0], 0xA0);
  const uint8_t ack = 0x0A;
  ASSERT_EQ(::write(port, &ack, 1), 1);
  // The load has ended once it is reported; the tool is still busy for a moment.
  ASSERT_TRUE(m_printer.WaitForOutput("load 1:", kLoadDeadline)) << m_printer.Err();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::vector<uint8_t> got;
  while (got.size() < 10 && ::poll(&readable, 1, 2000) == 1) {
    const ssize_t count = ::read(port, reply, sizeof reply);
    if (count <= 0) {
      break;
    }
    got.insert(got.end(), reply, reply + count);
  }
  EXPECT_EQ(got, (std::vector<uint8_t>{'T', 'E', 'S', 'T', 0, 0x1E, 'S', 'M', 0, 0x11}));
  ::close(port);
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 1);
}

class SignalTest : public EndToEndTest, public ::testing::WithParamInterface<int> {};

// Interrupted mid-load, the loader closes its port before it ends, with the status a shell
// gives a program ended by that signal, and the next loader can open the port at once.
TEST_P(SignalTest, ClosesThePortAndEndsWithTheSignalsStatus) {
  const int signal_number = GetParam();
  StartPrinter({"--baud", "9600"});  // slow enough to be mid-load for seconds
  const std::vector<std::string> load = {VELMAR_LOAD, "--trace",           "-p", m_link, "-b",
                                         "9600",      Sample("sample.bin")};
  ChildProcess loader;
  ASSERT_TRUE(loader.Start(load));
  ASSERT_TRUE(loader.WaitForOutput("> 1E 77", kStartDeadline, true)) << loader.Err();
  loader.Signal(signal_number);
  ASSERT_TRUE(loader.Wait(kLoadDeadline));
  EXPECT_EQ(loader.ExitStatus(), 128 + signal_number) << loader.Err();
  EXPECT_NE(loader.Err().find("the port is closed"), std::string::npos) << loader.Err();

  ChildProcess next;
  ASSERT_TRUE(next.Start(load));
  ASSERT_TRUE(next.WaitForOutput("> 1B", kStartDeadline, true)) << next.Err();
  next.Signal(SIGINT);
  ASSERT_TRUE(next.Wait(kLoadDeadline));
  EXPECT_EQ(next.Err().find("Не удалось открыть порт."), std::string::npos) << next.Err();
  StopPrinter();
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) {
                           return std::string(info.param == SIGINT ? "Interrupt" : "Terminate");
                         });

TEST_F(EndToEndTest, AcknowledgesTheOtherWakeByte) {
  StartPrinter({"--loads", "1", "--wake", "0xA1"});
  ChildProcess loader;
  RunLoader(loader, {"-p", m_link, Sample("sample.bin")});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Err();
  ASSERT_TRUE(m_printer.Wait(kLoadDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 0);
}

TEST_F(EndToEndTest, APortHeldByAnotherLoaderIsRefused) {
  StartPrinter({"--fault", "silent"});
  ChildProcess first;
  ASSERT_TRUE(first.Start({VELMAR_LOAD, "--trace", "-p", m_link, Sample("sample.bin")}));
  // Once the wake-up has gone out, the first loader holds the port.
  ASSERT_TRUE(first.WaitForOutput("> 1B 42 4F 4F 54", kStartDeadline, true)) << first.Err();
  ChildProcess second;
  RunLoader(second, {"-p", m_link, Sample("sample.bin")});
  EXPECT_EQ(second.ExitStatus(), 5);
  EXPECT_NE(second.Err().find("Не удалось открыть порт.\nВозможно, он занят другим приложением.\n" +
                              m_link + ": Порт занят другой программой (Device or resource busy)."),
            std::string::npos)
      << second.Err();
  EXPECT_TRUE(first.Wait(kLoadDeadline));
  StopPrinter();
}

TEST_F(EndToEndTest, FilesAndArgumentsThatCannotBeLoaded) {
  std::ofstream(m_dir / "text.bin") << "not a data file";
  const std::string fifo = (m_dir / "fifo.bin").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> arguments;
    int exit_status;
    const char* text;
  };
  const std::vector<Case> cases = {
      {{"-p", m_link, (m_dir / "missing.bin").string()}, 3, "Невозможно открыть файл с данными."},
      {{"-p", m_link, (m_dir / "text.bin").string()}, 4, "Неверные данные в файле."},
      {{"-p", m_link, "/dev/zero"}, 3, "Невозможно открыть файл с данными."},
      {{"-p", m_link, fifo}, 3, "Невозможно открыть файл с данными."},
      {{"--info", "/dev/zero"}, 3, "Невозможно открыть файл с данными."},
      {{"--info", fifo}, 3, "Невозможно открыть файл с данными."},
      {{"-p", (m_dir / "no-such-port").string(), Sample("sample.bin")},
       5,
       "no-such-port: Такого порта нет (No such file or directory).\n"},
      {{"--baud", "fast", Sample("sample.bin")}, 2, "\nTry 'velmar-load --help'.\n"},
      {{"-p", "/dev/null", "-p", "/dev/../dev/null", Sample("sample.bin")},
       2,
       "port named twice: /dev/../dev/null is /dev/null"},
      {{}, 2, "\nTry 'velmar-load --help'.\n"},
  };
  for (const Case& c : cases) {
    ChildProcess loader;
    RunLoader(loader, c.arguments);
    EXPECT_EQ(loader.ExitStatus(), c.exit_status) << testing::PrintToString(c.arguments);
    EXPECT_NE(loader.Err().find(c.text), std::string::npos) << loader.Err();
  }
}

TEST_F(EndToEndTest, InfoDescribesTheFileWithoutSending) {
  ChildProcess loader;
  RunLoader(loader, {"--info", Sample("sample.bin")});
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Err();
  EXPECT_NE(loader.Out().find("model: TEST"), std::string::npos) << loader.Out();
  EXPECT_NE(loader.Out().find("blocks: 48"), std::string::npos) << loader.Out();
  EXPECT_NE(loader.Out().find("CRC mismatches: 0"), std::string::npos) << loader.Out();
}

}  // namespace
}  // namespace velmar::test
