#include "cli/station_board.h"

#include <algorithm>

#include "cli/output_text.h"
#include "platform/console_output.h"

namespace velmar::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr auto kHour = std::chrono::hours(1);
constexpr int kGap = 2;
constexpr int kCountsWidth = 20;  // "999 loaded 99 failed"
constexpr char kGreen[] = "\033[32m";
constexpr char kRed[] = "\033[31m";
constexpr char kYellow[] = "\033[33m";
constexpr char kPlain[] = "\033[0m";

std::string Adapter(const Slot& slot) {
  std::string text = slot.port.description;
  if (!slot.port.serial_number.empty()) {
    text += (text.empty() ? "" : " ") + slot.port.serial_number;
  }
  return text;
}

const char* Colour(SlotState state) {
  switch (state) {
    case SlotState::kLoaded:
      return kGreen;
    case SlotState::kFailed:
      return kRed;
    case SlotState::kWaiting:
      return kYellow;
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

std::string SlotLine(const Slot& slot, int port_width, int adapter_width) {
  const std::string gap(kGap, ' ');
  std::string line = Pad(slot.port.name, port_width) + gap;
  if (adapter_width > 0) {
    line += Pad(Adapter(slot), adapter_width) + gap;
  }
  const std::string counts = std::to_string(slot.loaded) + " " + std::string(words::kLoaded) +
                             " " + std::to_string(slot.failed) + " " +
                             std::string(words::kFailed);
  return line + Pad(counts, kCountsWidth) + gap + StateText(slot);
}

std::string CountersLine(const StationCounts& counts) {
  return std::string(words::kInAll) + ": " + std::to_string(counts.loaded) + " " +
         std::string(words::kLoaded) + ", " + std::to_string(counts.failed) + " " +
         std::string(words::kFailed) + "; " + std::to_string(counts.last_hour) + " " +
         std::string(words::kLoaded) + " " + std::string(words::kLastHour);
}

StationBoard::StationBoard(std::FILE* out, int columns, bool colour)
    : m_out(out), m_columns(columns), m_colour(colour) {}

bool StationBoard::Draw(const std::vector<Slot>& slots, const StationCounts& counts,
                        bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (!force && m_lines > 0 && now - m_last_draw < kRedrawInterval) {
    return false;
  }
  m_last_draw = now;
  int longest_port = 0;
  int longest_adapter = 0;
  for (const Slot& slot : slots) {
    longest_port = std::max(longest_port, Columns(slot.port.name));
    longest_adapter = std::max(longest_adapter, Columns(Adapter(slot)));
  }
  // The port first, then the adapter as far as it leaves room for the counts and a state.
  const int width = m_columns - 1;
  const int port_width = std::max(1, std::min(longest_port, width / 3));
  int adapter_width = std::min(longest_adapter, width / 4);
  if (adapter_width < 3) {
    adapter_width = 0;
  }
  std::string board;
  if (m_lines > 0) {
    board += "\033[" + std::to_string(m_lines) + "A";
  }
  for (const Slot& slot : slots) {
    std::string line = Fit(SlotLine(slot, port_width, adapter_width), width);
    const char* colour = m_colour ? Colour(slot.state) : "";
    if (*colour != '\0') {
      // The state starts after the padded columns, which Fit leaves as they are.
      const size_t state_at = SlotLine(slot, port_width, adapter_width).size() -
                              StateText(slot).size();
      if (state_at < line.size()) {
        line = line.substr(0, state_at) + colour + line.substr(state_at) + kPlain;
      }
    }
    board += "\r\033[K" + line + "\n";
  }
  board += "\r\033[K" + Fit(CountersLine(counts), width) + "\n";
  m_lines = static_cast<int>(slots.size()) + 1;
  platform::WriteText(m_out, board);
  std::fflush(m_out);
  return true;
}

}  // namespace velmar::cli
