#include "platform/serial_line_timing.h"

#include <algorithm>

#include "platform/serial_line.h"

namespace velmar::platform {

using Clock = LineOperations::Clock;

std::chrono::nanoseconds ByteTimeAt(int32_t baud_rate) {
  return std::chrono::nanoseconds(std::chrono::seconds(kBitsPerByte)) / baud_rate;
}

std::chrono::nanoseconds QuietTime(int32_t baud_rate) {
  // In nanoseconds before the division: whole seconds would truncate to none.
  const auto eight_bytes = std::chrono::nanoseconds(std::chrono::seconds(8 * kBitsPerByte));
  return std::max<std::chrono::nanoseconds>(SerialLine::kQuietTime, eight_bytes / baud_rate);
}

void AwaitQuietLine(LineOperations& line, int32_t baud_rate) {
  const auto quiet = QuietTime(baud_rate);
  const auto deadline = line.Now() + SerialLine::kQuietLimit;
  for (;;) {
    line.FlushInput();
    const auto left = deadline - line.Now();
    if (left <= Clock::duration::zero() || line.AwaitArrival(std::min<std::chrono::nanoseconds>(
                                               quiet, left)) != LineOperations::Arrival::kInput) {
      return;  // quiet, or nothing more will come
    }
  }
}

void Drain(LineOperations& line, std::chrono::nanoseconds byte_time, Clock::time_point line_free) {
  const auto start = line.Now();
  const auto first = line.QueuedOutput();
  if (!first) {
    return;
  }
  // A driver that cannot tell its queue (a pty) is trusted with the line time of the last write.
  const auto deadline = std::max(start + *first * byte_time, line_free) + SerialLine::kDrainMargin;
  const auto settled = std::min(line_free + kDrainSettle, deadline);
  for (;;) {
    const auto now = line.Now();
    const auto queued = line.QueuedOutput();
    if (!queued || (*queued == 0 && now >= settled) || now >= deadline) {
      return;
    }
    const auto next = std::max(settled, now + std::max(*queued, 1) * byte_time);
    if (!line.Sleep(std::min(next, deadline) - now)) {
      return;
    }
  }
}

bool AwaitSent(LineOperations& line, std::chrono::nanoseconds byte_time, bool seen_empty) {
  std::optional<int32_t> queued = line.QueuedOutput();
  if (!queued || *queued == 0) {
    return queued.has_value() || seen_empty;
  }
  const auto deadline = line.Now() + *queued * byte_time + SerialLine::kDrainMargin;
  for (;;) {
    const auto now = line.Now();
    if (now >= deadline || !line.Sleep(std::min(deadline, now + *queued * byte_time) - now)) {
      return false;
    }
    queued = line.QueuedOutput();
    if (!queued || *queued == 0) {
      return queued.has_value();
    }
  }
}

}  // namespace velmar::platform
