#pragma once
// Which of the main window's controls and commands reach which handler of its behaviour: one
// table for every front end.
//
// Principles of operation: a route names a control (or the command IDOK, IDCANCEL) by the
// template's identifier, what happened to it, and the MainDialog handler that answers. A front
// end maps what happened to its toolkit's event (wx: wxEVT_TEXT, wxEVT_BUTTON; Win32: EN_CHANGE,
// BN_CLICKED), and the commands to its own identifiers where its toolkit numbers them otherwise
// (wx: wxID_OK, wxID_CANCEL), and walks the table; it routes nothing of its own.

#include <span>

#include "app/main_dialog.h"

namespace velmar::app {

enum class ControlEvent {
  kTextChanged,  // the user changed an edit's text
  kClicked,      // a button was pressed, or its command sent
};

struct ControlRoute {
  int id;
  ControlEvent event;
  void (MainDialog::*handler)();
};

std::span<const ControlRoute> ControlRoutes();

}  // namespace velmar::app
