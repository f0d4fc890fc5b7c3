// The window program: `velmar [FILE]` opens the main window, with FILE in its path edit.

#include <wx/app.h>

#include "platform/termination_signal.h"
#include "window_wx/wx_main_app.h"
#include "window_wx/wx_termination.h"

wxIMPLEMENT_APP_NO_MAIN(velmar::app::MainApp);

int main(int argc, char** argv) {
  // Before wx and GTK start their threads, so that the signals reach the watch alone.
  velmar::platform::TerminationWatch watch(
      [&watch] { velmar::app::RequestWindowTermination(watch.Caught()); });
  return wxEntry(argc, argv);
}
