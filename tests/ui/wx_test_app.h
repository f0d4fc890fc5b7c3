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

}  // namespace velmar::ui
