#include "cli/output_single.h"

#include <algorithm>

#include "platform/console_output.h"
#include "texts/string_table.h"

namespace velmar::cli {

namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;
}  // namespace

std::string BarLine(double fraction, double elapsed, int64_t line_bytes) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  const double rate = elapsed > 0 ? double(line_bytes) / elapsed : 0;
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
  return line;
}

SingleOutput::SingleOutput(std::FILE* out, std::FILE* err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal) {}

void SingleOutput::Publish(const LoadEvent& event) {
  switch (event.kind) {
    case EventKind::kRunStart:
      m_font = event.font;
      m_model = event.model;
      break;
    case EventKind::kPrinterStart:
      m_attempt_start = event.time;
      ShowStatus(false);
      Draw(true, event.time);
      break;
    case EventKind::kIdentified:
      // A program's status names the file's model throughout, as the window's does; a
      // printer of another model is told by the failure.
      if (m_font) {
        m_model = event.model;
        ShowStatus(false);
      }
      break;
    case EventKind::kProgress:
      m_bytes = event.bytes;
      m_total = event.total;
      m_line_bytes = event.line_bytes;
      Draw(false, event.time);
      break;
    case EventKind::kRetry:
      // The next attempt starts from nothing; the status line says so again.
      m_attempt_start = event.time;
      m_bytes = 0;
      m_line_bytes = 0;
      ShowStatus(true);
      break;
    case EventKind::kPrinterEnd:
      Finish(event.loaded, event.time);
      if (!event.text.empty()) {
        // A stop is the program's own word, not the load's.
        const char* who = event.key == "interrupted" ? "velmar-load: " : "";
        platform::WriteText(event.loaded ? m_out : m_err, who + event.text + "\n");
        std::fflush(event.loaded ? m_out : m_err);
      }
      break;
    case EventKind::kRunEnd:
    case EventKind::kPortAppeared:
    case EventKind::kPortGone:
    case EventKind::kRearmed:
      break;
  }
}

void SingleOutput::Close() {
  Finish(false, std::chrono::system_clock::now());
}

void SingleOutput::ShowStatus(bool again) {
  const std::string status = texts::LoadingStatusText(m_font, m_model);
  if (status == m_shown_status && !again) {
    return;
  }
  m_shown_status = status;
  // One write a line: a console takes a control sequence that arrives in one piece.
  platform::WriteText(m_out, (m_terminal && m_drawn ? "\r\033[K" : "") + status + "\n");
  std::fflush(m_out);
  if (m_drawn) {
    Draw(true, m_last_draw);
  }
}

void SingleOutput::Draw(bool force, std::chrono::system_clock::time_point now) {
  if (!m_terminal || m_finished) {
    return;
  }
  if (!force && m_drawn && now - m_last_draw < kRedrawInterval) {
    return;
  }
  m_last_draw = now;
  m_drawn = true;
  const double fraction = m_completed ? 1.0 : m_total > 0 ? double(m_bytes) / double(m_total) : 0.0;
  platform::WriteText(
      m_out, BarLine(fraction, std::chrono::duration<double>(now - m_attempt_start).count(),
                     m_line_bytes));
  std::fflush(m_out);
}

void SingleOutput::Finish(bool completed, std::chrono::system_clock::time_point now) {
  if (m_finished) {
    return;
  }
  m_completed = completed;
  if (m_terminal && m_drawn) {
    Draw(true, now);
    platform::WriteText(m_out, "\n");
    std::fflush(m_out);
  }
  m_finished = true;
}

}  // namespace velmar::cli
