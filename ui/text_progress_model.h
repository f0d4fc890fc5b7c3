#pragma once
// What the text progress bar knows and does, without any GUI: its range, position, step, text
// and colours, the answers to the progress-bar messages, when a change needs a repaint, and what
// a paint draws.
//
// Principles of operation: the model belongs to one window (a ProgressView) and is used on that
// window's thread only. Every value is stored as given: the position is neither clamped to the
// range nor wrapped, and the bounds need not be ordered. A setter that changes the picture asks
// the view to invalidate (repaint later); a position change asks for a repaint at once, but only
// when the filled length in pixels changes. Picture() turns the state into rectangles, colours
// and a text; drawing them is the view's business.
//   HandleMessage  decodes one of the control's window messages and runs its handler; nullopt
//                  for a message that is not one of them.
//   SetPos         without a window returns -1 and stores nothing; otherwise the previous
//                  position. With lower == upper there is no length to compare: the cached
//                  length is forgotten and nothing is repainted (the paint draws nothing then).
//   GetText        copies a whole-character prefix of the text that fits with its terminator.
//   Picture        draws == false when lower >= upper: nothing is painted then.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/progress_messages.h"
#include "platform/window_message.h"

namespace velmar::ui {

// Text layout flags, numbered as DrawText numbers them.
inline constexpr uint32_t DT_CENTER = 0x01;
inline constexpr uint32_t DT_VCENTER = 0x04;
inline constexpr uint32_t DT_SINGLELINE = 0x20;

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const PixelRect&) const = default;
};

// What one paint draws, in client coordinates.
struct ProgressPicture {
  bool draws = false;
  PixelRect client;
  PixelRect filled;
  PixelRect empty;
  platform::ColorRef bar = 0;
  platform::ColorRef background = 0;
  bool has_text = false;
  std::string text;
  platform::ColorRef text_over_bar = 0;
  platform::ColorRef text_over_background = 0;
};

// The window a model belongs to.
class ProgressView {
 public:
  virtual bool HasWindow() const = 0;
  virtual int ClientWidth() const = 0;
  // Marks the whole client area for repainting.
  virtual void Invalidate() = 0;
  // Repaints the whole client area before returning.
  virtual void RepaintNow() = 0;
  // The window's standard handling of a message the model handles too (the window text).
  virtual platform::LResult DefaultHandling(platform::MessageId message, platform::WParam wparam,
                                            platform::LParam lparam) = 0;

 protected:
  ~ProgressView() = default;
};

class TextProgressModel {
 public:
  explicit TextProgressModel(ProgressView& view) : m_view(view) {}

  std::optional<platform::LResult> HandleMessage(platform::MessageId message,
                                                 platform::WParam wparam, platform::LParam lparam);

  void SetRange(uint16_t lower, uint16_t upper);
  void SetRange32(int32_t lower, int32_t upper);
  int32_t SetPos(int32_t position);
  int32_t DeltaPos(int32_t increment);
  int32_t SetStep(int32_t step);
  int32_t StepIt();
  // The lower bound when `lower_wanted`, else the upper; fills `range` when given.
  int32_t GetRange(bool lower_wanted, platform::PbRange* range) const;
  int32_t GetPos() const { return m_pos; }
  platform::ColorRef SetBarColor(platform::ColorRef color);
  platform::ColorRef SetBkColor(platform::ColorRef color);
  platform::ColorRef SetTextColor(platform::ColorRef color);
  void SetShowText(bool show);
  // Null means empty. Returns the standard handling's result.
  platform::LResult SetText(const char* text);
  // Copies into `buffer` of `size` chars; returns how many were copied, terminator excluded.
  size_t GetText(char* buffer, size_t size) const;
  // The client area changed size: the next position change repaints.
  void Resized() { m_bar_pixels = -1; }

  ProgressPicture Picture(PixelRect client, bool vertical, platform::ColorRef system_highlight,
                          platform::ColorRef system_window) const;

  int32_t Step() const { return m_step; }
  const std::string& Text() const { return m_text; }
  bool ShowsText() const { return m_show_text; }
  int32_t BarPixels() const { return m_bar_pixels; }
  uint32_t TextFormat() const { return m_text_format; }

 private:
  platform::ColorRef SetColor(platform::ColorRef& member, platform::ColorRef color);

  ProgressView& m_view;
  platform::ColorRef m_text_color = platform::CLR_DEFAULT;
  int32_t m_pos = 0;
  int32_t m_step = 1;
  int32_t m_upper = 100;
  int32_t m_lower = 0;
  std::string m_text;
  bool m_show_text = true;
  int32_t m_bar_pixels = -1;  // -1: none computed yet
  platform::ColorRef m_bar_color = platform::CLR_DEFAULT;
  platform::ColorRef m_bk_color = platform::CLR_DEFAULT;
  uint32_t m_text_format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
};

}  // namespace velmar::ui
