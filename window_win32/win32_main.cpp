// The window program on Windows: `velmar.exe [FILE]` opens the main window, with FILE in its
// path edit.

#include "window_win32/win32.h"

#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/program_arguments.h"
#include "platform/window_message.h"
#include "settings/profile_store.h"
#include "window_win32/main_window.h"
#include "window_win32/progress_window.h"
#include "window_win32/win32_message_box.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace velmar;
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  if (!app::RegisterProgressClass(instance)) {
    return 1;
  }
  platform::MessageQueue queue;
  settings::ProfileStore profile;
  const std::vector<std::string> arguments = platform::ProgramArguments(0, nullptr);
  app::Win32MainDialog dialog(instance, queue, profile,
                              arguments.empty() ? std::string() : arguments.front());
  platform::MessageBoxHandler previous = platform::SetMessageBoxHandler(
      [&dialog](std::string_view text, std::string_view caption, platform::BoxIcon icon) {
        app::ShowWin32MessageBox(dialog.Handle(), text, caption, icon);
      });
  const INT_PTR result = dialog.Run();
  platform::SetMessageBoxHandler(std::move(previous));
  return result < 0 ? 1 : 0;
}
