#include "tests/window_win32/window_driver.h"

#include <vector>

#include "texts/string_table.h"

namespace velmar::test {
namespace {

constexpr wchar_t kClass[] = L"#32770";
// A desktop of the tests' own: under Wine each desktop has its own display driver, so the
// windows appear on the X display the tests were given even when headless programs of the same
// Wine server hold the default desktop; and as a virtual desktop Wine draws the frames itself.
constexpr wchar_t kDesktop[] = L"velmar-tests";
constexpr wchar_t kDesktopSize[] = L"800x600";

bool EnterTestDesktop() {
  static const bool entered = [] {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", kDesktop, REG_SZ,
                    kDesktopSize, sizeof kDesktopSize);
    HDESK desktop = CreateDesktopW(kDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    return desktop != nullptr && SetThreadDesktop(desktop);
  }();
  return entered;
}

// Where the build put velmar.exe, as Wine names a file of this machine (drive Z: is "/").
std::wstring ProgramPath() {
  std::wstring path = L"Z:" + Wide(VELMAR_WINDOW_EXE);
  for (wchar_t& c : path) {
    c = c == L'/' ? L'\\' : c;
  }
  return path;
}

struct Search {
  DWORD process;
  HWND owner;
  std::wstring caption;
  HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  wchar_t class_name[16] = {};
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  GetClassNameW(window, class_name, 16);
  if (process == search.process && IsWindowVisible(window) &&
      std::wstring_view(class_name) == kClass && GetWindow(window, GW_OWNER) == search.owner &&
      Wide(WindowText(window)) == search.caption) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
  return text;
}

std::string Utf8(std::wstring_view text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length,
                      nullptr, nullptr);
  return utf8;
}

std::wstring Environment(const wchar_t* name) {
  std::vector<wchar_t> value(GetEnvironmentVariableW(name, nullptr, 0) + 1);
  GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  return value.data();
}

bool WaitUntil(const std::function<bool()>& done, DWORD deadline_ms) {
  const ULONGLONG end = GetTickCount64() + deadline_ms;
  while (!done()) {
    if (GetTickCount64() > end) {
      return false;
    }
    Sleep(20);
  }
  return true;
}

std::string WindowText(HWND window) {
  std::vector<wchar_t> text(GetWindowTextLengthW(window) + 1);
  GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  std::string utf8 = Utf8(text.data());
  for (size_t at = utf8.find("\r\n"); at != std::string::npos; at = utf8.find("\r\n", at)) {
    utf8.erase(at, 1);
  }
  return utf8;
}

VelmarWindow::~VelmarWindow() {
  if (m_process.hProcess != nullptr) {
    if (Running()) {
      TerminateProcess(m_process.hProcess, 1);
      WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
  }
}

bool VelmarWindow::Start(const std::wstring& arguments) {
  if (!EnterTestDesktop()) {
    return false;
  }
  std::wstring command = L"\"" + ProgramPath() + L"\" " + arguments;
  std::wstring desktop = kDesktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop.data();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &m_process)) {
    return false;
  }
  return WaitUntil([this] {
    Search search{m_process.dwProcessId, nullptr, Wide(texts::kCaption), nullptr};
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
    m_main = search.found;
    return m_main != nullptr;
  });
}

HWND VelmarWindow::Box(std::string_view caption) const {
  Search search{m_process.dwProcessId, m_main, Wide(caption), nullptr};
  EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND VelmarWindow::WaitForBox(std::string_view caption) const {
  HWND box = nullptr;
  WaitUntil([&] { return (box = Box(caption)) != nullptr; });
  return box;
}

HWND VelmarWindow::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(m_process.dwThreadId, &info);
  return info.hwndFocus != nullptr ? info.hwndFocus : info.hwndActive;
}

void VelmarWindow::PostKey(HWND window, WPARAM key) const {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC))
                      << 16;
  PostMessageW(window, WM_KEYDOWN, key, scan | 1);
  PostMessageW(window, WM_KEYUP, key, scan | 1 | (3l << 30));
}

void VelmarWindow::Select(int combo_id, const std::wstring& text) const {
  HWND combo = Control(combo_id);
  const LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(m_main, WM_COMMAND, MAKEWPARAM(combo_id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

std::string VelmarWindow::Selected(int combo_id) const {
  return WindowText(Control(combo_id));
}

bool VelmarWindow::WaitForFocusIn(HWND dialog) const {
  return WaitUntil([&] {
    HWND focus = Focus();
    return focus == dialog || IsChild(dialog, focus);
  });
}

// Posted messages are taken in order: once a harmless one posted last has had its effect (the
// edit's limit), so have the others.
bool VelmarWindow::Flush() const {
  static WPARAM marker = 30000;
  HWND edit = Control(1000);
  PostMessageW(edit, EM_SETLIMITTEXT, ++marker, 0);
  return WaitUntil(
      [&] { return static_cast<WPARAM>(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0)) == marker; });
}

bool VelmarWindow::WaitForExit(DWORD deadline_ms) const {
  return WaitForSingleObject(m_process.hProcess, deadline_ms) == WAIT_OBJECT_0;
}

bool VelmarWindow::Running() const {
  return WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

}  // namespace velmar::test
