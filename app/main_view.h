#pragma once
// What the main window's behaviour (MainDialog) needs from a toolkit: the controls of the main
// window, named by their identifiers, and a few window services. A front end (wx, a native
// dialog, a test's fake) implements this and forwards its events to MainDialog; it holds no
// rules of its own.
//
// Principles of operation: every call comes from the user-interface thread. Combo boxes are
// plain drop-down lists addressed by index; which item an exchange selects is MainDialog's
// business. Setting a control's contents must not reach MainDialog as a user change (a front
// end whose toolkit raises change events on programmatic changes may forward them anyway:
// MainDialog ignores those that arrive during an exchange). Message boxes are not here: they go
// through platform::ShowMessageBox, whose handler the front end installs.
//   EnableControl, ShowControl   enable or disable, show or hide one control.
//   ControlText, SetControlText  the path edit's text.
//   SetComboItems                replaces a combo box's list; nothing is selected afterwards.
//   ComboSelection               index of the selected item, kNoSelection when none.
//   SelectComboItem              selects the item at `index` (always a valid index).
//   FocusedControl, FocusControl
//                                the control that has the keyboard focus (0 when none has it),
//                                and moving the focus to one. A disabled control loses it.
//   ProgressWindow               the progress bar as a message window of the user-interface
//                                thread's queue; it must stay valid until MainDialog::OnDestroy.
//   AppendSystemMenuItem         a separator and an item with that text and command to the
//                                window's system menu; nothing when the window has none.
//   ChooseOpenFile               runs the open-file dialog; true with the full path when the
//                                user confirmed, false (path untouched) when cancelled.
//   OpenAbout                    runs the About box modally.
//   EndDialog                    ends the window's modal run with the result.
//   IsMinimised, ClientSize, IconSize, PaintIcon
//                                the minimised window's painting: PaintIcon erases the icon's
//                                background and draws the window's icon at the point.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window_message.h"

namespace velmar::app {

// The main window's controls, by the identifiers of its template.
enum ControlId : int {
  kPathEdit = 1000,
  kBrowseButton = 1001,
  kLoadButton = 1002,
  kProgressBar = 1003,
  kPortCombo = 1009,
  kBaudCombo = 1010,
};

// Commands.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
// The About item of the system menu; system commands keep their low four bits for the system.
inline constexpr uint32_t ABOUT_COMMAND = 16;
inline constexpr uint32_t kSystemCommandMask = 0xFFF0;

inline constexpr int kNoSelection = -1;

struct FileFilter {
  std::string label;    // "Файлы с программами (*.bin)"
  std::string pattern;  // "*.bin"
};

struct OpenFileRequest {
  std::vector<FileFilter> filters;
  std::string default_extension;  // without the dot
  std::string initial_name;
  bool must_exist = true;
};

struct Size {
  int32_t width = 0;
  int32_t height = 0;
};

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const Point&) const = default;
};

class MainView {
 public:
  virtual ~MainView() = default;

  virtual void EnableControl(ControlId control, bool enable) = 0;
  virtual void ShowControl(ControlId control, bool show) = 0;
  virtual std::string ControlText(ControlId control) = 0;
  virtual void SetControlText(ControlId control, const std::string& text) = 0;
  virtual void SetComboItems(ControlId combo, const std::vector<std::string>& items) = 0;
  virtual int ComboSelection(ControlId combo) = 0;
  virtual void SelectComboItem(ControlId combo, int index) = 0;
  virtual int FocusedControl() = 0;
  virtual void FocusControl(ControlId control) = 0;
  virtual platform::Window* ProgressWindow() = 0;

  virtual void AppendSystemMenuItem(uint32_t command, const std::string& text) = 0;
  virtual bool ChooseOpenFile(const OpenFileRequest& request, std::string* path) = 0;
  virtual void OpenAbout() = 0;
  virtual void EndDialog(int result) = 0;

  virtual bool IsMinimised() = 0;
  virtual Size ClientSize() = 0;
  virtual Size IconSize() = 0;
  virtual void PaintIcon(Point at) = 0;
};

}  // namespace velmar::app
