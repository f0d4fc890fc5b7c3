#include "ui/text_progress_ctrl.h"

#include <wx/dcclient.h>
#include <wx/gauge.h>

#include "ui/memory_dc.h"
#include "ui/progress_painter.h"

namespace velmar::ui {

TextProgressCtrl::TextProgressCtrl() = default;

TextProgressCtrl::TextProgressCtrl(platform::MessageQueue& queue) : platform::Window(queue) {}

TextProgressCtrl::TextProgressCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                   const wxSize& size, long style) {
  Create(parent, id, pos, size, style);
}

TextProgressCtrl::~TextProgressCtrl() {
  // The wx window outlives this part of the object by a little; no event may reach it here.
  Unbind(wxEVT_PAINT, &TextProgressCtrl::OnPaint, this);
  Unbind(wxEVT_SIZE, &TextProgressCtrl::OnSize, this);
}

bool TextProgressCtrl::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                              const wxSize& size, long style) {
  // Before Create, so that GTK never paints a background of its own.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  if (!wxWindow::Create(parent, id, pos, size, style | wxFULL_REPAINT_ON_RESIZE)) {
    return false;
  }
  Bind(wxEVT_PAINT, &TextProgressCtrl::OnPaint, this);
  Bind(wxEVT_SIZE, &TextProgressCtrl::OnSize, this);
  return true;
}

platform::LResult TextProgressCtrl::HandleMessage(platform::MessageId message,
                                                  platform::WParam wparam,
                                                  platform::LParam lparam) {
  if (message == platform::WM_PAINT) {
    Update();
    return 0;
  }
  // Anything else is no message of a progress bar; a plain window answers 0.
  return m_model.HandleMessage(message, wparam, lparam).value_or(0);
}

void TextProgressCtrl::SetLabel(const wxString& label) {
  m_model.SetText(label.utf8_str());
}

void TextProgressCtrl::OnPaint(wxPaintEvent&) {
  wxPaintDC target(this);
  const wxSize size = GetClientSize();
  const ProgressPicture picture = PictureOf(m_model, size, HasFlag(wxGA_VERTICAL));
  const wxRect area = GetUpdateClientRect().Intersect(wxRect(size));
  if (!picture.draws || area.IsEmpty()) {
    return;
  }
  MemoryDC dc(target, area);
  const wxWindow* parent = GetParent();
  PaintProgress(dc, picture, m_model.TextFormat(), parent ? parent->GetFont() : GetFont());
}

void TextProgressCtrl::OnSize(wxSizeEvent& event) {
  m_model.Resized();
  event.Skip();
}

bool TextProgressCtrl::HasWindow() const {
  return GetHandle() != nullptr;
}

int TextProgressCtrl::ClientWidth() const {
  return GetClientSize().x;
}

void TextProgressCtrl::Invalidate() {
  Refresh(true);
}

void TextProgressCtrl::RepaintNow() {
  Refresh(true);
  Update();
}

platform::LResult TextProgressCtrl::DefaultHandling(platform::MessageId message, platform::WParam,
                                                    platform::LParam lparam) {
  if (message != platform::WM_SETTEXT) {
    return 0;
  }
  const char* text = reinterpret_cast<const char*>(lparam);
  wxWindow::SetLabel(wxString::FromUTF8(text == nullptr ? "" : text));
  return 1;
}

}  // namespace velmar::ui
