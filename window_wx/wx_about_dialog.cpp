#include "window_wx/wx_about_dialog.h"

#include "app/dialog_templates.h"
#include "window_wx/wx_dialog_builder.h"

namespace velmar::app {

AboutDialog::AboutDialog(wxWindow* parent) {
  const DialogTemplate& about = AboutTemplate();
  Create(parent, wxID_ANY, wxString::FromUTF8(about.caption.data(), about.caption.size()),
         wxDefaultPosition, wxDefaultSize, DialogStyle(about));
  BuildTemplate(*this, about);
  CentreOnParent();
  Bind(wxEVT_CHAR_HOOK, &AboutDialog::OnCharHook, this);
}

void AboutDialog::OnCharHook(wxKeyEvent& event) {
  // wx would turn these keys into commands only for a dialog with buttons.
  const int key = event.GetKeyCode();
  if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
    EndDialog(wxID_OK);
  } else if (key == WXK_ESCAPE) {
    EndDialog(wxID_CANCEL);
  } else {
    event.Skip();
  }
}

}  // namespace velmar::app
