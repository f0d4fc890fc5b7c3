// velmar.exe under Wine on a display, driven by window_win32_test.exe: each row starts the
// emulated printer as the prefix's COM1 when its cases load, runs the Windows cases it names
// with the data file in VELMAR_FILE, and then checks what the printer holds.
// tests/windows/run.sh runs it under xvfb-run, naming the Windows driver and the Wine prefix in
// VELMAR_WINDOW_TEST and VELMAR_WINEPREFIX.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/integration/sample_image.h"
#include "tests/windows/wine_paths.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kStartDeadline = 20s;
// Wine starts the driver, the window and the desktop's own process, slowly on a loaded machine.
constexpr auto kRunDeadline = 240s;

enum class Expect { kNothing, kProgram, kFont };

struct WindowCase {
  const char* name;
  const char* cases;                 // window_win32_test.exe's filter
  std::vector<std::string> printer;  // no printer when empty
  const char* file;
  Expect image;
};

class WineWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_driver = Environment("VELMAR_WINDOW_TEST");
    m_prefix = Environment("VELMAR_WINEPREFIX");
    if (m_driver.empty() || m_prefix.empty() || Environment("DISPLAY").empty()) {
      GTEST_SKIP() << "run by tests/windows/run.sh under xvfb-run";
    }
    ::setenv("VELMAR_WINE_DISPLAY", "1", 1);  // wine.sh keeps the display
    m_dir = std::filesystem::temp_directory_path() / ("velmar-win32-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_dir);
    m_image = (m_dir / "image.hex").string();
    m_com1 = std::filesystem::path(m_prefix) / "dosdevices" / "com1";
  }
  void TearDown() override {
    if (!m_dir.empty()) {
      std::filesystem::remove(m_com1);
      std::filesystem::remove_all(m_dir);
    }
  }

  // Starts the emulator on a pseudo-terminal that the prefix names COM1.
  void StartPrinter(const std::vector<std::string>& options) {
    const std::string link = (m_dir / "printer").string();
    std::vector<std::string> argv = {VELMAR_PRINTER, "--link", link, "--image", m_image};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(m_printer.Start(argv));
    ASSERT_TRUE(m_printer.WaitForOutput(link, kStartDeadline)) << m_printer.Err();
    std::filesystem::remove(m_com1);
    std::filesystem::create_symlink(link, m_com1);
  }

  void StartDriver(ChildProcess& driver, const std::string& cases, const std::string& file) {
    ::setenv("VELMAR_FILE", WindowsPath(std::string(VELMAR_SAMPLES) + "/" + file).c_str(), 1);
    ASSERT_TRUE(driver.Start({VELMAR_WINE, m_prefix, m_driver, "--gtest_filter=" + cases}));
  }

  std::string m_driver;
  std::string m_prefix;
  std::filesystem::path m_dir;
  std::filesystem::path m_com1;
  std::string m_image;
  ChildProcess m_printer;
};

class WindowCaseTest : public WineWindowTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(WindowCaseTest, PassesUnderWine) {
  const WindowCase& c = GetParam();
  if (!c.printer.empty()) {
    StartPrinter(c.printer);
  }
  ChildProcess driver;
  StartDriver(driver, c.cases, c.file);
  ASSERT_TRUE(driver.Wait(kRunDeadline)) << "the driver hung\n" << driver.Out();
  EXPECT_EQ(driver.ExitStatus(), 0) << driver.Out() << driver.Err();
  EXPECT_NE(driver.Out().find("[       OK ]"), std::string::npos) << driver.Out();
  EXPECT_EQ(driver.Out().find("[  SKIPPED ]"), std::string::npos) << driver.Out();
  if (c.image == Expect::kNothing) {
    m_printer.Signal(SIGTERM);
  }
  if (c.printer.empty() || !m_printer.Wait(kRunDeadline) || c.image == Expect::kNothing) {
    return;
  }
  EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  Image image;
  ASSERT_TRUE(ReadIntelHex(m_image, &image));
  const std::vector<uint8_t> file = ReadBytes(std::string(VELMAR_SAMPLES) + "/" + c.file);
  EXPECT_EQ(image, c.image == Expect::kProgram ? ProgramImage(file) : FontImage(file, 0x11234));
}

const std::vector<std::string> kOneLoad = {"--loads", "1"};

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowCaseTest,
    ::testing::Values(WindowCase{"NoPrinter",
                                 "WindowTest.Controls*:*SettingsTest.*:*AboutTest.*",
                                 {},
                                 "sample.bin",
                                 Expect::kNothing},
                      WindowCase{"Program", "*LoadTest.*/Program", kOneLoad, "sample.bin",
                                 Expect::kProgram},
                      WindowCase{"Font",
                                 "*LoadTest.*/Font",
                                 {"--loads", "1", "--start", "0x11234"},
                                 "sample.fnt",
                                 Expect::kFont},
                      WindowCase{"OtherModel",
                                 "*LoadTest.*/OtherModel",
                                 {"--model", "OTHER"},
                                 "sample.bin",
                                 Expect::kNothing},
                      WindowCase{"HungUp",
                                 "*LoadTest.*/HungUp",
                                 {"--fault", "hangup", "--fault-block", "2"},
                                 "sample.bin",
                                 Expect::kNothing},
                      WindowCase{"NonLatinPath", "*LoadTest.*/NonLatinPath", kOneLoad, "sample.bin",
                                 Expect::kProgram},
                      WindowCase{"CloseRefusedMidLoad",
                                 "WindowTest.CloseRefusedMidLoad",
                                 {"--baud", "9600"},
                                 "sample.bin",
                                 Expect::kNothing}),
    [](const auto& info) { return std::string(info.param.name); });

// make screenshot-windows: the window mid-load, cut out of the display into VELMAR_SCREENSHOT.
TEST_F(WineWindowTest, Screenshot) {
  const std::string png = Environment("VELMAR_SCREENSHOT");
  if (png.empty()) {
    GTEST_SKIP() << "run by make screenshot-windows";
  }
  StartPrinter({"--baud", "19200"});
  const std::filesystem::path taken = m_dir / "taken";
  ::setenv("VELMAR_SHOT_TAKEN", WindowsPath(taken.string()).c_str(), 1);
  ChildProcess driver;
  StartDriver(driver, "WindowTest.PictureMidLoad", "sample.bin");
  ASSERT_TRUE(driver.WaitForOutput(" now", kRunDeadline)) << driver.Out() << driver.Err();
  const size_t at = driver.Out().find("shot ") + 5;
  const std::string geometry = driver.Out().substr(at, driver.Out().find(" now") - at);
  ChildProcess import;
  ASSERT_TRUE(import.Start(
      {"/usr/bin/env", "import", "-window", "root", "-crop", geometry, "+repage", png}));
  ASSERT_TRUE(import.Wait(kStartDeadline));
  EXPECT_EQ(import.ExitStatus(), 0) << import.Err();
  std::ofstream(taken) << "taken\n";
  ASSERT_TRUE(driver.Wait(kRunDeadline));
  EXPECT_EQ(driver.ExitStatus(), 0) << driver.Out();
  m_printer.Signal(SIGTERM);
}

}  // namespace
}  // namespace velmar::test
