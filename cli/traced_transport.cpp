#include "cli/traced_transport.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/utf8_path.h"

namespace velmar::cli {

TracedTransport::TracedTransport(std::unique_ptr<transport::Transport> inner, TraceLine trace)
    : m_inner(std::move(inner)),
      m_trace(std::move(trace)),
      m_start(std::chrono::steady_clock::now()) {}

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
  m_trace(line);
}

TraceFile::TraceFile(const std::string& folder, const std::string& port) {
  std::string name = port;
  for (char& c : name) {
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-';
    c = kept ? c : '_';
  }
  m_path = folder + "/" + name + ".trace";
  std::error_code error;
  std::filesystem::create_directories(platform::Utf8Path(folder), error);
  m_file.open(platform::Utf8Path(m_path), std::ios::out | std::ios::trunc);
}

void TraceFile::Write(const std::string& line) {
  std::lock_guard lock(m_lock);
  m_file << line;
  m_file.flush();  // a trace is read when something went wrong, perhaps before the end
}

}  // namespace velmar::cli
