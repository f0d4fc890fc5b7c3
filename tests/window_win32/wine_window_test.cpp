// velmar.exe under Wine on a display, driven by window_win32_test.exe: each row starts the
// emulated printer as the prefix's COM1 when its cases load, runs the Windows cases it names
// with the data file in VELMAR_FILE, and then checks what the printer holds.
// tests/windows/run.sh runs it under xvfb-run, naming the Windows driver and the Wine prefix in
// VELMAR_WINDOW_TEST and VELMAR_WINEPREFIX.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
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
constexpr uint32_t kFontStart = 0x11234;

enum class Expect { kNothing, kProgram, kFont };

struct WindowCase {
  const char* name;
  const char* cases;                 // window_win32_test.exe's filter
  std::vector<std::string> printer;  // no printer when empty
  const char* file;
  Expect image;
};

void PrintTo(const WindowCase& c, std::ostream* os) {
  *os << c.name;
}

class WineWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_driver = Environment("VELMAR_WINDOW_TEST");
    m_prefix = Environment("VELMAR_WINEPREFIX");
    if (m_driver.empty() || m_prefix.empty() || Environment("DISPLAY").empty()) {
      GTEST_SKIP() << "run by tests/windows/run.sh under xvfb-run";
    }
    if (!std::filesystem::exists(m_driver)) {
      GTEST_SKIP() << "the Windows build has no window to drive";
    }
    ::setenv("VELMAR_WINE_DISPLAY", "1", 1);  // wine.sh keeps the display
    m_dir = std::filesystem::temp_directory_path() / ("velmar-win32-" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
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
    std::vector<std::string> argv = {VELMAR_PRINTER, "--link", link, "--image", ImagePath()};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(m_printer.Start(argv));
    ASSERT_TRUE(m_printer.WaitForOutput(link, kStartDeadline)) << m_printer.Err();
    std::filesystem::remove(m_com1);
    std::filesystem::create_symlink(link, m_com1);
  }

  void StartDriver(ChildProcess& driver, const std::string& cases, const std::string& file) {
    ::setenv("VELMAR_FILE", WindowsPath(file).c_str(), 1);
    ASSERT_TRUE(driver.Start({VELMAR_WINE, m_prefix, m_driver, "--gtest_filter=" + cases}));
  }

  std::string ImagePath() const { return (m_dir / "image.hex").string(); }

  std::string m_driver;
  std::string m_prefix;
  std::filesystem::path m_dir;
  std::filesystem::path m_com1;
  ChildProcess m_printer;
};

class WindowCaseTest : public WineWindowTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(WindowCaseTest, PassesUnderWine) {
  const WindowCase& c = GetParam();
  const std::string file = std::string(VELMAR_SAMPLES) + "/" + c.file;
  if (!c.printer.empty()) {
    StartPrinter(c.printer);
  }
  ChildProcess driver;
  StartDriver(driver, c.cases, file);
  ASSERT_TRUE(driver.Wait(kRunDeadline)) << "the driver hung\n" << driver.Out();
  EXPECT_EQ(driver.ExitStatus(), 0) << driver.Out() << driver.Err();
  EXPECT_NE(driver.Out().find("[  PASSED  ]"), std::string::npos) << driver.Out();
  EXPECT_EQ(driver.Out().find("[  SKIPPED ]"), std::string::npos) << driver.Out();
  if (c.printer.empty()) {
    return;
  }
  if (c.image == Expect::kNothing) {
    m_printer.Signal(SIGTERM);
    ASSERT_TRUE(m_printer.Wait(kRunDeadline));
    return;
  }
  ASSERT_TRUE(m_printer.Wait(kRunDeadline));
  EXPECT_EQ(m_printer.ExitStatus(), 0) << m_printer.Out() << m_printer.Err();
  Image image;
  ASSERT_TRUE(ReadIntelHex(ImagePath(), &image));
  const std::vector<uint8_t> bytes = ReadBytes(file);
  EXPECT_EQ(image,
            c.image == Expect::kProgram ? ProgramImage(bytes) : FontImage(bytes, kFontStart));
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
  StartDriver(driver, "WindowTest.PictureMidLoad", std::string(VELMAR_SAMPLES) + "/sample.bin");
  ASSERT_TRUE(driver.WaitForOutput(" now", kRunDeadline)) << driver.Out() << driver.Err();
  const size_t at = driver.Out().find("shot ") + 5;
  const std::string geometry = driver.Out().substr(at, driver.Out().find(" now") - at);
  ChildProcess import;
  ASSERT_TRUE(import.Start({"import", "-window", "root", "-crop", geometry, "+repage", png}));
  ASSERT_TRUE(import.Wait(kStartDeadline));
  EXPECT_EQ(import.ExitStatus(), 0) << import.Err();
  std::ofstream(taken) << "taken\n";
  ASSERT_TRUE(driver.Wait(kRunDeadline));
  EXPECT_EQ(driver.ExitStatus(), 0) << driver.Out();
  m_printer.Signal(SIGTERM);
  EXPECT_TRUE(m_printer.Wait(kRunDeadline));
}

}  // namespace
}  // namespace velmar::test
