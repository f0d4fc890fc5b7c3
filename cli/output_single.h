#pragma once
// One printer's look, as the loader always showed it: the status text ("Загрузка программы в
// MODEL...") when the printer starts and again when a font's printer names its model (or an
// attempt starts over), on a terminal a bar below it with percent, bytes per second and time
// left, and the end text: success on `out`, failure on `err`.
//
// Principles of operation: the bar is redrawn in place ("\r" and erase-line, one write) at
// most ten times a second, timed by the events' own times; a status line erases the bar, is
// written, and the bar is drawn again below it. The rate is every byte that crossed the line in
// the current attempt over the attempt's time. At the end the bar is drawn once more, full when
// the printer was loaded, where it stands otherwise, and its line ended.
//   BarLine  the bar's line for a fraction (0 to 1), seconds since the attempt started and the
//            attempt's line bytes, starting with "\r" and the erase-line sequence.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/load_event.h"

namespace velmar::cli {

std::string BarLine(double fraction, double elapsed, int64_t line_bytes);

class SingleOutput : public EventSink {
 public:
  SingleOutput(std::FILE* out, std::FILE* err, bool terminal);
  void Publish(const LoadEvent& event) override;
  void Close() override;

 private:
  void ShowStatus(bool again);
  void Draw(bool force, std::chrono::system_clock::time_point now);
  void Finish(bool completed, std::chrono::system_clock::time_point now);

  std::FILE* m_out;
  std::FILE* m_err;
  bool m_terminal;
  bool m_font = false;
  std::string m_model;
  std::string m_shown_status;
  int64_t m_bytes = 0;
  int64_t m_total = 0;
  int64_t m_line_bytes = 0;
  bool m_drawn = false;
  bool m_finished = false;
  bool m_completed = false;
  std::chrono::system_clock::time_point m_attempt_start;
  std::chrono::system_clock::time_point m_last_draw;
};

}  // namespace velmar::cli
