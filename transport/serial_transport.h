#pragma once
// A Transport over a serial port, with a reception thread of its own.
//
// OpenConnection opens the port (exclusively, 8N1, no flow control, DTR and RTS on, at the
// given rate) and starts CommEventThread, which waits for received characters and calls the
// owner's OnDataReceived once per wake-up that found input. Before it calls, it lets the rest
// of the awaited reply cross the line (the owner's BytesDue, times the line's byte time), so
// that a reply is one delivery and a reply already there is delivered at once. A long reply on
// a slow line goes up at least every 100 ms, so that its time-out sees it growing. Bytes that
// nobody awaits, or that the owner leaves unread, are taken at most once a millisecond.
// CloseConnection wakes and joins that thread (never while it is inside OnDataReceived), and
// ends a write waiting for room; then the port lets what was written leave, drops DTR, flushes
// both queues and closes.
// When the other end hangs up or the device goes away, the thread tells the owner once
// (OnConnectionLost, after the bytes that came before it), stops watching the line and sleeps
// until closed. The owner may destroy the transport from inside a delivery; the thread then
// leaves without touching it again.
// Failures of the thread machinery are reported through the message box with the texts below.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/serial_line.h"
#include "transport/transport.h"

namespace velmar::transport {

inline constexpr const char* kThreadNotCreatedText =
    "thread will not be created from OpenConnection()";

class SerialTransport final : public Transport {
 public:
  SerialTransport(ReceiveSink* owner, std::string port_name, int32_t baud_rate);
  ~SerialTransport() override;

  bool IsOpen() const override { return m_is_open.load(); }
  bool OpenConnection() override;
  bool CloseConnection() override;
  bool Write(const uint8_t* data, int32_t length) override;
  int32_t Read(uint8_t* buffer, int32_t capacity) override;
  bool AwaitSent() override;
  bool ConnectionLost() const override;
  bool WriteByte(uint8_t byte);
  OpenFailure LastOpenFailure() const override;

  // Why the last OpenConnection failed; kOk after a success.
  platform::SerialOpenResult LastOpenResult() const { return m_open_result; }

 private:
  void CommEventThread();

  ReceiveSink* m_owner;
  std::thread m_thread;
  std::mutex m_thread_lock;  // held while m_thread is being stored
  platform::SerialLine m_port;
  std::string m_port_name;
  int32_t m_baud_rate;
  std::atomic<bool> m_is_open{false};
  std::atomic<bool> m_stop{false};
  platform::SerialOpenResult m_open_result = platform::SerialOpenResult::kOk;
  int m_open_error = 0;       // the system's error number behind m_open_result
  uint64_t m_bytes_read = 0;  // reception thread only
};

}  // namespace velmar::transport
