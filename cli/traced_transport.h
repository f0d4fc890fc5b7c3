#pragma once
// Wraps a run's transport to count the bytes that cross it and, on request, trace every frame
// sent (>) and every batch received (<) in hex with a timestamp on a stream (standard error, or
// a file of the port's own when several printers load at once).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "transport/transport.h"

namespace velmar::cli {

class TracedTransport final : public transport::Transport {
 public:
  // Where each trace line goes (whole, with its newline); empty: count only. It is called from
  // the run's threads and must take a line whole.
  using TraceLine = std::function<void(const std::string& line)>;
  TracedTransport(std::unique_ptr<transport::Transport> inner, TraceLine trace);

  bool IsOpen() const override { return m_inner->IsOpen(); }
  bool OpenConnection() override { return m_inner->OpenConnection(); }
  bool CloseConnection() override { return m_inner->CloseConnection(); }
  bool Write(const uint8_t* data, int32_t length) override;
  int32_t Read(uint8_t* buffer, int32_t capacity) override;
  bool AwaitSent() override { return m_inner->AwaitSent(); }
  bool ConnectionLost() const override { return m_inner->ConnectionLost(); }
  transport::OpenFailure LastOpenFailure() const override { return m_inner->LastOpenFailure(); }

  int64_t BytesSent() const { return m_sent.load(); }
  int64_t BytesReceived() const { return m_received.load(); }

 private:
  void Trace(char direction, const uint8_t* data, int32_t length) const;

  std::unique_ptr<transport::Transport> m_inner;
  TraceLine m_trace;
  std::chrono::steady_clock::time_point m_start;
  std::atomic<int64_t> m_sent{0};
  std::atomic<int64_t> m_received{0};
};

// One port's trace in a folder of its own when several printers load at once: the file is the
// port's name with every character outside [A-Za-z0-9._-] turned into '_', plus ".trace". The
// folder is made if missing. Write takes whole lines from any thread.
class TraceFile {
 public:
  TraceFile(const std::string& folder, const std::string& port);
  bool IsOpen() const { return m_file.is_open(); }
  const std::string& Path() const { return m_path; }
  void Write(const std::string& line);

 private:
  std::string m_path;
  std::mutex m_lock;
  std::ofstream m_file;
};

}  // namespace velmar::cli
