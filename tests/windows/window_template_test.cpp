// The Win32 window's control styles and open-file filter. The templates themselves are read by
// the dialog manager in the window's tests under Wine.

#include <gtest/gtest.h>

#include <string>

#include "window_win32/in_memory_template.h"
#include "window_win32/open_file_dialog.h"

namespace velmar::app {
namespace {

struct StyleCase {
  TemplateControl control;
  Win32Style expected;
};

TEST(ControlStyleTest, MapsClassesAndStyleBits) {
  const StyleCase cases[] = {
      {{1, ControlClass::kDefaultButton, "", {}, kVisible | kTabStop},
       {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0}},
      {{2, ControlClass::kProgress, "", {}, kSmooth | kClientEdge},
       {WS_CHILD | PBS_SMOOTH, WS_EX_CLIENTEDGE}},
      {{3, ControlClass::kDropDownList, "", {}, kTabStop | kVScroll},
       {WS_CHILD | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0}},
      {{4, ControlClass::kStatic, "", {}, kNoPrefix | kAlignRight},
       {WS_CHILD | SS_NOPREFIX | SS_RIGHT, 0}},
  };
  for (const StyleCase& c : cases) {
    const Win32Style style = ControlStyle(c.control);
    EXPECT_EQ(style.style, c.expected.style) << c.control.id;
    EXPECT_EQ(style.ex_style, c.expected.ex_style) << c.control.id;
  }
}

TEST(FilterStringTest, PairsEndedByAnEmptyString) {
  using namespace std::string_literals;
  EXPECT_EQ(FilterString({}), L"\0"s);
  EXPECT_EQ(FilterString({{"Программы (*.bin)", "*.bin"}, {"Все (*.*)", "*.*"}}),
            L"Программы (*.bin)\0*.bin\0Все (*.*)\0*.*\0\0"s);
}

}  // namespace
}  // namespace velmar::app
