#pragma once
// Drawing the text progress bar on any wxDC, so that the control paints through its off-screen
// MemoryDC and tests paint into a bitmap with the same code.
//
// Principles of operation: PictureOf asks the model what a client area of the given size shows,
// with the default colours taken from the system's highlight and window colours. PaintProgress
// draws that picture: two solid rectangles, then the text on one line, placed by the model's
// text format in the client area and drawn twice, clipped once to the filled part and once to
// the empty part, each time in its own colour. Both draws place the text identically, so the
// halves meet exactly at the end of the bar. A picture that draws nothing leaves the DC as it
// was.

#include <wx/dc.h>
#include <wx/font.h>
#include <wx/gdicmn.h>

#include "ui/text_progress_model.h"

namespace velmar::ui {

wxColour ToWxColour(platform::ColorRef color);
platform::ColorRef FromWxColour(const wxColour& color);

ProgressPicture PictureOf(const TextProgressModel& model, wxSize size, bool vertical);

// Draws with `font` when it is valid, else with the DC's own font.
void PaintProgress(wxDC& dc, const ProgressPicture& picture, uint32_t text_format,
                   const wxFont& font);

}  // namespace velmar::ui
