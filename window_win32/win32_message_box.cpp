#include "window_win32/win32_message_box.h"

#include <string>

#include "platform/wide_text_win32.h"

namespace velmar::app {

// The box icons are numbered as MessageBox numbers them.
static_assert(static_cast<UINT>(platform::BoxIcon::kError) == MB_ICONERROR);
static_assert(static_cast<UINT>(platform::BoxIcon::kWarning) == MB_ICONWARNING);
static_assert(static_cast<UINT>(platform::BoxIcon::kInformation) == MB_ICONINFORMATION);

void ShowWin32MessageBox(HWND owner, std::string_view text, std::string_view caption,
                         platform::BoxIcon icon) {
  if (owner != nullptr && ::GetWindowThreadProcessId(owner, nullptr) != ::GetCurrentThreadId()) {
    owner = nullptr;
  }
  const std::wstring wide_text = platform::Widen(text);
  const std::wstring wide_caption = platform::Widen(caption);
  ::MessageBoxW(owner, wide_text.c_str(), wide_caption.c_str(), MB_OK | static_cast<UINT>(icon));
}

}  // namespace velmar::app
