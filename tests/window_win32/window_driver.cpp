#include "tests/window_win32/window_driver.h"

#include <vector>

#include "texts/string_table.h"

namespace velmar::test {
namespace {

// A desktop of the tests' own: under Wine each desktop has its own display driver, so the
// windows reach the X display the tests were given even while headless programs of the same
// Wine server hold the default desktop; and on a virtual desktop Wine draws the frames itself.
constexpr wchar_t kDesktop[] = L"velmar-tests";
constexpr wchar_t kDesktopSize[] = L"800x600";

struct Search {
  DWORD process;
  HWND owner;
  std::wstring caption;
  HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  wchar_t class_name[8] = {};
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  GetClassNameW(window, class_name, 8);
  if (process == search.process && IsWindowVisible(window) &&
      std::wstring_view(class_name) == L"#32770" && GetWindow(window, GW_OWNER) == search.owner &&
      WindowText(window) == search.caption) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool EnterTestDesktop() {
  static const bool entered = [] {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", kDesktop, REG_SZ,
                    kDesktopSize, sizeof kDesktopSize);
    HDESK desktop = CreateDesktopW(kDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    return desktop != nullptr && SetThreadDesktop(desktop);
  }();
  return entered;
}

std::wstring Wide(std::string_view utf8) {
  std::wstring text(utf8.size(), L'\0');
  text.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                  text.data(), static_cast<int>(text.size())));
  return text;
}

std::wstring Environment(const wchar_t* name) {
  std::vector<wchar_t> value(GetEnvironmentVariableW(name, nullptr, 0) + 1);
  GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  return value.data();
}

bool WaitUntil(const std::function<bool()>& done) {
  for (const ULONGLONG end = GetTickCount64() + 60000; !done(); Sleep(20)) {
    if (GetTickCount64() > end) {
      return false;
    }
  }
  return true;
}

std::wstring WindowText(HWND window) {
  std::wstring text(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) + 1, L'\0');
  text.resize(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at)) {
    text.erase(at, 1);
  }
  return text;
}

VelmarWindow::~VelmarWindow() {
  if (m_process.hProcess != nullptr) {
    TerminateProcess(m_process.hProcess, 1);
    WaitForExit();
    CloseHandle(m_process.hProcess);
    CloseHandle(m_process.hThread);
  }
}

bool VelmarWindow::Start(const std::wstring& arguments) {
  // Where the build put velmar.exe, as Wine names a file of this machine (drive Z: is "/").
  std::wstring command = L"\"Z:" + Wide(VELMAR_WINDOW_EXE) + L"\" " + arguments;
  std::wstring desktop = kDesktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop.data();
  return EnterTestDesktop() &&
         CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &m_process) &&
         WaitUntil([this] { return (m_main = Find(nullptr, texts::kCaption)) != nullptr; });
}

HWND VelmarWindow::Find(HWND owner, std::string_view caption) const {
  Search search{m_process.dwProcessId, owner, Wide(caption), nullptr};
  EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND VelmarWindow::WaitForBox(std::string_view caption) const {
  HWND box = nullptr;
  WaitUntil([&] { return (box = Find(m_main, caption)) != nullptr; });
  return box;
}

bool VelmarWindow::Press(HWND target, WORD key) const {
  INPUT inputs[2] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return WaitUntil([&] { return GetForegroundWindow() == target; }) &&
         SendInput(2, inputs, sizeof(INPUT)) == 2;
}

void VelmarWindow::Select(int combo_id, const std::wstring& text) const {
  HWND combo = Control(combo_id);
  SendMessageW(combo, CB_SETCURSEL,
               SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(text.c_str())),
               0);
  SendMessageW(m_main, WM_COMMAND, MAKEWPARAM(combo_id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

}  // namespace velmar::test
