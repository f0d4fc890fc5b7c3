#pragma once
// The text progress bar as a wx control: a bar in one colour over a background in another and,
// centred over both, the window text or, when that is empty, the percentage, drawn so that it
// stays readable wherever the bar ends.
//
// Principles of operation: the control paints itself entirely (a native GTK progress bar cannot
// be painted over): no background erase, every paint through a MemoryDC covering the area to be
// repainted, with the parent window's font. Its state and the answers to the progress-bar
// messages live in a TextProgressModel; the typed operations below and the numbered messages
// that arrive through HandleMessage run the same handlers. It is a platform::Window of the
// queue of the thread that creates it, which must be the UI thread: a message sent from another
// thread (the engine's per-block PBM_STEPIT) runs there while the sender waits, once the queue
// is pumped (QueuePump). Destroying the control releases any sender still waiting for it.
//   no window     a control constructed without a parent has no window until Create: position
//                 changes then return -1 and store nothing; the setters store without
//                 invalidating.
//   wxGA_VERTICAL the bar grows upward from the bottom edge and no text is drawn.
//   WM_PAINT      sent as a message, paints what is marked for repainting now.
//   lower >= upper the paint draws nothing (the paint is acknowledged all the same, as wx
//                 requires of every paint handler).

#include <wx/window.h>

#include <cstddef>
#include <cstdint>

#include "platform/progress_messages.h"
#include "platform/window_message.h"
#include "ui/text_progress_model.h"

namespace velmar::ui {

class TextProgressCtrl : public wxWindow, public platform::Window, private ProgressView {
 public:
  // On the calling thread's queue, which must exist.
  TextProgressCtrl();
  explicit TextProgressCtrl(platform::MessageQueue& queue);
  TextProgressCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
                   const wxSize& size = wxDefaultSize, long style = 0);
  ~TextProgressCtrl() override;

  bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
              const wxSize& size = wxDefaultSize, long style = 0);

  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;

  void SetRange(uint16_t lower, uint16_t upper) { m_model.SetRange(lower, upper); }
  void SetRange32(int32_t lower, int32_t upper) { m_model.SetRange32(lower, upper); }
  int32_t SetPos(int32_t position) { return m_model.SetPos(position); }
  int32_t OffsetPos(int32_t increment) { return m_model.DeltaPos(increment); }
  int32_t SetStep(int32_t step) { return m_model.SetStep(step); }
  int32_t StepIt() { return m_model.StepIt(); }
  int32_t GetRange(bool lower_wanted, platform::PbRange* range = nullptr) const {
    return m_model.GetRange(lower_wanted, range);
  }
  int32_t GetPos() const { return m_model.GetPos(); }
  platform::ColorRef SetBarColor(platform::ColorRef color) { return m_model.SetBarColor(color); }
  platform::ColorRef SetBkColor(platform::ColorRef color) { return m_model.SetBkColor(color); }
  platform::ColorRef SetTextColor(platform::ColorRef color) { return m_model.SetTextColor(color); }
  void SetShowText(bool show) { m_model.SetShowText(show); }
  // UTF-8; null means empty. The wx label is kept as the window's own copy of the text.
  void SetWindowText(const char* text) { m_model.SetText(text); }
  size_t GetWindowText(char* buffer, size_t size) const { return m_model.GetText(buffer, size); }
  void SetLabel(const wxString& label) override;

  const TextProgressModel& Model() const { return m_model; }

 private:
  void OnPaint(wxPaintEvent& event);
  void OnSize(wxSizeEvent& event);

  bool HasWindow() const override;
  int ClientWidth() const override;
  void Invalidate() override;
  void RepaintNow() override;
  platform::LResult DefaultHandling(platform::MessageId message, platform::WParam wparam,
                                    platform::LParam lparam) override;

  TextProgressModel m_model{*this};
};

}  // namespace velmar::ui
