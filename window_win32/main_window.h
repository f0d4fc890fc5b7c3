#pragma once
// The main window on Win32: template 102 run by the system's dialog manager, implementing
// MainView for the window's behaviour (MainDialog), to which it forwards every event.
//
// Principles of operation: Run shows the dialog modally (DialogBoxIndirectParamW over the
// in-memory template), so the dialog manager's own loop handles Tab, Enter (the default button)
// and Escape. MainDialog is made on construction, on `queue`, which must be the calling (UI)
// thread's, and initialised by WM_INITDIALOG. The queue's wake handler posts kWakeMessage to the
// dialog, whose handler dispatches what is pending: the run's notifications arrive through the
// Win32 queue, also inside the nested loops of message boxes and the open-file dialog. A wake is
// posted only when none is waiting, so a fast run cannot flood the Win32 queue.
// Commands: 1001 Browse, 1002 StartLoad, IDOK OnOK, IDCANCEL and WM_CLOSE OnCancel (Escape, the
// close box, Alt+F4), the path edit's EN_CHANGE OnPathEditChange. The system menu's commands and
// WM_HELP go to OnSysCommand; F1 in the window is made WM_HELP by a filter of the dialog's loop. A
// log-off or shutdown (WM_ENDSESSION) abandons the run, so the port is closed properly before the
// process ends. WM_DESTROY reaches the dialog before its controls go, so the run is deleted while
// the progress bar it steps still exists.
//   Handle     the dialog's window while it exists, else null.
//   Run        the modal run; the result of EndDialog, or -1 when the dialog cannot be made.

#include "window_win32/win32.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "app/main_view.h"
#include "settings/profile_store.h"

namespace velmar::app {

inline constexpr UINT kWakeMessage = WM_APP + 1;

class Win32MainDialog : public MainView {
 public:
  Win32MainDialog(HINSTANCE instance, platform::MessageQueue& queue,
                  settings::ProfileStore& profile, std::string initial_path = {},
                  std::optional<std::vector<std::string>> port_items = std::nullopt);
  ~Win32MainDialog() override;
  Win32MainDialog(const Win32MainDialog&) = delete;
  Win32MainDialog& operator=(const Win32MainDialog&) = delete;

  HWND Handle() const { return m_window; }
  INT_PTR Run();

  void EnableControl(ControlId control, bool enable) override;
  void ShowControl(ControlId control, bool show) override;
  std::string ControlText(ControlId control) override;
  void SetControlText(ControlId control, const std::string& text) override;
  void SetComboItems(ControlId combo, const std::vector<std::string>& items) override;
  int ComboSelection(ControlId combo) override;
  void SelectComboItem(ControlId combo, int index) override;
  int FocusedControl() override;
  void FocusControl(ControlId control) override;
  platform::Window* ProgressWindow() override;
  void AppendSystemMenuItem(uint32_t command, const std::string& text) override;
  bool ChooseOpenFile(const OpenFileRequest& request, std::string* path) override;
  void OpenAbout() override;
  void EndDialog(int result) override;
  bool IsMinimised() override;
  Size ClientSize() override;
  Size IconSize() override;
  void PaintIcon(Point at) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  void OnCommand(int id, int code);
  bool OnPaint();
  void OnDestroy();
  HWND Control(ControlId control) const;

  HINSTANCE m_instance;
  platform::MessageQueue& m_queue;
  const std::string m_initial_path;
  HWND m_window = nullptr;
  HICON m_large_icon = nullptr;
  HICON m_small_icon = nullptr;
  HDC m_paint_dc = nullptr;  // during a paint only
  std::atomic<bool> m_wake_posted{false};
  std::unique_ptr<MainDialog> m_behaviour;
};

}  // namespace velmar::app
