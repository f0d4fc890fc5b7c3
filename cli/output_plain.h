#pragma once
// Plain lines: several printers off a terminal, one line an event and no control sequences, so
// that a log or a pipe holds what happened in order; then the summary table.
//
// Principles of operation: every line starts with the printer's port; progress is written
// only when a printer's percentage reaches the next tenth, so a log stays short whatever the
// file's size (a retry starts the count again).
//   PlainLine  the event's line without its line break; empty for a progress within the tenth
//              already written, and for the run's end (the summary stands for it).

#include <cstdio>
#include <string>
#include <vector>

#include "cli/load_event.h"
#include "cli/output_summary.h"

namespace velmar::cli {

class PlainOutput : public EventSink {
 public:
  // `colour`: the summary's results coloured (see colour.h).
  PlainOutput(std::FILE* out, bool colour);
  void Publish(const LoadEvent& event) override;
  void Close() override;

 private:
  std::string PlainLine(const LoadEvent& event, const PrinterState* printer);

  std::FILE* m_out;
  PrinterStates m_states;
  Summary m_summary;
  std::vector<int> m_tenths;  // a printer's last progress written, in tenths
};

}  // namespace velmar::cli
