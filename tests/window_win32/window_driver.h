#pragma once
// velmar.exe driven from outside, as a user would: started as a process of its own on the
// tests' desktop, its window found by class and caption, its controls by identifier, its boxes
// (message boxes and the About box) as dialogs that the main window owns.
//
// Every wait polls a condition until a generous deadline; nothing sleeps a fixed time. Keys are
// posted to the control that has the window's focus, so that they take the dialog manager's
// road (IsDialogMessage) as typed keys do.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace velmar::test {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view text);
std::wstring Environment(const wchar_t* name);
// Polls `done` every 20 ms until it holds or `deadline_ms` passes.
bool WaitUntil(const std::function<bool()>& done, DWORD deadline_ms = 60000);
// The window's text ("\r\n" folded to "\n").
std::string WindowText(HWND window);

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
  // The visible dialog with `caption` that the main window owns; nullptr when there is none.
  HWND Box(std::string_view caption) const;
  HWND WaitForBox(std::string_view caption) const;
  HWND Focus() const;
  void PostKey(HWND window, WPARAM key) const;
  // Picks the combo's item with that text, as a click in its list would.
  void Select(int combo_id, const std::wstring& text) const;
  std::string Selected(int combo_id) const;
  // Waits until the focus is in `dialog` (the dialog or one of its controls).
  bool WaitForFocusIn(HWND dialog) const;
  // Waits until the window has taken every message posted to it so far.
  bool Flush() const;
  bool WaitForExit(DWORD deadline_ms = 60000) const;
  bool Running() const;

 private:
  PROCESS_INFORMATION m_process{};
  HWND m_main = nullptr;
};

}  // namespace velmar::test
