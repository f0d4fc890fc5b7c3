#include "cli/output_summary.h"

#include <algorithm>

#include "cli/colour.h"
#include "cli/output_text.h"
#include "platform/console_output.h"
#include "texts/text_encoding.h"

namespace velmar::cli {

PrinterState* PrinterStates::Apply(const LoadEvent& event) {
  if (event.kind == EventKind::kRunStart) {
    m_run_model = texts::DisplayName(event.model);
    return nullptr;
  }
  if (event.printer < 0 || event.kind == EventKind::kRunEnd) {
    return nullptr;
  }
  const auto index = static_cast<size_t>(event.printer);
  if (index >= m_printers.size()) {
    m_printers.resize(index + 1);
  }
  PrinterState& printer = m_printers[index];
  if (printer.port.empty()) {
    printer.port = texts::DisplayName(event.port);
    printer.model = m_run_model;
  }
  switch (event.kind) {
    case EventKind::kPrinterStart:
      // A station's slot loads printer after printer: each starts afresh.
      printer = PrinterState{};
      printer.port = texts::DisplayName(event.port);
      printer.model = m_run_model;
      break;
    case EventKind::kIdentified:
      printer.model = texts::DisplayName(event.model);
      break;
    case EventKind::kProgress:
      printer.bytes = event.bytes;
      printer.total = event.total;
      break;
    case EventKind::kRetry:
      printer.attempt = event.attempt;
      printer.bytes = 0;
      break;
    case EventKind::kPrinterEnd:
      printer.ended = true;
      printer.loaded = event.loaded;
      printer.text = std::string(FirstLine(event.text));
      printer.elapsed = event.elapsed;
      printer.attempt = std::max(printer.attempt, event.attempts);
      break;
    default:
      break;
  }
  return &printer;
}

int PrinterStates::Loaded() const {
  return static_cast<int>(std::count_if(m_printers.begin(), m_printers.end(),
                                        [](const PrinterState& p) { return p.loaded; }));
}

std::string StatusWord(const PrinterState& printer) {
  if (printer.ended) {
    return std::string(printer.loaded ? words::kLoaded : words::kFailed);
  }
  if (printer.attempt > 1) {
    return std::string(words::kRetry) + " " + std::to_string(printer.attempt - 1);
  }
  return std::string(printer.bytes > 0 ? words::kLoading : words::kWaiting);
}

std::string_view StatusColour(const PrinterState& printer) {
  if (!printer.ended) {
    return {};
  }
  return printer.loaded ? colours::kGreen : colours::kRed;
}

int Percent(const PrinterState& printer) {
  if (printer.loaded) {
    return 100;
  }
  return printer.total > 0 ? static_cast<int>(std::clamp(printer.bytes * 100 / printer.total,
                                                         int64_t{0}, int64_t{100}))
                           : 0;
}

void Summary::Write(std::FILE* stream, const PrinterStates& states, const LoadEvent* run_end) {
  if (m_written) {
    return;
  }
  m_written = true;
  struct Row {
    std::string cells[5];
    std::string_view colour = {};  // of the result's status word
    size_t word = 0;               // its bytes
  };
  std::vector<Row> rows{
      {{std::string(words::kPort), std::string(words::kModel), std::string(words::kResult),
        std::string(words::kSeconds), std::string(words::kRetries)}}};
  for (const PrinterState& p : states.All()) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", p.elapsed);
    const std::string word = StatusWord(p);
    rows.push_back({{p.port, p.model, word + (p.text.empty() ? "" : ": " + p.text), seconds,
                     std::to_string(p.attempt - 1)},
                    m_colour ? StatusColour(p) : std::string_view(),
                    word.size()});
  }
  int widths[5] = {};
  for (const Row& row : rows) {
    for (int i = 0; i < 5; ++i) {
      widths[i] = std::max(widths[i], Columns(row.cells[i]));
    }
  }
  std::string table;
  for (const Row& row : rows) {
    std::string line;
    for (int i = 0; i < 5; ++i) {
      line += i == 0 ? "" : "  ";
      // Figures right-aligned, words left-aligned.
      std::string cell = i >= 3 ? std::string(widths[i] - Columns(row.cells[i]), ' ') + row.cells[i]
                                : Pad(row.cells[i], widths[i]);
      if (i == 2 && !row.colour.empty()) {
        // Measured and padded uncoloured: the escapes take no columns.
        cell = Paint(cell.substr(0, row.word), row.colour) + cell.substr(row.word);
      }
      line += cell;
    }
    line.erase(line.find_last_not_of(' ') + 1);
    table += line + "\n";
  }
  const int printers = run_end ? run_end->printers : static_cast<int>(states.All().size());
  const int loaded = run_end ? run_end->loaded_count : states.Loaded();
  table += std::to_string(loaded) + std::string(words::kCountOf) + std::to_string(printers) +
           std::string(words::kCountLoaded) + "\n";
  platform::WriteText(stream, table);
  std::fflush(stream);
}

}  // namespace velmar::cli
