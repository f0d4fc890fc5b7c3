#pragma once
// The main window on wxWidgets: dialog template 102 built as wx controls, implementing MainView
// for the window's behaviour (MainDialog), to which it forwards every event.
//
// Principles of operation: the constructor builds the controls (the drop-down lists holding the
// template's initial items, so that they are laid out wide enough for them), sets the icon and
// creates the MainDialog on `queue`, which must be the calling (UI) thread's, as the progress bar
// joins that thread's queue; the dialog's initialisation (wxEVT_INIT_DIALOG,
// sent when it is first shown, modally or not) runs MainDialog::OnInitDialog with the initial
// path. Change events: the path edit's text is set with ChangeValue and a wxChoice's selection
// with SetSelection, neither of which raises an event, so only the user's changes reach
// OnPathEditChange. Commands: 1001 Browse, 1002 StartLoad (Enter presses it, the default
// button), wxID_OK OnOK, wxID_CANCEL OnCancel (sent by Escape and the close box; a close that
// cannot be refused ends the window whatever OnCancel did). GTK has no system menu to extend: its
// items go to the window's context menu (everywhere but in the edit, which keeps GTK's own), and F1
// sends the About command; both reach MainDialog::OnSysCommand. Destroying the window runs
// OnDestroy, and deletes the behaviour, before the controls go. Never yields the event loop from a
// handler; modal boxes and dialogs run nested loops, which the behaviour copes with.
//   Behaviour     the window's MainDialog.
//   SystemMenu    the context menu standing in for the system menu.
//   EndDialog     ends a modal run; a window shown without one is hidden, keeping the result as
//                 its return code.
//   PaintIcon     draws during the paint that MainDialog::OnPaint runs in; GTK leaves minimised
//                 windows unpainted, so in practice it never does.

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "app/main_view.h"
#include "settings/profile_store.h"
#include "ui/text_progress_ctrl.h"

namespace velmar::app {

// The open-file dialog's filters as a wx wildcard ("label|pattern|label|pattern").
wxString Wildcard(const std::vector<FileFilter>& filters);

class WxMainDialog : public wxDialog, public MainView {
 public:
  WxMainDialog(platform::MessageQueue& queue, settings::ProfileStore& profile,
               std::string initial_path = {},
               std::optional<std::vector<std::string>> port_items = std::nullopt);
  ~WxMainDialog() override;

  MainDialog& Behaviour() { return *m_behaviour; }
  wxMenu& SystemMenu() { return m_system_menu; }

  void EnableControl(ControlId control, bool enable) override;
  void ShowControl(ControlId control, bool show) override;
  std::string ControlText(ControlId control) override;
  void SetControlText(ControlId control, const std::string& text) override;
  void SetComboItems(ControlId combo, const std::vector<std::string>& items) override;
  int ComboSelection(ControlId combo) override;
  void SelectComboItem(ControlId combo, int index) override;
  int FocusedControl() override;
  void FocusControl(ControlId control) override;
  platform::Window* ProgressWindow() override { return m_progress; }
  void AppendSystemMenuItem(uint32_t command, const std::string& text) override;
  bool ChooseOpenFile(const OpenFileRequest& request, std::string* path) override;
  void OpenAbout() override;
  void EndDialog(int result) override;
  bool IsMinimised() override { return IsIconized(); }
  Size ClientSize() override;
  Size IconSize() override;
  void PaintIcon(Point at) override;

 private:
  wxWindow* Control(ControlId control) const;
  wxChoice* Combo(ControlId combo) const;
  void OnInitDialogEvent(wxInitDialogEvent& event);
  void SendCommand(int id);
  void OnCloseEvent(wxCloseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnPaintEvent(wxPaintEvent& event);

  const std::string m_initial_path;
  wxTextCtrl* m_path_edit = nullptr;
  ui::TextProgressCtrl* m_progress = nullptr;
  wxMenu m_system_menu;
  wxDC* m_paint_dc = nullptr;  // during a paint only
  bool m_initialised = false;
  wxTimer m_port_timer{this};  // the port list follows adapters plugged in or pulled
  std::unique_ptr<MainDialog> m_behaviour;
};

}  // namespace velmar::app
