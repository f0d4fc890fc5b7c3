#include "transport/serial_transport.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "platform/message_box.h"
#include "platform/system_error.h"

namespace velmar::transport {

namespace {

// How often the reception thread may wake for bytes that nobody awaits or takes: whatever
// arrives meanwhile is one delivery.
constexpr std::chrono::milliseconds kReceptionPause{1};
// The longest a reply still crossing the line is held back. Every delivery of a growing reply
// restarts its time-out, so on a slow line a long echo must go up in parts well within it.
constexpr std::chrono::milliseconds kLongestCoalescing{100};

// The transport whose reception thread this is, so that a close from inside OnDataReceived
// does not join itself. Read only by its own thread, hence no race with the opener storing
// m_thread.
thread_local const SerialTransport* t_delivering_for = nullptr;

}  // namespace

SerialTransport::SerialTransport(ReceiveSink* owner, std::string port_name, int32_t baud_rate)
    : m_owner(owner), m_port_name(std::move(port_name)), m_baud_rate(baud_rate) {}

SerialTransport::~SerialTransport() {
  CloseConnection();
  if (!m_thread.joinable()) {
    return;
  }
  if (t_delivering_for == this) {
    // Destroyed from inside its own delivery: the thread, told to stop, must not come back to
    // this object once the owner's call returns.
    t_delivering_for = nullptr;
    m_thread.detach();
  } else {
    m_thread.join();
  }
}

bool SerialTransport::OpenConnection() {
  if (m_is_open.load()) {
    return true;
  }
  // A thread that closed its own connection has been told to stop; let it finish first. It
  // cannot wait for itself, so it cannot reopen from inside OnDataReceived.
  if (m_thread.joinable()) {
    if (t_delivering_for == this) {
      m_open_result = platform::SerialOpenResult::kBusy;
      m_open_error = 0;
      return false;
    }
    m_thread.join();
  }
  m_open_result = m_port.Open(m_port_name, m_baud_rate);
  m_open_error = m_port.OpenError();
  if (m_open_result != platform::SerialOpenResult::kOk) {
    return false;
  }
  m_is_open.store(true);
  m_stop.store(false);
  try {
    std::lock_guard stored(m_thread_lock);
    m_thread = std::thread(&SerialTransport::CommEventThread, this);
  } catch (const std::system_error&) {
    platform::ShowMessageBox(kThreadNotCreatedText, "", platform::BoxIcon::kWarning);
    m_port.Close();
    m_is_open.store(false);
    return false;
  }
  return true;
}

void SerialTransport::CommEventThread() {
  // An owner that destroys the transport from inside a delivery has it detach m_thread: the
  // opener must have stored it first.
  { std::lock_guard stored(m_thread_lock); }
  t_delivering_for = this;
  bool told_lost = false;
  // Tells the owner once; false when the owner destroyed this transport meanwhile.
  const auto tell_lost = [&] {
    if (!told_lost) {
      told_lost = true;
      m_owner->OnConnectionLost();
    }
    return t_delivering_for == this;
  };
  while (!m_stop.load()) {
    const platform::SerialWait event = m_port.WaitForInput();
    if (m_stop.load()) {
      break;
    }
    if (event == platform::SerialWait::kHungUp) {
      // Every byte that came before the loss has been delivered; later waits watch only for the
      // close's wake, so the thread sleeps there.
      if (!tell_lost()) {
        return;
      }
      continue;
    }
    if (event != platform::SerialWait::kInput) {
      continue;
    }
    // A reply is handed over whole, not a byte per wake-up: while the owner still awaits bytes
    // that are crossing the line, wait the time they take, and no longer.
    const int32_t due = m_owner->BytesDue();
    const bool awake =
        due > 0 ? m_port.AwaitInput(due, kLongestCoalescing) : m_port.Pause(kReceptionPause);
    if (!awake) {
      continue;  // woken by the close
    }
    const uint64_t taken = m_bytes_read;
    m_owner->OnDataReceived();
    if (t_delivering_for != this) {
      return;  // the owner destroyed this transport
    }
    if (m_bytes_read != taken) {
      continue;
    }
    if (m_port.Lost()) {
      if (!tell_lost()) {
        return;  // the input could not be read: the device has gone
      }
      continue;
    }
    if (!m_port.Pause(kReceptionPause)) {
      continue;  // woken by the close; else the owner left the input queued: do not spin on it
    }
  }
  t_delivering_for = nullptr;
}

bool SerialTransport::CloseConnection() {
  if (!m_is_open.exchange(false)) {
    return false;
  }
  m_stop.store(true);
  m_port.Wake();
  // Joined, never cut short: an OnDataReceived under way finishes before the port goes. From
  // inside OnDataReceived the thread ends on its own once that returns.
  if (t_delivering_for != this && m_thread.joinable()) {
    m_thread.join();
  }
  m_port.Close();
  return true;
}

bool SerialTransport::Write(const uint8_t* data, int32_t length) {
  if (data == nullptr || length <= 0) {
    return false;
  }
  // One write for the whole frame: the bytes on the line are the same as byte by byte, and a
  // system call per byte costs more CPU than the rest of the load. A line that takes nothing
  // for kWriteRoomTimeout, or has gone, ends the frame short.
  return m_port.Write(data, length) == length;
}

bool SerialTransport::AwaitSent() {
  return m_is_open.load() && m_port.AwaitSent();
}

bool SerialTransport::ConnectionLost() const {
  return m_port.Lost();
}

int32_t SerialTransport::Read(uint8_t* buffer, int32_t capacity) {
  const int32_t count = m_port.Read(buffer, capacity);
  m_bytes_read += static_cast<uint64_t>(count);
  return count;
}

OpenFailure SerialTransport::LastOpenFailure() const {
  using platform::SerialOpenResult;
  static constexpr struct {
    SerialOpenResult result;
    OpenFailureKind kind;
  } kKinds[] = {
      {SerialOpenResult::kNoDevice, OpenFailureKind::kNoDevice},
      {SerialOpenResult::kNoHardware, OpenFailureKind::kNoHardware},
      {SerialOpenResult::kSystemFailure, OpenFailureKind::kSystemFailure},
      {SerialOpenResult::kAccessDenied, OpenFailureKind::kAccessDenied},
      {SerialOpenResult::kBusy, OpenFailureKind::kBusy},
      {SerialOpenResult::kSettingsRefused, OpenFailureKind::kSettingsRefused},
  };
  OpenFailure failure;
  for (const auto& entry : kKinds) {
    if (entry.result == m_open_result) {
      failure.kind = entry.kind;
      failure.system_error = m_open_error;
      failure.system_text = platform::SystemErrorText(m_open_error);
      failure.port = m_port_name;
      failure.baud_rate = m_baud_rate;
      // COMn stands for a device of another name here; the user needs to know which one.
      const std::string device = platform::ResolvePortName(m_port_name);
      if (!device.ends_with(m_port_name)) {
        failure.port += " (" + device + ")";
      }
    }
  }
  return failure;
}

bool SerialTransport::WriteByte(uint8_t byte) {
  return m_port.WriteByte(byte);
}

}  // namespace velmar::transport
