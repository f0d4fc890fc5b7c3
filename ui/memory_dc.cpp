#include "ui/memory_dc.h"

namespace velmar::ui {

MemoryDC::MemoryDC(wxDC& target, const wxRect& area)
    : wxMemoryDC(&target), m_target(target), m_rect(area) {
  if (m_rect.IsEmpty()) {
    return;
  }
  // Compatible with the target, not with this context, so that the copy needs no conversion.
  m_bitmap.Create(m_rect.width, m_rect.height, m_target);
  SelectObject(m_bitmap);
  SetLogicalOrigin(m_rect.x, m_rect.y);
}

MemoryDC::~MemoryDC() {
  if (!m_bitmap.IsOk()) {
    return;
  }
  m_target.Blit(m_rect.x, m_rect.y, m_rect.width, m_rect.height, this, m_rect.x, m_rect.y);
  SelectObject(wxNullBitmap);
}

}  // namespace velmar::ui
