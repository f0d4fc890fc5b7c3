// The loader against the emulated printer over a pseudo-terminal, as a user runs them.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/integration/fault_cases.h"
#include "tests/integration/sample_image.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kStartDeadline = 20s;
constexpr auto kLoadDeadline = 60s;

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-e2e-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
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
  EXPECT_NE(second.Err().find("Не удалось открыть порт."), std::string::npos);
  EXPECT_TRUE(first.Wait(kLoadDeadline));
  StopPrinter();
}

TEST_F(EndToEndTest, FilesAndArgumentsThatCannotBeLoaded) {
  std::ofstream(m_dir / "text.bin") << "not a data file";
  struct Case {
    std::vector<std::string> arguments;
    int exit_status;
    const char* text;
  };
  const std::vector<Case> cases = {
      {{"-p", m_link, (m_dir / "missing.bin").string()}, 3, "Невозможно открыть файл с данными."},
      {{"-p", m_link, (m_dir / "text.bin").string()}, 4, "Неверные данные в файле."},
      {{"-p", (m_dir / "no-such-port").string(), Sample("sample.bin")},
       5,
       "Не удалось открыть порт."},
      {{"--baud", "fast", Sample("sample.bin")}, 2, "usage"},
      {{}, 2, "usage"},
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
