#pragma once
// The About box: template 100 run modally by the system's dialog manager over its owner. It has
// no buttons: Enter ends it with IDOK, Escape with IDCANCEL (both also taken by a filter of its
// loop, where a dialog manager lets them go by), and the close box with IDCANCEL.

#include "window_win32/win32.h"

namespace velmar::app {

void RunAboutBox(HINSTANCE instance, HWND owner);

}  // namespace velmar::app
