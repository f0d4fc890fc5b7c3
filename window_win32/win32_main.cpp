// The window program on Windows: `velmar.exe [FILE]` opens the main window, with FILE in its
// path edit. --help, --version and a usage error are answered before any window opens, on the
// console of the program that started it (a GUI program has none of its own), or in a message
// box when there is none.

#include "window_win32/win32.h"

#include <cstdio>
#include <string>

#include "app/window_command_line.h"
#include "platform/command_line_text.h"
#include "platform/console_output.h"
#include "platform/message_box.h"
#include "platform/program_arguments.h"
#include "platform/window_message.h"
#include "settings/profile_store.h"
#include "window_win32/main_window.h"
#include "window_win32/progress_window.h"
#include "window_win32/win32_message_box.h"

namespace {

constexpr int kUsageStatus = 2;

// Writes `text` where the user who started the program reads it; returns `status`.
int Answer(std::FILE* stream, const std::string& text, int status) {
  using namespace velmar::platform;
  if (AttachParentConsole()) {
    WriteText(stream, text);
    std::fflush(stream);
  } else {
    velmar::app::ShowWin32MessageBox(nullptr, text, ApplicationName(),
                                     status == 0 ? BoxIcon::kInformation : BoxIcon::kError);
  }
  return status;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace velmar;
  const app::WindowCommandLine line =
      app::ReadWindowCommandLine(platform::ProgramArguments(0, nullptr));
  switch (line.command) {
    case app::WindowCommand::kHelp:
      return Answer(stdout, app::WindowUsageText(), 0);
    case app::WindowCommand::kVersion:
      return Answer(stdout, platform::VersionText("velmar"), 0);
    case app::WindowCommand::kUsageError:
      return Answer(stderr, app::WindowUsageError(line.error), kUsageStatus);
    case app::WindowCommand::kOpen:
      break;
  }
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  if (!app::RegisterProgressClass(instance)) {
    return 1;
  }
  platform::MessageQueue queue;
  settings::ProfileStore profile;
  app::Win32MainDialog dialog(instance, queue, profile, line.file);
  platform::MessageBoxHandler previous = platform::SetMessageBoxHandler(
      [&dialog](std::string_view text, std::string_view caption, platform::BoxIcon icon) {
        app::ShowWin32MessageBox(dialog.Handle(), text, caption, icon);
      });
  const INT_PTR result = dialog.Run();
  platform::SetMessageBoxHandler(std::move(previous));
  return result < 0 ? 1 : 0;
}
