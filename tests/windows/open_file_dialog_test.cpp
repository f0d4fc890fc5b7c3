// The Win32 open-file dialog's filter string. The templates and their styles are read by the
// dialog manager in the window's tests under Wine.

#include <gtest/gtest.h>

#include <string>

#include "window_win32/open_file_dialog.h"

namespace velmar::app {
namespace {

TEST(FilterStringTest, PairsEndedByAnEmptyString) {
  using namespace std::string_literals;
  EXPECT_EQ(FilterString({}), L"\0"s);
  EXPECT_EQ(FilterString({{"Программы (*.bin)", "*.bin"}, {"Все (*.*)", "*.*"}}),
            L"Программы (*.bin)\0*.bin\0Все (*.*)\0*.*\0\0"s);
}

}  // namespace
}  // namespace velmar::app
