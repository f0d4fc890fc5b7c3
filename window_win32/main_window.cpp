#include "window_win32/main_window.h"

#include <dbt.h>

#include <utility>

#include "app/control_routes.h"
#include "app/dialog_templates.h"
#include "platform/wide_text_win32.h"
#include "window_win32/about_box.h"
#include "window_win32/in_memory_template.h"
#include "window_win32/open_file_dialog.h"
#include "window_win32/progress_window.h"

namespace velmar::app {

namespace {

constexpr UINT_PTR kPortTimer = 1;
constexpr UINT kPortTimerMs = 1000;

}  // namespace

namespace {

// The template's identifiers are Win32's own, IDOK and IDCANCEL included (win32.h).
int NotificationOf(ControlEvent event) {
  return event == ControlEvent::kTextChanged ? EN_CHANGE : BN_CLICKED;
}

HICON LoadAppIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                         ::GetSystemMetrics(width_metric),
                                         ::GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

// F1 in the main window becomes WM_HELP to it, whether or not the system makes one (Wine does
// not): the dialog manager's loop offers every message to this filter first, and the key is
// taken here, so the system never makes a second one. One main window per process.
HWND help_dialog = nullptr;
HHOOK help_hook = nullptr;

LRESULT CALLBACK HelpKeyFilter(int code, WPARAM wparam, LPARAM lparam) {
  const auto* message = reinterpret_cast<const MSG*>(lparam);
  if (code == MSGF_DIALOGBOX && message->message == WM_KEYDOWN && message->wParam == VK_F1 &&
      help_dialog != nullptr &&
      (message->hwnd == help_dialog || ::IsChild(help_dialog, message->hwnd)) &&
      ::GetKeyState(VK_SHIFT) >= 0 && ::GetKeyState(VK_CONTROL) >= 0 &&
      ::GetKeyState(VK_MENU) >= 0) {
    HELPINFO info{};
    info.cbSize = sizeof info;
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = ::GetDlgCtrlID(message->hwnd);
    info.hItemHandle = message->hwnd;
    ::GetCursorPos(&info.MousePos);
    ::SendMessageW(help_dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    return TRUE;
  }
  return ::CallNextHookEx(help_hook, code, wparam, lparam);
}

}  // namespace

Win32MainDialog::Win32MainDialog(HINSTANCE instance, platform::MessageQueue& queue,
                                 settings::ProfileStore& profile, std::string initial_path,
                                 std::optional<std::vector<std::string>> port_items)
    : m_instance(instance),
      m_queue(queue),
      m_initial_path(std::move(initial_path)),
      m_behaviour(std::make_unique<MainDialog>(queue, *this, profile, std::move(port_items))) {}

Win32MainDialog::~Win32MainDialog() {
  m_behaviour.reset();
  for (HICON icon : {m_large_icon, m_small_icon}) {
    if (icon != nullptr) {
      ::DestroyIcon(icon);
    }
  }
}

INT_PTR Win32MainDialog::Run() {
  const std::vector<uint32_t> bytes = BuildDialogTemplate(MainTemplate());
  return ::DialogBoxIndirectParamW(m_instance, reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                   nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32MainDialog::DialogProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Win32MainDialog*>(lparam);
    ::SetWindowLongPtrW(window, DWLP_USER, lparam);
    self->m_window = window;
  }
  auto* self = reinterpret_cast<Win32MainDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) {
    return FALSE;
  }
  const INT_PTR result = self->OnMessage(message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    self->m_window = nullptr;
  }
  return result;
}

INT_PTR Win32MainDialog::OnMessage(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;  // the focus goes to the first tab stop, the path edit
    case kWakeMessage:
      m_wake_posted = false;
      m_queue.DispatchPending();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_CLOSE:
      m_behaviour->OnCancel();
      return TRUE;
    case WM_SYSCOMMAND:
      return m_behaviour->OnSysCommand(static_cast<uint32_t>(wparam)) ? TRUE : FALSE;
    case WM_HELP:
      m_behaviour->OnSysCommand(ABOUT_COMMAND);
      return TRUE;
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_TIMER:
    case WM_DEVICECHANGE:  // a port's arrival or removal, broadcast to every top-level window
      if (message == WM_DEVICECHANGE
              ? wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE
              : wparam == kPortTimer) {
        m_behaviour->RefreshPorts();
      }
      return TRUE;
    case WM_QUERYENDSESSION:
      ::SetWindowLongPtrW(m_window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_ENDSESSION:
      // The process may end as soon as this returns: the port must be closed properly now.
      if (wparam != FALSE) {
        m_behaviour->Abandon();
      }
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}

void Win32MainDialog::OnInitDialog() {
  m_large_icon = LoadAppIcon(m_instance, SM_CXICON, SM_CYICON);
  m_small_icon = LoadAppIcon(m_instance, SM_CXSMICON, SM_CYSMICON);
  ::SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_large_icon));
  ::SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_small_icon));
  const HWND window = m_window;
  m_queue.SetWakeHandler([this, window] {
    if (!m_wake_posted.exchange(true)) {
      ::PostMessageW(window, kWakeMessage, 0, 0);
    }
  });
  help_dialog = m_window;
  // Not every driver announces its ports: the list is looked at once a second as well.
  ::SetTimer(m_window, kPortTimer, kPortTimerMs, nullptr);
  help_hook = ::SetWindowsHookExW(WH_MSGFILTER, HelpKeyFilter, nullptr, ::GetCurrentThreadId());
  m_behaviour->OnInitDialog(m_initial_path);
}

void Win32MainDialog::OnCommand(int id, int code) {
  for (const ControlRoute& route : ControlRoutes()) {
    if (route.id == id && NotificationOf(route.event) == code) {
      ((*m_behaviour).*route.handler)();
      return;
    }
  }
}

bool Win32MainDialog::OnPaint() {
  if (!::IsIconic(m_window)) {
    return false;
  }
  PAINTSTRUCT paint{};
  m_paint_dc = ::BeginPaint(m_window, &paint);
  m_behaviour->OnPaint();
  ::EndPaint(m_window, &paint);
  m_paint_dc = nullptr;
  return true;
}

void Win32MainDialog::OnDestroy() {
  if (help_hook != nullptr) {
    ::UnhookWindowsHookEx(help_hook);
    help_hook = nullptr;
  }
  help_dialog = nullptr;
  m_queue.SetWakeHandler(nullptr);
  m_behaviour->OnDestroy();
}

HWND Win32MainDialog::Control(ControlId control) const {
  return ::GetDlgItem(m_window, control);
}

void Win32MainDialog::EnableControl(ControlId control, bool enable) {
  ::EnableWindow(Control(control), enable ? TRUE : FALSE);
}

int Win32MainDialog::FocusedControl() {
  const HWND focus = ::GetFocus();
  return focus != nullptr && ::IsChild(m_window, focus) && ::IsWindowEnabled(focus)
             ? ::GetDlgCtrlID(focus)
             : 0;
}

void Win32MainDialog::FocusControl(ControlId control) {
  // Through the dialog manager, so that the default button follows the focus. An inactive
  // window keeps its own.
  if (::GetActiveWindow() == m_window) {
    ::SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(control)), TRUE);
  }
}

void Win32MainDialog::ShowControl(ControlId control, bool show) {
  ::ShowWindow(Control(control), show ? SW_SHOW : SW_HIDE);
}

std::string Win32MainDialog::ControlText(ControlId control) {
  const HWND window = Control(control);
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return platform::Narrow(text);
}

void Win32MainDialog::SetControlText(ControlId control, const std::string& text) {
  ::SetWindowTextW(Control(control), platform::Widen(text).c_str());
}

void Win32MainDialog::SetComboItems(ControlId combo, const std::vector<std::string>& items) {
  const HWND window = Control(combo);
  ::SendMessageW(window, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items) {
    const std::wstring wide = platform::Widen(item);
    ::SendMessageW(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
}

int Win32MainDialog::ComboSelection(ControlId combo) {
  const LRESULT selection = ::SendMessageW(Control(combo), CB_GETCURSEL, 0, 0);
  return selection == CB_ERR ? kNoSelection : static_cast<int>(selection);
}

void Win32MainDialog::SelectComboItem(ControlId combo, int index) {
  ::SendMessageW(Control(combo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

platform::Window* Win32MainDialog::ProgressWindow() {
  return ProgressWindowOf(Control(kProgressBar));
}

void Win32MainDialog::AppendSystemMenuItem(uint32_t command, const std::string& text) {
  const HMENU menu = ::GetSystemMenu(m_window, FALSE);
  if (menu == nullptr) {
    return;
  }
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, command, platform::Widen(text).c_str());
}

bool Win32MainDialog::ChooseOpenFile(const OpenFileRequest& request, std::string* path) {
  return RunOpenFileDialog(m_window, request, path);
}

void Win32MainDialog::OpenAbout() {
  RunAboutBox(m_instance, m_window);
}

void Win32MainDialog::EndDialog(int result) {
  ::EndDialog(m_window, result);
}

bool Win32MainDialog::IsMinimised() {
  return ::IsIconic(m_window) != FALSE;
}

Size Win32MainDialog::ClientSize() {
  RECT client{};
  ::GetClientRect(m_window, &client);
  return {client.right - client.left, client.bottom - client.top};
}

Size Win32MainDialog::IconSize() {
  return {::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)};
}

void Win32MainDialog::PaintIcon(Point at) {
  if (m_paint_dc == nullptr) {
    return;
  }
  RECT client{};
  ::GetClientRect(m_window, &client);
  ::FillRect(m_paint_dc, &client, ::GetSysColorBrush(COLOR_3DFACE));
  const Size size = IconSize();
  ::DrawIconEx(m_paint_dc, at.x, at.y, m_large_icon, size.width, size.height, 0, nullptr,
               DI_NORMAL);
}

}  // namespace velmar::app
