#pragma once
// velmar.exe driven from outside, as a user would: started as a process of its own on the
// tests' desktop, its window found by class and caption, its controls by identifier, its boxes
// (message boxes and the About box) as dialogs that the main window owns. Texts are read with
// WM_GETTEXT: GetWindowText gives another process's controls' creation text.
//
// Every wait polls a condition until a generous deadline; nothing sleeps a fixed time. Keys are
// typed (SendInput) once the window meant to take them is in the foreground.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace velmar::test {

// Puts the calling thread on the tests' desktop, once; false when the system refuses.
bool EnterTestDesktop();
std::wstring Wide(std::string_view utf8);
std::wstring Environment(const wchar_t* name);
// Polls `done` every 20 ms until it holds or a minute passes.
bool WaitUntil(const std::function<bool()>& done);
// The window's text, "\r\n" folded to "\n".
std::wstring WindowText(HWND window);

class VelmarWindow {
 public:
  VelmarWindow() = default;
  ~VelmarWindow();  // ends a process still running
  VelmarWindow(const VelmarWindow&) = delete;
  VelmarWindow& operator=(const VelmarWindow&) = delete;

  // Starts velmar.exe with `arguments` and waits for its main window.
  bool Start(const std::wstring& arguments = {});
  HWND Main() const { return m_main; }
  HWND Control(int id) const { return GetDlgItem(m_main, id); }
  // The visible dialog with `caption` that the main window owns, once there is one.
  HWND WaitForBox(std::string_view caption) const;
  bool Press(HWND target, WORD key) const;
  // Picks the combo's item with that text, as a click in its list would.
  void Select(int combo_id, const std::wstring& text) const;
  bool WaitForExit() const { return WaitForSingleObject(m_process.hProcess, 60000) == 0; }
  bool Running() const { return WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT; }

 private:
  HWND Find(HWND owner, std::string_view caption) const;

  PROCESS_INFORMATION m_process{};
  HWND m_main = nullptr;
};

}  // namespace velmar::test
