#include "ui/text_progress_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

namespace velmar::ui {

namespace {

using platform::ColorRef;
using platform::LParam;
using platform::LResult;
using platform::MessageId;
using platform::WParam;

// Formed in double before any multiplication, so that 29 of 0..100 gives 28.999... as it must,
// and wide enough that no pair of 32-bit values overflows.
double Fraction(int32_t position, int32_t lower, int32_t upper) {
  return (static_cast<double>(position) - lower) / (static_cast<double>(upper) - lower);
}

// Toward zero, saturated to 32 bits, so that a position far outside the range stays defined.
int32_t Truncate(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(value, kMin, kMax));
}

// A position stepped past the 32-bit limit wraps around; it never overflows.
int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

ColorRef Resolve(ColorRef color, ColorRef system) {
  return color == platform::CLR_DEFAULT ? system : color;
}

}  // namespace

std::optional<LResult> TextProgressModel::HandleMessage(MessageId message, WParam wparam,
                                                        LParam lparam) {
  using M = TextProgressModel;
  struct Handler {
    MessageId message;
    LResult (*run)(M& model, WParam wparam, LParam lparam);
  };
  static constexpr Handler kHandlers[] = {
      {platform::PBM_SETRANGE,
       [](M& m, WParam, LParam l) -> LResult {
         m.SetRange(static_cast<uint16_t>(l & 0xFFFF), static_cast<uint16_t>((l >> 16) & 0xFFFF));
         return 0;
       }},
      {platform::PBM_SETPOS,
       [](M& m, WParam w, LParam) -> LResult { return m.SetPos(static_cast<int32_t>(w)); }},
      {platform::PBM_DELTAPOS,
       [](M& m, WParam w, LParam) -> LResult { return m.DeltaPos(static_cast<int32_t>(w)); }},
      {platform::PBM_SETSTEP,
       [](M& m, WParam w, LParam) -> LResult { return m.SetStep(static_cast<int32_t>(w)); }},
      {platform::PBM_STEPIT, [](M& m, WParam, LParam) -> LResult { return m.StepIt(); }},
      {platform::PBM_SETRANGE32,
       [](M& m, WParam w, LParam l) -> LResult {
         m.SetRange32(static_cast<int32_t>(w), static_cast<int32_t>(l));
         return 0;
       }},
      {platform::PBM_GETRANGE,
       [](M& m, WParam w, LParam l) -> LResult {
         return m.GetRange(w != 0, reinterpret_cast<platform::PbRange*>(l));
       }},
      {platform::PBM_GETPOS, [](M& m, WParam, LParam) -> LResult { return m.GetPos(); }},
      {platform::PBM_SETBARCOLOR,
       [](M& m, WParam, LParam l) -> LResult { return m.SetBarColor(static_cast<ColorRef>(l)); }},
      {platform::PBM_SETBKCOLOR,
       [](M& m, WParam, LParam l) -> LResult { return m.SetBkColor(static_cast<ColorRef>(l)); }},
      {platform::PBM_SETTEXTCOLOR,
       [](M& m, WParam, LParam l) -> LResult { return m.SetTextColor(static_cast<ColorRef>(l)); }},
      {platform::PBM_SETSHOWTEXT,
       [](M& m, WParam w, LParam l) -> LResult {
         const LResult result = m.m_view.DefaultHandling(platform::PBM_SETSHOWTEXT, w, l);
         m.SetShowText(w != 0);
         return result;
       }},
      {platform::WM_SETTEXT,
       [](M& m, WParam, LParam l) -> LResult {
         return m.SetText(reinterpret_cast<const char*>(l));
       }},
      {platform::WM_GETTEXT,
       [](M& m, WParam w, LParam l) -> LResult {
         return static_cast<LResult>(m.GetText(reinterpret_cast<char*>(l), w));
       }},
      {platform::WM_SIZE,
       [](M& m, WParam w, LParam l) -> LResult {
         m.m_view.DefaultHandling(platform::WM_SIZE, w, l);
         m.Resized();
         return 0;
       }},
      // The paint covers the whole client area; erasing first would only flicker.
      {platform::WM_ERASEBKGND, [](M&, WParam, LParam) -> LResult { return 1; }},
  };
  for (const Handler& handler : kHandlers) {
    if (handler.message == message) {
      return handler.run(*this, wparam, lparam);
    }
  }
  return std::nullopt;
}

void TextProgressModel::SetRange(uint16_t lower, uint16_t upper) {
  SetRange32(lower, upper);
}

void TextProgressModel::SetRange32(int32_t lower, int32_t upper) {
  m_lower = lower;
  m_upper = upper;
}

int32_t TextProgressModel::SetPos(int32_t position) {
  if (!m_view.HasWindow()) {
    return -1;
  }
  const int32_t previous = m_pos;
  m_pos = position;
  if (m_upper == m_lower) {
    // No length to compare; the paint draws nothing either. The next position change after a
    // usable range is set repaints.
    m_bar_pixels = -1;
    return previous;
  }
  // The client width decides, whatever the orientation of the bar.
  const int32_t filled = Truncate(Fraction(m_pos, m_lower, m_upper) * m_view.ClientWidth());
  if (filled != m_bar_pixels) {
    m_bar_pixels = filled;
    m_view.RepaintNow();
  }
  return previous;
}

int32_t TextProgressModel::DeltaPos(int32_t increment) {
  return SetPos(WrappingAdd(m_pos, increment));
}

int32_t TextProgressModel::SetStep(int32_t step) {
  return std::exchange(m_step, step);
}

int32_t TextProgressModel::StepIt() {
  return SetPos(WrappingAdd(m_pos, m_step));
}

int32_t TextProgressModel::GetRange(bool lower_wanted, platform::PbRange* range) const {
  if (range != nullptr) {
    range->low = m_lower;
    range->high = m_upper;
  }
  return lower_wanted ? m_lower : m_upper;
}

ColorRef TextProgressModel::SetColor(ColorRef& member, ColorRef color) {
  // Invalidates even when the colour stays the same.
  if (m_view.HasWindow()) {
    m_view.Invalidate();
  }
  return std::exchange(member, color);
}

ColorRef TextProgressModel::SetBarColor(ColorRef color) {
  return SetColor(m_bar_color, color);
}

ColorRef TextProgressModel::SetBkColor(ColorRef color) {
  return SetColor(m_bk_color, color);
}

ColorRef TextProgressModel::SetTextColor(ColorRef color) {
  return SetColor(m_text_color, color);
}

void TextProgressModel::SetShowText(bool show) {
  if (m_view.HasWindow() && show != m_show_text) {
    m_view.Invalidate();
  }
  m_show_text = show;
}

LResult TextProgressModel::SetText(const char* text) {
  const LResult result =
      m_view.DefaultHandling(platform::WM_SETTEXT, 0, reinterpret_cast<LParam>(text));
  const char* new_text = text == nullptr ? "" : text;
  if (m_text != new_text) {
    m_text = new_text;
    m_view.Invalidate();
  }
  return result;
}

size_t TextProgressModel::GetText(char* buffer, size_t size) const {
  if (buffer == nullptr || size == 0) {
    return 0;
  }
  size_t count = std::min(m_text.size(), size - 1);
  // Never cut a UTF-8 character in two.
  while (count > 0 && count < m_text.size() && (m_text[count] & 0xC0) == 0x80) {
    --count;
  }
  std::memcpy(buffer, m_text.data(), count);
  buffer[count] = '\0';
  return count;
}

ProgressPicture TextProgressModel::Picture(PixelRect client, bool vertical,
                                           ColorRef system_highlight,
                                           ColorRef system_window) const {
  ProgressPicture picture;
  if (m_lower >= m_upper) {
    return picture;
  }
  picture.draws = true;
  picture.client = client;
  picture.bar = Resolve(m_bar_color, system_highlight);
  picture.background = Resolve(m_bk_color, system_window);
  const double fraction = Fraction(m_pos, m_lower, m_upper);
  picture.filled = client;
  picture.empty = client;
  // A length outside the client area shows the same as one at its edge.
  if (vertical) {
    const int length = std::clamp(Truncate(client.Height() * fraction), 0, client.Height());
    picture.filled.top = picture.empty.bottom = client.bottom - length;
  } else {
    const int length = std::clamp(Truncate(client.Width() * fraction), 0, client.Width());
    picture.filled.right = picture.empty.left = client.left + length;
  }
  picture.has_text = m_show_text && !vertical;
  if (!picture.has_text) {
    return picture;
  }
  if (m_text.empty()) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%d%%", Truncate(fraction * 100));
    picture.text = percent;
  } else {
    picture.text = m_text;
    // One line: a line break is drawn as a space.
    std::replace_if(
        picture.text.begin(), picture.text.end(), [](char c) { return c == '\n' || c == '\r'; },
        ' ');
  }
  picture.text_over_bar = Resolve(m_text_color, picture.background);
  picture.text_over_background = Resolve(m_text_color, picture.bar);
  return picture;
}

}  // namespace velmar::ui
