#include "window_win32/about_box.h"

#include <cstdint>
#include <vector>

#include "app/dialog_templates.h"
#include "window_win32/in_memory_template.h"

namespace velmar::app {

namespace {

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        ::EndDialog(window, LOWORD(wparam));
      }
      return TRUE;
    case WM_CLOSE:
      ::EndDialog(window, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void RunAboutBox(HINSTANCE instance, HWND owner) {
  const std::vector<uint32_t> bytes = BuildDialogTemplate(AboutTemplate());
  ::DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                            AboutProc, 0);
}

}  // namespace velmar::app
