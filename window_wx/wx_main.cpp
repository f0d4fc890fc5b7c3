// The window program: `velmar [FILE]` opens the main window, with FILE in its path edit;
// --help, --version and a usage error are answered before the toolkit starts (no display
// needed).

#include <wx/app.h>

#include <cstdio>

#include "app/window_command_line.h"
#include "platform/command_line_text.h"
#include "platform/console_output.h"
#include "platform/program_arguments.h"
#include "platform/termination_signal.h"
#include "window_wx/wx_main_app.h"
#include "window_wx/wx_termination.h"

wxIMPLEMENT_APP_NO_MAIN(velmar::app::MainApp);

namespace {

constexpr int kUsageStatus = 2;

}  // namespace

int main(int argc, char** argv) {
  using velmar::app::WindowCommand;
  const velmar::app::WindowCommandLine line =
      velmar::app::ReadWindowCommandLine(velmar::platform::ProgramArguments(argc, argv));
  switch (line.command) {
    case WindowCommand::kHelp:
      velmar::platform::WriteText(stdout, velmar::app::WindowUsageText());
      return 0;
    case WindowCommand::kVersion:
      velmar::platform::WriteText(stdout, velmar::platform::VersionText("velmar"));
      return 0;
    case WindowCommand::kUsageError:
      velmar::platform::WriteText(stderr, velmar::app::WindowUsageError(line.error));
      return kUsageStatus;
    case WindowCommand::kOpen:
      break;
  }
  // Before wx and GTK start their threads, so that the signals reach the watch alone.
  velmar::platform::TerminationWatch watch(
      [&watch] { velmar::app::RequestWindowTermination(watch.Caught()); });
  return wxEntry(argc, argv);
}
