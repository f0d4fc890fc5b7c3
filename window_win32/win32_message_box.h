#pragma once
// The window's message boxes: what the handler of platform::ShowMessageBox shows, a MessageBoxW
// with one OK button and the icon asked for.
//
// Principles of operation: the box is owned by `owner` when the calling thread owns that window
// (the main window, from its own handlers), so it is modal to it and keeps the UI thread's
// messages flowing through its own loop; from any other thread, or before the window exists, it
// stands alone.

#include "window_win32/win32.h"

#include <string_view>

#include "platform/message_box.h"

namespace velmar::app {

void ShowWin32MessageBox(HWND owner, std::string_view text, std::string_view caption,
                         platform::BoxIcon icon);

}  // namespace velmar::app
