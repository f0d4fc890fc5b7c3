#include "ui/progress_painter.h"

#include <wx/settings.h>

namespace velmar::ui {

namespace {

wxRect ToWxRect(const PixelRect& rect) {
  return wxRect(rect.left, rect.top, rect.Width(), rect.Height());
}

void Fill(wxDC& dc, const PixelRect& rect, platform::ColorRef color) {
  if (rect.IsEmpty()) {
    return;
  }
  dc.SetBrush(wxBrush(ToWxColour(color)));
  dc.DrawRectangle(ToWxRect(rect));
}

// Where a text of `extent` starts in `client` under the DrawText format flags.
wxPoint TextOrigin(const PixelRect& client, wxSize extent, uint32_t format) {
  wxPoint origin(client.left, client.top);
  if (format & DT_CENTER) {
    origin.x = (client.left + client.right - extent.x) / 2;
  }
  if ((format & DT_VCENTER) && (format & DT_SINGLELINE)) {
    origin.y = (client.top + client.bottom - extent.y) / 2;
  }
  return origin;
}

void DrawClipped(wxDC& dc, const wxString& text, wxPoint origin, const PixelRect& clip,
                 platform::ColorRef color) {
  if (clip.IsEmpty()) {
    return;
  }
  wxDCClipper clipper(dc, ToWxRect(clip));
  dc.SetTextForeground(ToWxColour(color));
  dc.DrawText(text, origin);
}

}  // namespace

wxColour ToWxColour(platform::ColorRef color) {
  return wxColour(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

platform::ColorRef FromWxColour(const wxColour& color) {
  return platform::Rgb(color.Red(), color.Green(), color.Blue());
}

ProgressPicture PictureOf(const TextProgressModel& model, wxSize size, bool vertical) {
  return model.Picture(PixelRect{0, 0, size.x, size.y}, vertical,
                       FromWxColour(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)),
                       FromWxColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW)));
}

void PaintProgress(wxDC& dc, const ProgressPicture& picture, uint32_t text_format,
                   const wxFont& font) {
  if (!picture.draws) {
    return;
  }
  dc.SetPen(*wxTRANSPARENT_PEN);
  Fill(dc, picture.filled, picture.bar);
  Fill(dc, picture.empty, picture.background);
  if (!picture.has_text) {
    return;
  }
  if (font.IsOk()) {
    dc.SetFont(font);
  }
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  const wxString text = wxString::FromUTF8(picture.text);
  const wxPoint origin = TextOrigin(picture.client, dc.GetTextExtent(text), text_format);
  DrawClipped(dc, text, origin, picture.filled, picture.text_over_bar);
  DrawClipped(dc, text, origin, picture.empty, picture.text_over_background);
}

}  // namespace velmar::ui
