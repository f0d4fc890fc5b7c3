#pragma once
// Wraps a run's transport to count the bytes that cross it and, on request, trace every frame
// sent (>) and every batch received (<) in hex with a timestamp on standard error.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "transport/transport.h"

namespace velmar::cli {

class TracedTransport final : public transport::Transport {
 public:
  TracedTransport(std::unique_ptr<transport::Transport> inner, bool trace);

  bool IsOpen() const override { return m_inner->IsOpen(); }
  bool OpenConnection() override { return m_inner->OpenConnection(); }
  bool CloseConnection() override { return m_inner->CloseConnection(); }
  bool Write(const uint8_t* data, int32_t length) override;
  int32_t Read(uint8_t* buffer, int32_t capacity) override;
  transport::OpenFailure LastOpenFailure() const override { return m_inner->LastOpenFailure(); }

  int64_t BytesSent() const { return m_sent.load(); }
  int64_t BytesReceived() const { return m_received.load(); }

 private:
  void Trace(char direction, const uint8_t* data, int32_t length) const;

  std::unique_ptr<transport::Transport> m_inner;
  bool m_trace;
  std::chrono::steady_clock::time_point m_start;
  std::atomic<int64_t> m_sent{0};
  std::atomic<int64_t> m_received{0};
};

}  // namespace velmar::cli
