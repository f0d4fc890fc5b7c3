#include "transport/serial_transport.h"

#include <chrono>
#include <system_error>

#include "platform/message_box.h"

namespace velmar::transport {

namespace {
// Bounds how often the reception thread wakes: everything queued meanwhile is one delivery.
constexpr std::chrono::milliseconds kReceptionPause{1};
}  // namespace

SerialTransport::SerialTransport(ReceiveSink* owner, std::string port_name, int32_t baud_rate)
    : m_owner(owner), m_port_name(std::move(port_name)), m_baud_rate(baud_rate) {}

SerialTransport::~SerialTransport() {
  CloseConnection();
}

bool SerialTransport::OpenConnection() {
  m_open_result = m_port.Open(m_port_name, m_baud_rate);
  if (m_open_result != platform::SerialOpenResult::kOk) {
    return false;
  }
  m_stop.store(false);
  m_is_open.store(true);
  try {
    m_thread = std::thread(&SerialTransport::CommEventThread, this);
  } catch (const std::system_error&) {
    platform::ShowMessageBox(kThreadNotCreatedText, "", platform::BoxIcon::kWarning);
    m_is_open.store(false);
    m_port.Close();
    return false;
  }
  return true;
}

void SerialTransport::CommEventThread() {
  while (!m_stop.load()) {
    std::this_thread::sleep_for(kReceptionPause);
    // After a hang-up this blocks until the close wakes it: the thread sleeps, never spins.
    if (m_port.WaitForInput() == platform::SerialWait::kInput && !m_stop.load()) {
      m_owner->OnDataReceived();
    }
  }
}

bool SerialTransport::CloseConnection() {
  if (!m_is_open.exchange(false)) {
    return false;
  }
  m_stop.store(true);
  m_port.Wake();
  // Joining, never killing: the thread leaves OnDataReceived before the port goes.
  if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
    m_thread.join();
  } else if (m_thread.joinable()) {
    m_thread.detach();  // closed from inside a delivery: the loop ends on its own
  }
  m_port.Close();
  return true;
}

bool SerialTransport::Write(const uint8_t* data, int32_t length) {
  if (data == nullptr || length <= 0) {
    return false;
  }
  bool last = false;
  for (int32_t i = 0; i < length; ++i) {
    // A closing transport gives up the rest rather than wait for room byte after byte.
    if (m_stop.load()) {
      return false;
    }
    last = WriteByte(data[i]);
  }
  return last;
}

int32_t SerialTransport::Read(uint8_t* buffer, int32_t capacity) {
  return m_port.Read(buffer, capacity);
}

bool SerialTransport::WriteByte(uint8_t byte) {
  return m_port.WriteByte(byte);
}

}  // namespace velmar::transport
