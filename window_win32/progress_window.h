#pragma once
// The text progress bar as a Win32 window class (kProgressClassName), painted with GDI from the
// toolkit-free model (ui::TextProgressModel), as the wx control paints it with wx.
//
// Principles of operation: the dialog manager creates the window from the template; creating it
// creates a ProgressWindow, which joins the creating (UI) thread's platform::MessageQueue, and
// destroying it deletes that object, which releases any sender still waiting for it. So the
// reception thread's progress messages reach the model on the UI thread while the sender waits,
// as Win32's own cross-thread SendMessage would. The same messages sent to the HWND (PBM_*,
// WM_SETTEXT, WM_GETTEXT and WM_GETTEXTLENGTH in UTF-16) go to the same model, so the window
// text is the model's text wherever it is read from. A paint draws the model's Picture() into
// a memory DC and copies it in one go: two rectangles, then the text drawn twice, clipped to
// each part in its own colour, in the dialog's font.
//   RegisterProgressClass  once, before the dialog is created; false when the system refuses.
//   ProgressWindowOf       the message window of such an HWND; null for any other window.

#include "window_win32/win32.h"

#include "platform/window_message.h"

namespace velmar::app {

bool RegisterProgressClass(HINSTANCE instance);
platform::Window* ProgressWindowOf(HWND window);

}  // namespace velmar::app
