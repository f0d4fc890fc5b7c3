#pragma once
// What the operator of a station sees on a terminal: one line a slot (port, adapter, its
// counts, its state) and a line of counters, redrawn in place.
//
// Principles of operation: the station draws the board from its slot book after whatever
// changed, at most ten times a second; each draw moves the cursor up over the lines drawn
// before and writes them all again, erased first, in one write. Lines are kept within the
// terminal's width less one column: the port and the state first, then the adapter and the
// slot's counts where they leave the state room; a long failure reason is cut. With colour
// (the loader's one decision, colour.h), loaded is green, failed red, and waiting for a printer
// yellow; the state's text alone is painted, not its padding.
//   StateText     "loading 42%", "failed: REASON; remove the printer".
//   SlotLine      a slot's line for the given column widths, its state in `colour` (an
//                 escape sequence; empty: none).
//   CountersLine  "in all: 5 loaded, 1 failed; 4 loaded in the last hour".

#include <chrono>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "cli/station_slots.h"

namespace velmar::cli {

struct StationCounts {
  int loaded = 0;
  int failed = 0;
  int last_hour = 0;  // loaded in the last hour
};

// The loads' ends of the last hour, for the rate.
class HourlyRate {
 public:
  void Loaded(std::chrono::steady_clock::time_point when) { m_ends.push_back(when); }
  int Count(std::chrono::steady_clock::time_point now);

 private:
  std::deque<std::chrono::steady_clock::time_point> m_ends;
};

std::string StateText(const Slot& slot);
// Column widths; 0 leaves a column out.
struct SlotColumns {
  int port = 0;
  int adapter = 0;
  int state = 0;
  int counts = 0;
};
std::string SlotCounts(const Slot& slot);
std::string SlotLine(const Slot& slot, const SlotColumns& columns, std::string_view colour);
std::string CountersLine(const StationCounts& counts);

class StationBoard {
 public:
  StationBoard(std::FILE* out, int columns, bool colour);
  // Redraws unless the last draw was less than a tenth of a second ago (force: always);
  // false when it waited, so that the caller draws again soon.
  bool Draw(const std::vector<Slot>& slots, const StationCounts& counts, bool force);

 private:
  std::FILE* m_out;
  int m_columns;
  bool m_colour;
  int m_lines = 0;
  std::chrono::steady_clock::time_point m_last_draw;
};

}  // namespace velmar::cli
