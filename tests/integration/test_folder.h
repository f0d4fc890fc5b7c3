#pragma once
// A fresh, empty folder for the running test's files, named after the test and the process so
// that tests running at once never share one.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace velmar::test {

inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
  // A parameterised test's name holds a '/', which would leave its parent folder behind.
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  for (char& c : name) {
    c = c == '/' ? '-' : c;
  }
  const auto dir =
      std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()) + "-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace velmar::test
