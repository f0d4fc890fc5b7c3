#pragma once
// The board: several printers on a terminal, one live line each (port, model once known,
// percent, status word), redrawn in place, then the summary table.
//
// Principles of operation: a redraw moves the cursor up over the lines drawn before and writes
// every line again, each erased first, in one write, so the terminal never shows half a board.
// Redraws come at most ten times a second, timed by the events' own times; an event that comes
// sooner is shown by the next redraw (the run's end always redraws). Each line is kept within
// the terminal's width, less one column so that no terminal wraps it: long ports and model
// names are cut, the percent and status always shown.
//   BoardLine  a printer's line for the given widths of the port and model columns, cut to
//              `width` columns, its status word in colour when `colour` and it has one.

#include <chrono>
#include <cstdio>
#include <string>

#include "cli/load_event.h"
#include "cli/output_summary.h"

namespace velmar::cli {

std::string BoardLine(const PrinterState& printer, int port_width, int model_width, int width,
                      bool colour);

class BoardOutput : public EventSink {
 public:
  BoardOutput(std::FILE* out, int columns, bool colour);
  void Publish(const LoadEvent& event) override;
  void Close() override;

 private:
  void Redraw(bool force, std::chrono::system_clock::time_point now);

  std::FILE* m_out;
  int m_columns;
  bool m_colour;
  PrinterStates m_states;
  Summary m_summary;
  int m_lines = 0;
  bool m_pending = false;
  std::chrono::system_clock::time_point m_last_draw;
};

}  // namespace velmar::cli
