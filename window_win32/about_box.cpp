#include "window_win32/about_box.h"

#include <cstdint>
#include <vector>

#include "app/dialog_templates.h"
#include "window_win32/in_memory_template.h"

namespace velmar::app {

namespace {

// Nothing in the box takes the focus, and Wine's dialog manager then lets Enter (and at times
// Escape) go by: the box's loop offers each message to this filter first, which ends the box on
// either key itself. One box at a time.
HWND about_box = nullptr;
HHOOK key_hook = nullptr;

LRESULT CALLBACK KeyFilter(int code, WPARAM wparam, LPARAM lparam) {
  const auto* message = reinterpret_cast<const MSG*>(lparam);
  if (code == MSGF_DIALOGBOX && message->message == WM_KEYDOWN && about_box != nullptr &&
      (message->hwnd == about_box || ::IsChild(about_box, message->hwnd))) {
    if (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE) {
      ::SendMessageW(about_box, WM_COMMAND, message->wParam == VK_RETURN ? IDOK : IDCANCEL, 0);
      return TRUE;
    }
  }
  return ::CallNextHookEx(key_hook, code, wparam, lparam);
}

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      about_box = window;
      key_hook = ::SetWindowsHookExW(WH_MSGFILTER, KeyFilter, nullptr, ::GetCurrentThreadId());
      return TRUE;
    case WM_DESTROY:
      ::UnhookWindowsHookEx(key_hook);
      key_hook = nullptr;
      about_box = nullptr;
      return FALSE;
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
