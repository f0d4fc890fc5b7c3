#include "window_wx/wx_main_dialog.h"

#include <wx/dcclient.h>
#include <wx/filedlg.h>
#include <wx/settings.h>

#include <array>
#include <utility>

#include "app/combo_lists.h"
#include "app/control_routes.h"
#include "app/dialog_templates.h"
#include "window_wx/wx_about_dialog.h"
#include "window_wx/wx_dialog_builder.h"
#include "window_wx/wx_icons.h"

namespace velmar::app {

namespace {

constexpr int kPortRefreshMs = 1000;  // drivers on Linux announce nothing to a window

// The lists the template's drop-down lists start with; the layout makes them wide enough.
const std::array<InitialList, 2> kInitialLists = {
    InitialList{kPortCombo, kComPortItems},
    InitialList{kBaudCombo, kBaudRateItems},
};

const wxEventTypeTag<wxCommandEvent>& EventOf(ControlEvent event) {
  return event == ControlEvent::kTextChanged ? wxEVT_TEXT : wxEVT_BUTTON;
}

// wx sends OK and Cancel (Escape, the close box) as its own commands; the template's controls
// keep their identifiers.
int WxIdOf(int id) {
  return id == IDOK ? wxID_OK : id == IDCANCEL ? wxID_CANCEL : id;
}

wxString FromUtf8(const std::string& text) {
  return wxString::FromUTF8(text.data(), text.size());
}

bool IsPattern(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

}  // namespace

wxString Wildcard(const std::vector<FileFilter>& filters) {
  wxString wildcard;
  for (const FileFilter& filter : filters) {
    if (!wildcard.empty()) {
      wildcard += '|';
    }
    wildcard += FromUtf8(filter.label) + '|' + FromUtf8(filter.pattern);
  }
  return wildcard;
}

WxMainDialog::WxMainDialog(platform::MessageQueue& queue, settings::ProfileStore& profile,
                           std::string initial_path,
                           std::optional<std::vector<std::string>> port_items)
    : m_initial_path(std::move(initial_path)) {
  const DialogTemplate& main_template = MainTemplate();
  Create(nullptr, wxID_ANY,
         wxString::FromUTF8(main_template.caption.data(), main_template.caption.size()),
         wxDefaultPosition, wxDefaultSize, DialogStyle(main_template));
  BuildTemplate(*this, main_template, kInitialLists);
  m_path_edit = wxDynamicCast(Control(kPathEdit), wxTextCtrl);
  m_progress = dynamic_cast<ui::TextProgressCtrl*>(Control(kProgressBar));
  SetIcons(AppIcons());
  CentreOnScreen();
  m_behaviour = std::make_unique<MainDialog>(queue, *this, profile, std::move(port_items));

  Bind(wxEVT_INIT_DIALOG, &WxMainDialog::OnInitDialogEvent, this);
  for (const ControlRoute& route : ControlRoutes()) {
    Bind(
        EventOf(route.event),
        [this, handler = route.handler](wxCommandEvent&) {
          if (m_behaviour != nullptr) {
            ((*m_behaviour).*handler)();
          }
        },
        WxIdOf(route.id));
  }
  Bind(wxEVT_CLOSE_WINDOW, &WxMainDialog::OnCloseEvent, this);
  Bind(wxEVT_CONTEXT_MENU, &WxMainDialog::OnContextMenu, this);
  Bind(wxEVT_CHAR_HOOK, &WxMainDialog::OnCharHook, this);
  Bind(wxEVT_PAINT, &WxMainDialog::OnPaintEvent, this);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
    if (m_behaviour != nullptr) {
      m_behaviour->RefreshPorts();
    }
  });
}

WxMainDialog::~WxMainDialog() {
  // The run goes while the progress bar it steps still exists, and no event that the controls
  // raise while they are destroyed reaches a behaviour that is gone.
  m_port_timer.Stop();
  m_behaviour->OnDestroy();
  m_behaviour.reset();
}

wxWindow* WxMainDialog::Control(ControlId control) const {
  return FindWindow(control);
}

wxChoice* WxMainDialog::Combo(ControlId combo) const {
  return wxDynamicCast(Control(combo), wxChoice);
}

void WxMainDialog::OnInitDialogEvent(wxInitDialogEvent&) {
  if (!m_initialised) {
    m_initialised = true;
    m_behaviour->OnInitDialog(m_initial_path);
    m_port_timer.Start(kPortRefreshMs);
  }
  m_path_edit->SetFocus();  // the first tab stop
}

void WxMainDialog::EnableControl(ControlId control, bool enable) {
  if (wxWindow* window = Control(control)) {
    window->Enable(enable);
  }
}

void WxMainDialog::ShowControl(ControlId control, bool show) {
  if (wxWindow* window = Control(control)) {
    window->Show(show);
  }
}

std::string WxMainDialog::ControlText(ControlId control) {
  const auto* edit = wxDynamicCast(Control(control), wxTextCtrl);
  return edit != nullptr ? edit->GetValue().utf8_string() : std::string();
}

void WxMainDialog::SetControlText(ControlId control, const std::string& text) {
  if (auto* edit = wxDynamicCast(Control(control), wxTextCtrl)) {
    edit->ChangeValue(FromUtf8(text));
  }
}

void WxMainDialog::SetComboItems(ControlId combo, const std::vector<std::string>& items) {
  wxArrayString list;
  for (const std::string& item : items) {
    list.Add(FromUtf8(item));
  }
  if (wxChoice* choice = Combo(combo)) {
    choice->Set(list);
  }
}

int WxMainDialog::ComboSelection(ControlId combo) {
  const wxChoice* choice = Combo(combo);
  const int selection = choice != nullptr ? choice->GetSelection() : wxNOT_FOUND;
  return selection == wxNOT_FOUND ? kNoSelection : selection;
}

void WxMainDialog::SelectComboItem(ControlId combo, int index) {
  if (wxChoice* choice = Combo(combo)) {
    choice->SetSelection(index);
  }
}

int WxMainDialog::FocusedControl() {
  // GTK takes the focus from a control it disables without always telling wx.
  const wxWindow* focus = FindFocus();
  return focus != nullptr && focus != this && focus->GetParent() == this && focus->IsEnabled()
             ? focus->GetId()
             : 0;
}

void WxMainDialog::FocusControl(ControlId control) {
  if (wxWindow* window = Control(control)) {
    window->SetFocus();
  }
}

void WxMainDialog::AppendSystemMenuItem(uint32_t command, const std::string& text) {
  // The context menu starts empty: a separator only goes between items.
  if (m_system_menu.GetMenuItemCount() > 0) {
    m_system_menu.AppendSeparator();
  }
  const int id = static_cast<int>(command);
  m_system_menu.Append(id, FromUtf8(text));
  Bind(
      wxEVT_MENU,
      [this](wxCommandEvent& event) {
        if (m_behaviour != nullptr) {
          m_behaviour->OnSysCommand(static_cast<uint32_t>(event.GetId()));
        }
      },
      id);
}

void WxMainDialog::SendCommand(int id) {
  wxCommandEvent command(wxEVT_BUTTON, id);
  command.SetEventObject(this);
  ProcessWindowEvent(command);
}

void WxMainDialog::OnCloseEvent(wxCloseEvent& event) {
  // wx would end a dialog without a Cancel button here; the behaviour decides instead.
  SendCommand(wxID_CANCEL);
  if (!event.CanVeto() && IsShown()) {
    EndDialog(IDCANCEL);  // forced: the run goes with the window
  }
}

void WxMainDialog::OnContextMenu(wxContextMenuEvent& event) {
  // The edit keeps GTK's own menu (cut, copy, paste).
  if (wxDynamicCast(event.GetEventObject(), wxTextCtrl) != nullptr ||
      m_system_menu.GetMenuItemCount() == 0) {
    event.Skip();
    return;
  }
  PopupMenu(&m_system_menu);
}

void WxMainDialog::OnCharHook(wxKeyEvent& event) {
  if (event.GetModifiers() != wxMOD_NONE) {
    event.Skip();
    return;
  }
  if (event.GetKeyCode() == WXK_ESCAPE) {
    // wx turns Escape into a command only for a dialog with a Cancel or OK button.
    SendCommand(wxID_CANCEL);
  } else if (event.GetKeyCode() == WXK_F1 &&
             m_system_menu.FindItem(static_cast<int>(ABOUT_COMMAND)) != nullptr &&
             m_behaviour != nullptr) {
    m_behaviour->OnSysCommand(ABOUT_COMMAND);
  } else {
    event.Skip();
  }
}

bool WxMainDialog::ChooseOpenFile(const OpenFileRequest& request, std::string* path) {
  long style = wxFD_OPEN;
  if (request.must_exist) {
    style |= wxFD_FILE_MUST_EXIST;
  }
  // GTK's chooser lists the filter's files by itself, and would take a pattern for a file of that
  // name. It returns no typed name of a file that does not exist, so there is never a name for
  // the default extension to complete.
  const wxString initial =
      IsPattern(request.initial_name) ? wxString() : FromUtf8(request.initial_name);
  wxFileDialog dialog(this, wxFileSelectorPromptStr, wxString(), initial, Wildcard(request.filters),
                      style);
  if (dialog.ShowModal() != wxID_OK) {
    return false;
  }
  *path = dialog.GetPath().utf8_string();
  return true;
}

void WxMainDialog::OpenAbout() {
  AboutDialog about(this);
  about.ShowModal();
}

void WxMainDialog::EndDialog(int result) {
  if (IsModal()) {
    EndModal(result);
  } else {
    SetReturnCode(result);
    Hide();
  }
}

Size WxMainDialog::ClientSize() {
  const wxSize size = GetClientSize();
  return {size.x, size.y};
}

Size WxMainDialog::IconSize() {
  const int width = wxSystemSettings::GetMetric(wxSYS_ICON_X, this);
  const int height = wxSystemSettings::GetMetric(wxSYS_ICON_Y, this);
  return width > 0 && height > 0 ? Size{width, height} : Size{kLargeIconSize, kLargeIconSize};
}

void WxMainDialog::OnPaintEvent(wxPaintEvent&) {
  wxPaintDC dc(this);
  m_paint_dc = &dc;
  if (m_behaviour != nullptr) {
    m_behaviour->OnPaint();  // false: GTK has painted the window already
  }
  m_paint_dc = nullptr;
}

void WxMainDialog::PaintIcon(Point at) {
  if (m_paint_dc == nullptr) {
    return;
  }
  m_paint_dc->SetBackground(wxBrush(GetBackgroundColour()));
  m_paint_dc->Clear();
  m_paint_dc->DrawBitmap(AppIconBitmap(IconSize().width), at.x, at.y, true);
}

}  // namespace velmar::app
