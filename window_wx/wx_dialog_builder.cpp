#include "window_wx/wx_dialog_builder.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/fontenum.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <utility>

#include "ui/text_progress_ctrl.h"
#include "window_wx/wx_icons.h"

namespace velmar::app {

namespace {

// Template styles with a wx counterpart. The others are what wx controls do anyway (tab stops,
// edits that scroll, visibility, which BuildTemplate applies) or have nothing in GTK (groups,
// smooth bars, scroll bars of closed lists).
constexpr std::array<std::pair<uint32_t, long>, 2> kStyles{{
    {kAlignRight, wxALIGN_RIGHT},
    {kClientEdge, wxBORDER_SUNKEN},
}};

wxString FromUtf8(std::string_view text) {
  return wxString::FromUTF8(text.data(), text.size());
}

long WxStyle(uint32_t style) {
  long wx_style = 0;
  for (const auto& [bit, wx_bit] : kStyles) {
    if ((style & bit) != 0) {
      wx_style |= wx_bit;
    }
  }
  return wx_style;
}

wxArrayString ItemsOf(int id, std::span<const InitialList> lists) {
  wxArrayString items;
  for (const InitialList& list : lists) {
    if (list.id == id) {
      for (std::string_view item : list.items) {
        items.Add(FromUtf8(item));
      }
    }
  }
  return items;
}

wxWindow* CreateControl(wxDialog& dialog, const TemplateControl& control, const wxRect& rect,
                        std::span<const InitialList> lists) {
  const wxWindowID id = control.id == kStaticId ? wxID_ANY : control.id;
  const wxPoint at = rect.GetPosition();
  const wxSize size = rect.GetSize();
  const long style = WxStyle(control.style);
  const wxString text = FromUtf8(control.text);
  switch (control.control_class) {
    case ControlClass::kEdit:
      return new wxTextCtrl(&dialog, id, text, at, size, style);
    case ControlClass::kButton:
    case ControlClass::kDefaultButton: {
      // The template sizes its buttons, not wx's standard button size; and GTK's usual padding
      // would leave the narrow "..." no room for its label.
      auto* button = new wxButton(&dialog, id, text, at, size, style | wxBU_EXACTFIT);
      if (control.control_class == ControlClass::kDefaultButton) {
        button->SetDefault();
      }
      return button;
    }
    case ControlClass::kProgress:
      return new ui::TextProgressCtrl(&dialog, id, at, size, style);
    case ControlClass::kDropDownList:
      return new wxChoice(&dialog, id, at, size, ItemsOf(control.id, lists), style);
    case ControlClass::kStatic: {
      const wxString label =
          (control.style & kNoPrefix) != 0 ? wxControl::EscapeMnemonics(text) : text;
      return new wxStaticText(&dialog, id, label, at, size, style | wxST_NO_AUTORESIZE);
    }
    case ControlClass::kIcon:
      return new wxStaticBitmap(&dialog, id, AppIconBitmap(kLargeIconSize), at, size, style);
    case ControlClass::kEtchedLine:
      return new wxStaticLine(&dialog, id, at, size, style | wxLI_HORIZONTAL);
  }
  return nullptr;
}

wxRect Planned(const wxWindow& dialog, const TemplateControl& control) {
  const DialogRect& r = control.rect;
  const int height = control.control_class == ControlClass::kDropDownList
                         ? std::min(r.height, kClosedListHeight)
                         : r.height;
  return {dialog.ConvertDialogToPixels(wxPoint(r.x, r.y)),
          dialog.ConvertDialogToPixels(wxSize(r.width, height))};
}

// What a control of that class needs of its best size.
wxSize Needed(ControlClass control_class, wxSize best) {
  best.IncTo(wxSize(0, 0));
  switch (control_class) {
    case ControlClass::kEdit:        // scrolls its text at any width
    case ControlClass::kEtchedLine:  // as long as the template draws it
      return {0, best.y};
    case ControlClass::kProgress:  // paints itself into whatever it is given
      return {0, 0};
    default:
      return best;
  }
}

// One direction of the layout: where a rectangle starts along it and how long it is.
struct Axis {
  int wxRect::*start;
  int wxRect::*length;
  int wxSize::*extent;
};
constexpr Axis kDown{&wxRect::y, &wxRect::height, &wxSize::y};
constexpr Axis kRight{&wxRect::x, &wxRect::width, &wxSize::x};

int End(const wxRect& rect, const Axis& axis) {
  return rect.*axis.start + rect.*axis.length;
}

bool Overlap(const wxRect& a, const wxRect& b, const Axis& axis) {
  return a.*axis.start < End(b, axis) && b.*axis.start < End(a, axis);
}

// Moves every control along `along` by the largest growth of the controls wholly before it
// (sharing its span of `across`, when given).
void Push(const std::vector<wxRect>& planned, std::vector<wxRect>& fitted, const Axis& along,
          const Axis* across) {
  std::vector<size_t> order(planned.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return planned[a].*along.start < planned[b].*along.start;
  });
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    int shift = 0;
    for (size_t m = 0; m < k; ++m) {
      const size_t j = order[m];
      if (End(planned[j], along) > planned[i].*along.start ||
          (across != nullptr && !Overlap(planned[i], planned[j], *across))) {
        continue;
      }
      shift = std::max(shift, End(fitted[j], along) - End(planned[j], along));
    }
    fitted[i].*along.start = planned[i].*along.start + shift;
  }
}

// The client area's far edge along `axis`, keeping the narrowest margin of the template.
int FarEdge(const std::vector<wxRect>& planned, const std::vector<wxRect>& fitted, int edge,
            const Axis& axis) {
  int margin = edge;
  for (const wxRect& rect : planned) {
    if (End(rect, axis) <= edge) {
      margin = std::min(margin, edge - End(rect, axis));
    }
  }
  int far = edge;
  for (size_t i = 0; i < planned.size(); ++i) {
    if (End(planned[i], axis) <= edge) {
      far = std::max(far, End(fitted[i], axis) + margin);
    }
  }
  return far;
}

}  // namespace

wxFont TemplateFont(const DialogTemplate& dialog_template) {
  wxFontInfo info(dialog_template.font_points);
  const wxString face = FromUtf8(dialog_template.font_face);
  if (wxFontEnumerator::IsValidFacename(face)) {
    info.FaceName(face);
  } else {
    info.Family(wxFONTFAMILY_SWISS);
  }
  return wxFont(info);
}

long DialogStyle(const DialogTemplate& dialog_template) {
  long style = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;
  if (dialog_template.minimise_box) {
    style |= wxMINIMIZE_BOX;
  }
  // A window of its own on the task bar, never made a child of whichever window is on top.
  if (dialog_template.app_window) {
    style |= wxDIALOG_NO_PARENT;
  }
  return style;
}

FittedLayout FitLayout(const std::vector<wxRect>& planned, const std::vector<wxSize>& needed,
                       wxSize client) {
  FittedLayout fitted{planned, client};
  for (size_t i = 0; i < planned.size() && i < needed.size(); ++i) {
    fitted.rects[i].width = std::max(planned[i].width, needed[i].x);
    fitted.rects[i].height = std::max(planned[i].height, needed[i].y);
  }
  Push(planned, fitted.rects, kDown, nullptr);
  Push(planned, fitted.rects, kRight, &kDown);
  for (const Axis& axis : {kDown, kRight}) {
    fitted.client.*axis.extent = FarEdge(planned, fitted.rects, client.*axis.extent, axis);
  }
  return fitted;
}

std::vector<wxWindow*> BuildTemplate(wxDialog& dialog, const DialogTemplate& dialog_template,
                                     std::span<const InitialList> lists) {
  dialog.SetFont(TemplateFont(dialog_template));
  std::vector<wxWindow*> controls;
  std::vector<wxRect> planned;
  std::vector<wxSize> needed;
  for (const TemplateControl& control : dialog_template.controls) {
    planned.push_back(Planned(dialog, control));
    wxWindow* window = CreateControl(dialog, control, planned.back(), lists);
    if ((control.style & kVisible) == 0) {
      window->Hide();
    }
    needed.push_back(Needed(control.control_class, window->GetBestSize()));
    controls.push_back(window);
  }
  const FittedLayout fitted = FitLayout(
      planned, needed,
      dialog.ConvertDialogToPixels(wxSize(dialog_template.width, dialog_template.height)));
  for (size_t i = 0; i < controls.size(); ++i) {
    controls[i]->SetSize(fitted.rects[i]);
  }
  dialog.SetClientSize(fitted.client);
  return controls;
}

}  // namespace velmar::app
