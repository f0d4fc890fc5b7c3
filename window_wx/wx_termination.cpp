#include "window_wx/wx_termination.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/termination_signal.h"
#include "window_wx/wx_main_dialog.h"

namespace velmar::app {

namespace {

std::mutex g_lock;
std::condition_variable g_window_gone;
WxMainDialog* g_window = nullptr;

}  // namespace

void RequestWindowTermination(int signal_number) {
  const int status = platform::TerminationWatch::ExitStatusFor(signal_number);
  {
    std::unique_lock lock(g_lock);
    if (g_window != nullptr) {
      WxMainDialog* window = g_window;
      // CallAfter queues the event thread-safely; the lock keeps the window alive meanwhile.
      window->CallAfter([window, status] {
        window->Behaviour().Abandon();
        std::_Exit(status);
      });
      g_window_gone.wait_for(lock, kTerminationGrace, [] { return g_window == nullptr; });
    }
  }
  std::_Exit(status);
}

void SetTerminationWindow(WxMainDialog* dialog) {
  std::lock_guard lock(g_lock);
  g_window = dialog;
  g_window_gone.notify_all();
}

}  // namespace velmar::app
