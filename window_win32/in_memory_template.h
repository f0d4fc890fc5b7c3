#pragma once
// A dialog template of app/dialog_templates as the DLGTEMPLATEEX that the system's dialog manager
// takes (DialogBoxIndirectParamW), built in memory: the layout has one source for both front
// ends, and the dialog manager itself creates the controls, applies the font, converts the
// dialog units (so the window follows the system's DPI) and runs the keyboard.
//
// Principles of operation: each template control class maps onto a Win32 window class and base
// style, and each template style bit onto a window style or extended style, in one table each.
// A class that Win32 predefines is named by its atom, the text progress bar by its registered
// class name (kProgressClassName), an icon by its resource ordinal. Texts are UTF-8 in the
// table and UTF-16 in the template. The dialog's font: "MS Shell Dlg" is the system's logical
// shell font (DS_SHELLFONT), any other face is taken as named (DS_SETFONT).
//   BuildDialogTemplate  the template's bytes, items each aligned to four bytes. The buffer is
//                        returned as 32-bit words, so that its start is aligned as the dialog
//                        manager requires.

#include <cstdint>
#include <vector>

#include "app/dialog_templates.h"

namespace velmar::app {

inline constexpr const wchar_t* kProgressClassName = L"VelmarTextProgress";

struct Win32Style {
  uint32_t style = 0;
  uint32_t ex_style = 0;
};

// The Win32 styles of one template control (without WS_CHILD's neighbours from the class).
Win32Style ControlStyle(const TemplateControl& control);
Win32Style DialogStyle(const DialogTemplate& dialog_template);

std::vector<uint32_t> BuildDialogTemplate(const DialogTemplate& dialog_template);

}  // namespace velmar::app
