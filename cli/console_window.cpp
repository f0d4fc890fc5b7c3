#include "cli/console_window.h"

#include <algorithm>
#include <cstdio>

#include "datafile/data_file.h"
#include "engine/load_notification.h"
#include "platform/console_output.h"
#include "platform/progress_messages.h"
#include "texts/string_table.h"
#include "texts/text_encoding.h"

namespace velmar::cli {

namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;
}  // namespace

ProgressBar::ProgressBar(platform::MessageQueue& queue, bool terminal)
    : Window(queue), m_terminal(terminal), m_start(std::chrono::steady_clock::now()) {}

platform::LResult ProgressBar::HandleMessage(platform::MessageId message, platform::WParam wparam,
                                             platform::LParam lparam) {
  const int32_t previous = m_position;
  switch (message) {
    case platform::PBM_SETRANGE:
      m_lower = static_cast<int32_t>(lparam & 0xFFFF);
      m_upper = static_cast<int32_t>((lparam >> 16) & 0xFFFF);
      break;
    case platform::PBM_SETRANGE32:
      m_lower = static_cast<int32_t>(wparam);
      m_upper = static_cast<int32_t>(lparam);
      break;
    case platform::PBM_SETSTEP:
      m_step = static_cast<int32_t>(wparam);
      break;
    case platform::PBM_SETPOS:
      m_position = static_cast<int32_t>(wparam);
      break;
    case platform::PBM_DELTAPOS:
      m_position += static_cast<int32_t>(wparam);
      break;
    case platform::PBM_STEPIT:
      m_position += m_step;
      break;
    default:
      return 0;
  }
  Draw(false);
  return previous;
}

void ProgressBar::Show(const std::string& status) {
  // One write a line: a console takes a control sequence that arrives in one piece.
  platform::WriteText(stdout, (m_terminal && m_drawn ? "\r\033[K" : "") + status + "\n");
  std::fflush(stdout);
  if (m_drawn) {
    Draw(true);
  }
}

void ProgressBar::KeepByteCount() {
  if (m_bytes) {
    m_bytes = [bytes = m_bytes()] { return bytes; };
  }
}

void ProgressBar::Finish(bool completed) {
  // The range and step leave the bar short of its end after the last block; a completed load
  // is shown whole all the same.
  m_completed = completed;
  if (m_terminal && m_drawn) {
    Draw(true);
    std::fputs("\n", stdout);
    std::fflush(stdout);
  }
}

double ProgressBar::Fraction() const {
  if (m_completed) {
    return 1.0;
  }
  const int64_t span = int64_t{m_upper} - m_lower;
  return span > 0 ? std::clamp(double(int64_t{m_position} - m_lower) / double(span), 0.0, 1.0)
                  : 0.0;
}

void ProgressBar::Draw(bool force) {
  if (!m_terminal) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (!force && m_drawn && now - m_last_draw < kRedrawInterval) {
    return;  // the step arrives from the reception thread, which waits for it
  }
  m_last_draw = now;
  m_drawn = true;
  const double fraction = Fraction();
  const double elapsed = std::chrono::duration<double>(now - m_start).count();
  const int64_t bytes = m_bytes ? m_bytes() : 0;
  const double rate = elapsed > 0 ? bytes / elapsed : 0;
  std::string bar(kBarWidth, ' ');
  std::fill_n(bar.begin(), static_cast<int>(fraction * kBarWidth), '#');
  char left[32] = "--:--";
  if (fraction > 0 && fraction < 1) {
    const auto seconds = static_cast<int>(elapsed * (1 - fraction) / fraction + 0.5);
    std::snprintf(left, sizeof left, "%d:%02d", seconds / 60, seconds % 60);
  } else if (fraction >= 1) {
    std::snprintf(left, sizeof left, "0:00");
  }
  char line[128];
  std::snprintf(line, sizeof line, "\r\033[K[%s] %3d%%  %7.0f B/s  %s left", bar.c_str(),
                static_cast<int>(fraction * 100 + 0.5), rate, left);
  platform::WriteText(stdout, line);
  std::fflush(stdout);
}

ConsoleWindow::ConsoleWindow(platform::MessageQueue& queue, bool terminal)
    : LoadWindow(queue), m_progress(queue, terminal) {}

void ConsoleWindow::ShowStatus() {
  const std::string status = texts::LoadingStatusText(IsFontLoad(), m_model_name);
  if (status != m_shown_status) {
    m_shown_status = status;
    m_progress.Show(status);
  }
}

platform::LResult ConsoleWindow::HandleMessage(platform::MessageId message, platform::WParam,
                                               platform::LParam) {
  const engine::NotificationInfo* info = engine::FindNotification(message);
  if (info == nullptr) {
    return 0;
  }
  if (message == engine::LN_STEP) {
    platform::SendMessage(&m_progress, platform::PBM_STEPIT);
  } else if (message == engine::LN_STATUS) {
    ShowStatus();
  } else if (!m_outcome) {
    m_outcome = message;
    Queue().Quit();
  }
  return 0;
}

}  // namespace velmar::cli
