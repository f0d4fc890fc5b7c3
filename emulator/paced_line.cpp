#include "emulator/paced_line.h"

#include <algorithm>

namespace velmar::emulator {

namespace {

constexpr int64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

}  // namespace

PacedLine::PacedLine(int32_t baud, bool drip) : m_drip(drip) {
  if (baud > 0) {
    m_byte_time = std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(std::nano::den * kBitsPerByte / baud));
  }
}

PacedLine::Clock::time_point PacedLine::ArriveAt(Clock::time_point read_at) {
  m_rx_free = std::max(read_at, m_rx_free) + m_byte_time;
  return m_rx_free;
}

void PacedLine::Queue(std::span<const uint8_t> bytes, Clock::time_point not_before) {
  for (uint8_t byte : bytes) {
    m_queue.push_back({byte, not_before});
  }
}

PacedLine::Clock::time_point PacedLine::DueAt(const Pending& pending,
                                              Clock::time_point free) const {
  return std::max(pending.not_before, free) + m_byte_time;
}

size_t PacedLine::DueCount(Clock::time_point now) const {
  const size_t limit = m_drip ? std::min<size_t>(1, m_queue.size()) : m_queue.size();
  Clock::time_point free = m_tx_free;
  size_t count = 0;
  while (count < limit) {
    const Clock::time_point due = DueAt(m_queue[count], free);
    if (due > now) {
      break;
    }
    free = due;
    ++count;
  }
  return count;
}

std::optional<PacedLine::Clock::time_point> PacedLine::NextDue() const {
  if (m_queue.empty()) {
    return std::nullopt;
  }
  return DueAt(m_queue.front(), m_tx_free);
}

std::optional<PacedLine::Clock::time_point> PacedLine::WakeAt(Clock::duration slack) const {
  const std::optional<Clock::time_point> first = NextDue();
  if (!first || m_drip) {
    return first;
  }
  const Clock::time_point latest = *first + slack;
  Clock::time_point due = *first;
  for (size_t i = 1; i < m_queue.size() && due < latest; ++i) {
    due = DueAt(m_queue[i], due);
  }
  return std::min(due, latest);
}

std::vector<uint8_t> PacedLine::Front(size_t count) const {
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  for (size_t i = 0; i < count && i < m_queue.size(); ++i) {
    bytes.push_back(m_queue[i].byte);
  }
  return bytes;
}

void PacedLine::Sent(size_t count, Clock::time_point now) {
  for (size_t i = 0; i < count && !m_queue.empty(); ++i) {
    m_tx_free = DueAt(m_queue.front(), m_tx_free);
    m_queue.pop_front();
  }
  if (m_drip && count > 0) {
    // The gap runs from when the byte really went: a late loop must not bunch the next ones.
    m_tx_free = std::max(m_tx_free, now) + kDripGap;
  }
}

}  // namespace velmar::emulator
