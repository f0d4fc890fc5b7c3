#include "settings/profile_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velmar::settings {
namespace {

class ProfileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-profile-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string Path() const { return (m_dir / "sub" / "settings.ini").string(); }
  std::filesystem::path m_dir;
};

TEST_F(ProfileStoreTest, AbsentEntriesGiveTheDefaults) {
  const ProfileStore store(Path());
  EXPECT_EQ(store.GetString(kSettingsSection, kPortEntry, kDefaultPort), "COM1");
  EXPECT_EQ(store.GetString(kSettingsSection, kBaudRateEntry, kDefaultBaudRate), "115200");
}

TEST_F(ProfileStoreTest, WritesAndReadsBackKeepingOtherLines) {
  ProfileStore store(Path());
  ASSERT_TRUE(store.SetString(kSettingsSection, kPortEntry, "COM3"));
  ASSERT_TRUE(store.SetString("Other", "x", "1"));
  ASSERT_TRUE(store.SetString(kSettingsSection, kBaudRateEntry, "57600"));
  ASSERT_TRUE(store.SetString(kSettingsSection, kPortEntry, "COM4"));
  EXPECT_EQ(store.GetString(kSettingsSection, kPortEntry, ""), "COM4");
  EXPECT_EQ(store.GetString(kSettingsSection, kBaudRateEntry, ""), "57600");
  EXPECT_EQ(store.GetString("Other", "x", ""), "1");
  EXPECT_EQ(store.GetString("Other", kPortEntry, "none"), "none");  // sections are apart
}

TEST_F(ProfileStoreTest, ReadsAHandWrittenFile) {
  std::filesystem::create_directories(m_dir / "sub");
  std::ofstream(Path()) << "; comment\n[Settings]\r\n _combo_comm_port = COM7 \r\n\n[Else]\nk=v\n";
  const ProfileStore store(Path());
  EXPECT_EQ(store.GetString(kSettingsSection, kPortEntry, ""), "COM7");
  EXPECT_EQ(store.GetString("Else", "k", ""), "v");
}

}  // namespace
}  // namespace velmar::settings
