#pragma once
// The window program told to stop (SIGINT or SIGTERM) closes its port properly before it ends,
// as the loader does, instead of dying mid-frame with the port's exclusive flag left set: on a
// pseudo-terminal whose other end stays open that flag would keep every later user out.
//
// Principles of operation: main makes a platform::TerminationWatch before wx starts any thread,
// so that the signals reach only the watch's thread, which calls RequestWindowTermination. The
// request goes to the window shown (SetTerminationWindow) as an event on the user-interface
// thread, which deletes the run (the port drains, DTR drops, the lock is released) and ends the
// program at once with 130 or 143, whatever boxes are open: what is left, the system tidies as
// it would after the signal itself. With no window shown, or one that has not acted within
// kTerminationGrace (its thread stuck), the watch's thread ends the program itself.

#include <chrono>

namespace velmar::app {

class WxMainDialog;

inline constexpr std::chrono::seconds kTerminationGrace{5};

// Any thread; returns only when no window took the request in time, which never happens.
void RequestWindowTermination(int signal_number);
// User-interface thread: the window that requests go to while it is shown; null: none.
void SetTerminationWindow(WxMainDialog* dialog);

}  // namespace velmar::app
