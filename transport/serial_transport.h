#pragma once
// A Transport over a serial port, with a reception thread of its own.
//
// OpenConnection opens the port (exclusively, 8N1, no flow control, DTR and RTS on, at the
// given rate) and starts CommEventThread, which waits for received characters, sleeps 1 ms
// before every wait to bound its wake-ups, and calls the owner's OnDataReceived once per
// wake-up that found input. CloseConnection wakes and joins that thread (never while it is
// inside OnDataReceived), then drops DTR, flushes both queues and closes the port.
// When the other end hangs up, the thread stops watching the line and sleeps until closed.
// Failures of the thread machinery are reported through the message box with the texts below.

#include <atomic>
#include <cstdint>
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
  bool WriteByte(uint8_t byte);

  // Why the last OpenConnection failed; kOk after a success.
  platform::SerialOpenResult LastOpenResult() const { return m_open_result; }

 private:
  void CommEventThread();

  ReceiveSink* m_owner;
  std::thread m_thread;
  platform::SerialLine m_port;
  std::string m_port_name;
  int32_t m_baud_rate;
  std::atomic<bool> m_is_open{false};
  std::atomic<bool> m_stop{false};
  platform::SerialOpenResult m_open_result = platform::SerialOpenResult::kOk;
};

}  // namespace velmar::transport
