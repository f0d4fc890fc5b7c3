#include "cli/station_board.h"

#include <algorithm>

#include "cli/colour.h"
#include "cli/output_text.h"
#include "platform/console_output.h"

namespace velmar::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr auto kHour = std::chrono::hours(1);
constexpr int kGap = 2;
constexpr int kStateRoom = 26;  // "loaded: remove the printer"

std::string Adapter(const Slot& slot) {
  std::string text = slot.port.description;
  if (!slot.port.serial_number.empty()) {
    text += (text.empty() ? "" : " ") + slot.port.serial_number;
  }
  return text;
}

std::string_view Colour(SlotState state) {
  switch (state) {
    case SlotState::kLoaded:
      return colours::kGreen;
    case SlotState::kFailed:
      return colours::kRed;
    case SlotState::kWaiting:
      return colours::kYellow;
    case SlotState::kNoPort:
    case SlotState::kLoading:
      break;
  }
  return "";
}

}  // namespace

int HourlyRate::Count(std::chrono::steady_clock::time_point now) {
  while (!m_ends.empty() && now - m_ends.front() > kHour) {
    m_ends.pop_front();
  }
  return static_cast<int>(m_ends.size());
}

std::string StateText(const Slot& slot) {
  switch (slot.state) {
    case SlotState::kNoPort:
      return std::string(words::kNoPort);
    case SlotState::kWaiting:
      return std::string(words::kWaitingForPrinter);
    case SlotState::kLoading:
      return std::string(words::kLoading) + " " + std::to_string(slot.percent) + "%";
    case SlotState::kLoaded:
      return std::string(words::kLoaded) + ": " + std::string(words::kRemovePrinter);
    case SlotState::kFailed:
      return std::string(words::kFailed) + ": " + slot.reason + "; " +
             std::string(words::kRemovePrinter);
  }
  return {};
}

std::string SlotCounts(const Slot& slot) {
  return std::to_string(slot.loaded) + " " + std::string(words::kLoaded) + ", " +
         std::to_string(slot.failed) + " " + std::string(words::kFailed);
}

std::string SlotLine(const Slot& slot, const SlotColumns& columns, std::string_view colour) {
  const std::string gap(kGap, ' ');
  std::string line = Pad(slot.port.name, columns.port) + gap;
  if (columns.adapter > 0) {
    line += Pad(Adapter(slot), columns.adapter) + gap;
  }
  // Measured uncoloured, padded outside the colour: the escapes take no columns.
  const std::string state = Fit(StateText(slot), columns.state);
  line += Paint(state, colour) + std::string(columns.state - Columns(state), ' ');
  if (columns.counts > 0) {
    line += gap + SlotCounts(slot);
  }
  return line;
}

std::string CountersLine(const StationCounts& counts) {
  return std::string(words::kInAll) + ": " + std::to_string(counts.loaded) + " " +
         std::string(words::kLoaded) + ", " + std::to_string(counts.failed) + " " +
         std::string(words::kFailed) + "; " + std::to_string(counts.last_hour) + " " +
         std::string(words::kLoaded) + " " + std::string(words::kLastHour);
}

StationBoard::StationBoard(std::FILE* out, int columns, bool colour)
    : m_out(out), m_columns(columns), m_colour(colour) {}

bool StationBoard::Draw(const std::vector<Slot>& slots, const StationCounts& counts, bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (!force && m_lines > 0 && now - m_last_draw < kRedrawInterval) {
    return false;
  }
  m_last_draw = now;
  SlotColumns columns;
  int longest_adapter = 0;
  int longest_state = 0;
  for (const Slot& slot : slots) {
    columns.port = std::max(columns.port, Columns(slot.port.name));
    columns.counts = std::max(columns.counts, Columns(SlotCounts(slot)));
    longest_adapter = std::max(longest_adapter, Columns(Adapter(slot)));
    longest_state = std::max(longest_state, Columns(StateText(slot)));
  }
  // The port and the state come first; the adapter and the slot's counts only where they
  // leave the state room to be read (the counters line has the totals).
  const int width = m_columns - 1;
  columns.port = std::max(1, std::min(columns.port, width / 3));
  columns.adapter = std::min(longest_adapter, width / 4);
  const int wanted = std::min(longest_state, kStateRoom);
  const auto room = [&] {
    return width - columns.port - kGap - (columns.adapter > 0 ? columns.adapter + kGap : 0) -
           (columns.counts > 0 ? columns.counts + kGap : 0);
  };
  if (room() < wanted) {
    columns.counts = 0;
  }
  if (columns.adapter < 3 || room() < wanted) {
    columns.adapter = 0;
  }
  columns.state = std::max(1, std::min(longest_state, room()));
  std::string board;
  if (m_lines > 0) {
    board += "\033[" + std::to_string(m_lines) + "A";
  }
  for (const Slot& slot : slots) {
    board += "\r\033[K" + SlotLine(slot, columns, m_colour ? Colour(slot.state) : "") + "\n";
  }
  board += "\r\033[K" + Fit(CountersLine(counts), width) + "\n";
  m_lines = static_cast<int>(slots.size()) + 1;
  platform::WriteText(m_out, board);
  std::fflush(m_out);
  return true;
}

}  // namespace velmar::cli
