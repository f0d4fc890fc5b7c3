#pragma once
// The About box: dialog template 100 (icon, name, version, date, an etched line, contacts),
// shown modally over the main window.
//
// Principles of operation: it has no buttons and no behaviour beyond closing: Escape and the
// close box end it with wxID_CANCEL, Enter with wxID_OK.

#include <wx/dialog.h>

namespace velmar::app {

class AboutDialog : public wxDialog {
 public:
  explicit AboutDialog(wxWindow* parent);

 private:
  void OnCharHook(wxKeyEvent& event);
};

}  // namespace velmar::app
