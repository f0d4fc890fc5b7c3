#include "cli/traced_transport.h"

#include <cstdio>
#include <string>

namespace velmar::cli {

TracedTransport::TracedTransport(std::unique_ptr<transport::Transport> inner, bool trace)
    : m_inner(std::move(inner)), m_trace(trace), m_start(std::chrono::steady_clock::now()) {}

bool TracedTransport::Write(const uint8_t* data, int32_t length) {
  if (length > 0) {
    m_sent += length;
    Trace('>', data, length);
  }
  return m_inner->Write(data, length);
}

int32_t TracedTransport::Read(uint8_t* buffer, int32_t capacity) {
  const int32_t count = m_inner->Read(buffer, capacity);
  if (count > 0) {
    m_received += count;
    Trace('<', buffer, count);
  }
  return count;
}

void TracedTransport::Trace(char direction, const uint8_t* data, int32_t length) const {
  if (!m_trace) {
    return;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%10.6f %c", seconds, direction);
  std::string line = stamp;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int32_t i = 0; i < length; ++i) {
    line += ' ';
    line += kHex[data[i] >> 4];
    line += kHex[data[i] & 0x0F];
  }
  line += '\n';
  std::fputs(line.c_str(), stderr);  // one call a line, so lines from two threads never mix
}

}  // namespace velmar::cli
