#pragma once
// What the human outputs know of each printer, followed from its events, and the table that
// closes a run of several printers.
//
// Principles of operation: PrinterStates keeps one entry a printer, by its index, made at its
// first event; a program load's model is the file's until the printer names one. The summary is
// written once: on kRunEnd, or on Close when a signal cut the run short (its counts are then
// the printers' own).
//   StatusWord    waiting, loading, retry N (attempt N+1 under way), loaded, failed.
//   Percent       of the payload sent in the current attempt; 100 once loaded.
//   StatusColour  the colour of a status word (loaded green, failed red); empty: none.
//   WriteSummary  a header, one row a printer (port, model, result and the first line of its
//                 text, seconds, retries) and "N of M loaded".

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/load_event.h"

namespace velmar::cli {

struct PrinterState {
  std::string port;
  std::string model;  // as shown
  int64_t bytes = 0;
  int64_t total = 0;
  int attempt = 1;
  bool ended = false;
  bool loaded = false;
  std::string text;
  double elapsed = 0;
};

class PrinterStates {
 public:
  // Follows the event; returns its printer's entry, null for the run's events.
  PrinterState* Apply(const LoadEvent& event);
  const std::vector<PrinterState>& All() const { return m_printers; }
  int Loaded() const;

 private:
  std::string m_run_model;
  std::vector<PrinterState> m_printers;
};

std::string StatusWord(const PrinterState& printer);
int Percent(const PrinterState& printer);
std::string_view StatusColour(const PrinterState& printer);

// Writes the summary unless already written; `run_end` null when the run did not end.
class Summary {
 public:
  explicit Summary(bool colour = false) : m_colour(colour) {}
  void Write(std::FILE* stream, const PrinterStates& states, const LoadEvent* run_end);

 private:
  bool m_colour;
  bool m_written = false;
};

}  // namespace velmar::cli
