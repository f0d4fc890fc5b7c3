// What the Windows serial line and file probe refuse, without any port or printer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/config_folder.h"
#include "platform/file_probe.h"
#include "platform/serial_line.h"

namespace velmar::platform {
namespace {

class WindowsOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-windows-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_dir);
    m_file = (m_dir / "data.bin").string();
    std::ofstream(m_file, std::ios::binary) << "MyBIN";
    // A name no single ANSI code page holds: it opens only through the wide-character calls.
    const std::u8string unicode_name = u8"данные-δεδομένα.bin";
    std::ofstream(m_dir / unicode_name, std::ios::binary) << "MyBIN";
    const std::u8string unicode_path = (m_dir / unicode_name).u8string();
    m_unicode_file.assign(unicode_path.begin(), unicode_path.end());
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::filesystem::path m_dir;
  std::string m_file;
  std::string m_unicode_file;  // UTF-8
};

TEST_F(WindowsOpenTest, SerialLineRefusesWhatIsNoPort) {
  struct Case {
    std::string name;
    int32_t baud_rate;
    SerialOpenResult result;
  };
  const std::vector<Case> cases = {
      {"COM199", 115200, SerialOpenResult::kNoDevice},
      {"\\\\.\\COM199", 115200, SerialOpenResult::kNoDevice},
      {"", 115200, SerialOpenResult::kNoDevice},
      {m_file, 115200, SerialOpenResult::kNoDevice},  // a file is no serial port
      {m_dir.string(), 9600, SerialOpenResult::kNoDevice},
  };
  for (const Case& c : cases) {
    SerialLine line;
    EXPECT_EQ(line.Open(c.name, c.baud_rate), c.result) << c.name;
    EXPECT_FALSE(line.IsOpen()) << c.name;
    EXPECT_EQ(line.QueuedInput(), 0) << c.name;
    EXPECT_EQ(line.Write(reinterpret_cast<const uint8_t*>("x"), 1), 0) << c.name;
    EXPECT_EQ(line.WaitForInput(), SerialWait::kWoken) << c.name;  // nothing to wait on
  }
}

TEST_F(WindowsOpenTest, ProbeRefusesDevicesWithoutOpeningThem) {
  struct Case {
    std::string path;
    ProbeResult result;
  };
  const std::vector<Case> cases = {
      {"COM1", ProbeResult::kNotAFile},
      {"nul", ProbeResult::kNotAFile},
      {"CON", ProbeResult::kNotAFile},
      {"\\\\.\\COM1", ProbeResult::kNotAFile},
      {"\\\\.\\pipe\\velmar", ProbeResult::kNotAFile},
      {m_dir.string(), ProbeResult::kNotAFile},
      {(m_dir / "missing.bin").string(), ProbeResult::kCannotOpen},
      {"", ProbeResult::kCannotOpen},
      {m_file, ProbeResult::kRegularFile},
      {m_unicode_file, ProbeResult::kRegularFile},
  };
  for (const Case& c : cases) {
    ProbedFile file;
    EXPECT_EQ(file.Open(c.path), c.result) << c.path;
  }
  ProbedFile file;
  ASSERT_EQ(file.Open(m_file), ProbeResult::kRegularFile);
  EXPECT_EQ(file.Size(), 5);
  uint8_t bytes[8] = {};
  EXPECT_EQ(file.Read(bytes, sizeof bytes), 5);
  EXPECT_EQ(std::string(bytes, bytes + 5), "MyBIN");
  EXPECT_EQ(file.Read(bytes, sizeof bytes), 0);
}

// Where the loader and the window keep their settings and find their ports.
TEST(WindowsPortsTest, ConfigFolderIsUnderApplicationData) {
  const std::string folder = ConfigFolder();
  EXPECT_GE(folder.size(), std::string("\\velmar").size());
  EXPECT_EQ(folder.substr(folder.size() - 7), "\\velmar") << folder;
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(folder).parent_path())) << folder;
}

}  // namespace
}  // namespace velmar::platform
