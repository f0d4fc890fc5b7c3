#pragma once
// Builds a wx dialog from one of the dialog templates.
//
// Principles of operation: the dialog takes the template's font before anything is converted, so
// that dialog units are that font's units (the template's face where the system has it, else the
// system's sans-serif at the same size). Every control is created in table order, which is wx's
// tab order, at its rectangle converted to pixels; a drop-down list at the height of its closed
// box, the template's height being that of the open list. GTK controls need more room than the
// template gives them, so each one grows to its best size (where that size means something for
// its class) and FitLayout moves what lies below, or to the right on the same row, by the growth
// and widens or heightens the client area: nothing is clipped and the template's gaps and
// margins stay.
//   TemplateFont     the font of a template.
//   DialogStyle      the wx window style of a template's dialog.
//   FitLayout        from the planned rectangles, the sizes the controls need (0: no need in that
//                    direction) and the planned client size, the final rectangles and client
//                    size. A control is pushed down by the growth of every control wholly above
//                    it, and right by that of every control wholly to its left whose rows it
//                    shares; the client area keeps the template's narrowest margin to the
//                    controls that lay inside it. Controls that the template lets stick out of
//                    the client area (an etched line across the box) do not widen it.
//   BuildTemplate    creates the controls of `dialog_template` in `dialog`, which must exist and
//                    be empty, fills the drop-down lists named in `lists`, lays them out, sets
//                    the client size and returns the controls in table order.

#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/gdicmn.h>

#include <span>
#include <string_view>
#include <vector>

#include "app/dialog_templates.h"

namespace velmar::app {

// The closed box of a drop-down list, in dialog units: as tall as the template's edit.
inline constexpr int kClosedListHeight = 14;

struct InitialList {
  int id;
  std::span<const std::string_view> items;
};

struct FittedLayout {
  std::vector<wxRect> rects;
  wxSize client;
};

wxFont TemplateFont(const DialogTemplate& dialog_template);
long DialogStyle(const DialogTemplate& dialog_template);
FittedLayout FitLayout(const std::vector<wxRect>& planned, const std::vector<wxSize>& needed,
                       wxSize client);
std::vector<wxWindow*> BuildTemplate(wxDialog& dialog, const DialogTemplate& dialog_template,
                                     std::span<const InitialList> lists = {});

}  // namespace velmar::app
