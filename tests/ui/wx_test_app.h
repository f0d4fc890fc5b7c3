#pragma once
// What the tests that need a display share: the wx application started by the test binary's
// main, one shown top-level frame to parent the controls under test, and a pump that runs the
// wx event loop until a condition holds, and a grab of what the screen shows. A wx assertion fails
// the running test.

#include <wx/frame.h>
#include <wx/image.h>

#include <chrono>
#include <functional>

namespace velmar::ui {

wxFrame* TestFrame();

// Runs the wx event loop until `done` holds or the time-out passes; returns whether it holds.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// What the screen shows of the window's client area.
wxImage GrabClientArea(wxWindow* window);

// For a test binary run as a window program of its own: with VELMAR_WATCH_STOP set in the
// environment, main watches for SIGINT and SIGTERM before wx starts, as the program's main
// does, and hands the signal to the handler set here (none: the signal is taken and ignored).
void SetStopHandler(void (*handler)(int signal_number));

}  // namespace velmar::ui
