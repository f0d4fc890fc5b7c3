#include "cli/output_board.h"

#include <algorithm>

#include "cli/colour.h"
#include "cli/output_text.h"
#include "platform/console_output.h"

namespace velmar::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kGap = 2;
constexpr int kPercentWidth = 4;  // "100%"
constexpr int kStatusWidth = 10;  // "retry 1000"

}  // namespace

std::string BoardLine(const PrinterState& printer, int port_width, int model_width, int width,
                      bool colour) {
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", Percent(printer));
  const std::string gap(kGap, ' ');
  std::string line = Pad(printer.port, port_width) + gap;
  if (model_width > 0) {
    line += Pad(printer.model, model_width) + gap;
  }
  const std::string word = StatusWord(printer);
  line = Fit(line + percent + gap + word, width);
  // Painted once cut, so that the escapes count no columns; a word cut short stays plain.
  if (const std::string_view paint = colour ? StatusColour(printer) : "";
      !paint.empty() && line.ends_with(word)) {
    line = line.substr(0, line.size() - word.size()) + Paint(word, paint);
  }
  return line;
}

BoardOutput::BoardOutput(std::FILE* out, int columns, bool colour)
    : m_out(out), m_columns(columns), m_colour(colour) {}

void BoardOutput::Publish(const LoadEvent& event) {
  m_states.Apply(event);
  if (event.kind == EventKind::kRunStart) {
    return;
  }
  Redraw(event.kind == EventKind::kRunEnd, event.time);
  if (event.kind == EventKind::kRunEnd) {
    m_summary.Write(m_out, m_states, &event);
  }
}

void BoardOutput::Close() {
  if (m_pending) {
    Redraw(true, std::chrono::system_clock::now());
  }
  m_summary.Write(m_out, m_states, nullptr);
}

void BoardOutput::Redraw(bool force, std::chrono::system_clock::time_point now) {
  if (!force && m_lines > 0 && now - m_last_draw < kRedrawInterval) {
    m_pending = true;
    return;
  }
  m_pending = false;
  m_last_draw = now;
  const std::vector<PrinterState>& printers = m_states.All();
  int longest_port = 0;
  int longest_model = 0;
  for (const PrinterState& p : printers) {
    longest_port = std::max(longest_port, Columns(p.port));
    longest_model = std::max(longest_model, Columns(p.model));
  }
  // What is left beside the percent and the status goes to the port first, up to half when
  // the model needs the rest; a model column too narrow to tell anything is left out.
  const int width = m_columns - 1;
  const int room = width - (kPercentWidth + kStatusWidth + 2 * kGap);
  const int port_width =
      std::max(1, std::min(longest_port, std::max(room / 2, room - kGap - longest_model)));
  int model_width = std::min(longest_model, room - kGap - port_width);
  if (model_width < 3) {
    model_width = 0;
  }
  std::string board;
  if (m_lines > 0) {
    board += "\033[" + std::to_string(m_lines) + "A";
  }
  for (const PrinterState& p : printers) {
    board += "\r\033[K" + BoardLine(p, port_width, model_width, width, m_colour) + "\n";
  }
  m_lines = static_cast<int>(printers.size());
  platform::WriteText(m_out, board);
  std::fflush(m_out);
}

}  // namespace velmar::cli
