#pragma once
// An off-screen surface for one paint, so that a self-painted control never flickers.
//
// Principles of operation: a MemoryDC covers one area of a target DC (for a paint, the bounding
// box of what is to be repainted), in the target's logical coordinates. Its bitmap is exactly
// that area's size and is made compatible with the target; drawing on the MemoryDC in the
// target's coordinates lands in the bitmap, and the destructor copies the bitmap to the target
// in one Blit and releases it. An empty area gets no bitmap: the MemoryDC is then not IsOk(),
// draws nothing and copies nothing.

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/gdicmn.h>

namespace velmar::ui {

class MemoryDC : public wxMemoryDC {
 public:
  MemoryDC(wxDC& target, const wxRect& area);
  ~MemoryDC() override;
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;

 private:
  wxBitmap m_bitmap;
  wxDC& m_target;
  wxRect m_rect;
};

}  // namespace velmar::ui
