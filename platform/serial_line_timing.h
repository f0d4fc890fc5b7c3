#pragma once
// The serial line's timed waits, written once over the few operations that each system's line
// offers (serial_line_posix.cpp, serial_line_win32.cpp); internal to the line.
//
// Principles of operation: a byte's line time bounds every wait. AwaitQuietLine discards input
// until none has come for QuietTime (kQuietTime, or eight bytes' line time when longer), for at
// most kQuietLimit. Drain lets what was written leave before a close: until the driver's queue is
// empty and the last write's line time plus kDrainSettle has passed, at most the longer of the
// queued bytes' and the last write's line time plus kDrainMargin. AwaitSent waits for the
// driver's queue alone, at most the queued bytes' line time plus kDrainMargin. Each stops as
// soon as the line is found lost; the operations themselves record the loss.

#include <chrono>
#include <cstdint>
#include <optional>

namespace velmar::platform {

inline constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
// After the driver's queue is empty the device may still be sending its last bytes.
inline constexpr std::chrono::milliseconds kDrainSettle{5};

// What the waits need of one open line.
class LineOperations {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Arrival { kNone, kInput, kFailed };

  // Discards what is queued for reading.
  virtual void FlushInput() = 0;
  // Waits at most `span` for input; kFailed when the line hung up or went away.
  virtual Arrival AwaitArrival(std::chrono::nanoseconds span) = 0;
  // Bytes the driver still holds for sending (0 where it cannot tell); none once the line is
  // found lost.
  virtual std::optional<int32_t> QueuedOutput() = 0;
  // Sleeps for `span`; false when the line was found lost meanwhile.
  virtual bool Sleep(std::chrono::nanoseconds span) = 0;
  virtual Clock::time_point Now() { return Clock::now(); }

 protected:
  ~LineOperations() = default;
};

// One byte's line time at `baud_rate` (positive).
std::chrono::nanoseconds ByteTimeAt(int32_t baud_rate);
std::chrono::nanoseconds QuietTime(int32_t baud_rate);
void AwaitQuietLine(LineOperations& line, int32_t baud_rate);
// `line_free`: when the last write would have left the line, were it sent at once.
void Drain(LineOperations& line, std::chrono::nanoseconds byte_time,
           LineOperations::Clock::time_point line_free);
// `seen_empty`: the queue was seen empty after the last write, so that a loss found now took
// none of its bytes.
bool AwaitSent(LineOperations& line, std::chrono::nanoseconds byte_time, bool seen_empty);

}  // namespace velmar::platform
