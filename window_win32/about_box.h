#pragma once
// The About box: template 100 run modally by the system's dialog manager over its owner. It has
// no buttons; the dialog manager turns Enter into IDOK and Escape into IDCANCEL, and the close
// box sends WM_CLOSE: each ends it.

#include "window_win32/win32.h"

namespace velmar::app {

void RunAboutBox(HINSTANCE instance, HWND owner);

}  // namespace velmar::app
