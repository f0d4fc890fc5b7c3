#pragma once
// What the data-file tests share: byte builders for program and font files, and a fixture that
// writes them into a folder of its own and reads them through a counting window.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "datafile/data_file.h"
#include "tests/support/step_counting_window.h"

namespace velmar::datafile::test_files {

using Bytes = std::vector<uint8_t>;

using TestWindow = test::StepCountingWindow;

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

inline Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

inline Bytes Block(uint32_t address, const Bytes& data, uint16_t crc = 0xBEEF,
                   uint8_t extra = 0x5A) {
  Bytes block{static_cast<uint8_t>(address),          static_cast<uint8_t>(address >> 8),
              static_cast<uint8_t>(address >> 16),    static_cast<uint8_t>(data.size()),
              static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(crc),
              static_cast<uint8_t>(crc >> 8),         extra};
  block.insert(block.end(), data.begin(), data.end());
  return block;
}

inline Bytes Program(const std::string& model, uint16_t total, const Bytes& payload) {
  return Concat({Text("MyBIN"),
                 Text(model),
                 {0, static_cast<uint8_t>(total >> 8), static_cast<uint8_t>(total)},
                 payload});
}

class DataFileTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    const auto path = m_dir / ("file" + std::to_string(m_count++));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-datafile-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  platform::MessageQueue m_queue;
  TestWindow m_window{m_queue};
  std::filesystem::path m_dir;
  int m_count = 0;
};

}  // namespace velmar::datafile::test_files
