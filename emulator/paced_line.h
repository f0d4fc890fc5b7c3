#pragma once
// When bytes would cross a real serial line, both ways, so that a pseudo-terminal can be made to
// behave like one.
//
// Principles of operation: a line at `baud` carries one byte per 10 bit times in each
// direction. A received byte counts as arrived one byte time after the line was free for it
// (ArriveAt); a reply byte is handed over once it would have been wholly sent, never before the
// command it answers arrived (Queue's `not_before`). Unpaced (baud 0) bytes take no time. With
// drip every reply byte goes out alone, at least kDripGap after the one before, measured from
// when it really went.
//   DueCount   how many queued bytes may be written at `now` (at most 1 with drip).
//   NextDue    when the first queued byte becomes due; nothing when the queue is empty.
//   WakeAt     when to write next: NextDue, or up to `slack` later so that the bytes due
//              meanwhile go in one write, but never after the last queued byte is due, so that
//              a reply is whole when its line would have carried it (exactly NextDue with drip).
//              A paced printer then wakes a few times a reply rather than once a byte.
//   Sent       the first `count` queued bytes were written at `now`.
//
// Pure: the caller reads the clock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace velmar::emulator {

class PacedLine {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kDripGap{1};

  PacedLine(int32_t baud, bool drip);

  Clock::time_point ArriveAt(Clock::time_point read_at);

  void Queue(std::span<const uint8_t> bytes, Clock::time_point not_before);
  bool Empty() const { return m_queue.empty(); }
  size_t DueCount(Clock::time_point now) const;
  std::optional<Clock::time_point> NextDue() const;
  std::optional<Clock::time_point> WakeAt(Clock::duration slack) const;
  // The queued bytes, first first; DueCount of them are to be written.
  std::vector<uint8_t> Front(size_t count) const;
  void Sent(size_t count, Clock::time_point now);

 private:
  struct Pending {
    uint8_t byte;
    Clock::time_point not_before;
  };

  // When `pending` is due, the line having been free for it from `free`.
  Clock::time_point DueAt(const Pending& pending, Clock::time_point free) const;

  Clock::duration m_byte_time{};
  bool m_drip;
  Clock::time_point m_rx_free{};
  Clock::time_point m_tx_free{};  // the line's sending end: when it has sent what went before
  std::deque<Pending> m_queue;
};

}  // namespace velmar::emulator
