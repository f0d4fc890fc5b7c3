#pragma once
// The window's message boxes: the handler of platform::ShowMessageBox that the application
// installs, showing each text in a modal wx box.
//
// Principles of operation: wx may only be used from the UI thread, where all of the window's
// boxes are asked for. A modal box runs a nested event loop, so the UI thread's queue keeps being
// pumped while it is open (the window's behaviour expects that). A box asked for from any other
// thread cannot be shown; its text goes to standard error, as a console host would write it.
//   BoxStyle          the wx style of a box with that icon and a single OK button.
//   ShowWxMessageBox  shows the box over the active window and returns once it is closed.

#include <string_view>

#include "platform/message_box.h"

namespace velmar::app {

long BoxStyle(platform::BoxIcon icon);
void ShowWxMessageBox(std::string_view text, std::string_view caption, platform::BoxIcon icon);

}  // namespace velmar::app
