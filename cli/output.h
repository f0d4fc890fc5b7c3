#pragma once
// Where a load's events are rendered: the JSON stream for scripts, the board of live lines on
// a terminal, plain lines for a log, or the one-printer look (a status line and a bar).
//
// Principles of operation: the loader picks the output once, from what the user asked for and
// where standard output goes, and publishes every event to it (serialised, see load_event.h).
//   --json                  JSON lines on `out`; a human summary (several printers) or the
//                           end text (one printer) on `err`
//   several, terminal       the board on `out`, then the summary table
//   several, no terminal    plain lines on `out`, then the summary table
//   one printer             the status line, on a terminal the bar, the end text: success on
//                           `out`, failure on `err`
// `colour` decides, for each stream by itself (UseColour), whether the board and the summary
// show loaded and failed in colour.
// `columns` is the terminal's width for the board (0 when unknown: 80 is assumed).

#include <cstdio>
#include <memory>

#include "cli/colour.h"
#include "cli/load_event.h"

namespace velmar::cli {

struct OutputChoice {
  bool json = false;
  bool several = false;   // more than one printer
  bool terminal = false;  // `out` can redraw a line (platform::ConsoleOutput::CanRedrawLine)
  int columns = 0;        // platform::ConsoleColumns()
  ColourWhen colour = ColourWhen::kAuto;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
};

std::unique_ptr<EventSink> MakeOutput(const OutputChoice& choice);

}  // namespace velmar::cli
