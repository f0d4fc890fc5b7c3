#include "transport/socket_transport.h"

#include <algorithm>
#include <cstring>

#include "platform/message_box.h"

namespace velmar::transport {

namespace {

// What is kept of a server's bytes before its port is set up.
constexpr size_t kMaxServerWords = 256;

// A server that will not serve a port often says why in plain text ("Port's device already in
// use") before it closes: its first line, quoted, or nothing when it said nothing readable.
std::string ServerWords(const std::vector<uint8_t>& said) {
  constexpr size_t kMaxWords = 80;
  std::string words;
  for (const uint8_t byte : said) {
    if (byte == '\r' || byte == '\n') {
      if (!words.empty()) {
        break;
      }
    } else if (byte < 0x20 || byte > 0x7E) {
      return {};  // not words
    } else if (words.size() < kMaxWords) {
      words += static_cast<char>(byte);
    }
  }
  return words.empty() ? "" : "; it said \"" + words + "\"";
}

}  // namespace

void LinkSocket::OnReceive(int /*error*/) {
  uint8_t buffer[kReceiveChunk];
  const int32_t got = Receive(buffer, kReceiveChunk);
  if (got <= 0) {
    platform::ShowMessageBox(got == 0 ? kPeerClosedText : kReceiveFailedText,
                             platform::ApplicationName(), platform::BoxIcon::kWarning);
    Close();
    m_owner->Lose();
    return;
  }
  m_owner->Deliver(buffer, got);
}

// The peer went away without a word (a reset, say).
void LinkSocket::OnClose(int /*error*/) {
  Close();
  m_owner->Lose();
}

SocketTransport::SocketTransport(ReceiveSink* owner, std::string host, int32_t port_number,
                                 std::optional<int32_t> com_port_rate)
    : m_owner(owner),
      m_host(std::move(host)),
      m_port_number(port_number),
      m_com_port_rate(com_port_rate) {}

SocketTransport::~SocketTransport() {
  m_socket.reset();
}

bool SocketTransport::OpenConnection() {
  if (!platform::StreamSocket::Startup()) {
    platform::ShowMessageBox(kSocketsFailedText, "Error!", platform::BoxIcon::kError);
    return false;
  }
  m_socket = std::make_unique<LinkSocket>(this);
  // An IPv6 address is bracketed, so that the port number stands apart from it.
  const bool v6 = m_host.find(':') != std::string::npos;
  const std::string name = std::string(m_com_port_rate ? "rfc2217://" : "") +
                           (v6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_port_number);
  using Notify = platform::StreamSocket::Notify;
  if (!m_socket->Create() ||
      !m_socket->Connect(m_host, m_port_number,
                         m_com_port_rate ? Notify::kLater : Notify::kAtConnect)) {
    m_open_failure = {OpenFailureKind::kNoConnection, m_socket->ConnectError(),
                      m_socket->ConnectErrorText(), name};
    m_socket.reset();
    return false;
  }
  if (m_com_port_rate) {
    if (!SetUpComPort()) {
      m_open_failure.port = name;
      m_socket.reset();
      m_com_port.reset();
      return false;
    }
    m_socket->StartNotifications();
  }
  m_open_failure = {};
  m_is_open = true;
  return true;
}

bool SocketTransport::CloseConnection() {
  if (!m_is_open) {
    return false;
  }
  m_is_open = false;
  m_socket.reset();
  return true;
}

bool SocketTransport::SetUpComPort() {
  m_com_port = std::make_unique<ComPortClient>(*m_com_port_rate);
  const auto deadline = std::chrono::steady_clock::now() + kComPortSetupTimeout;
  std::vector<uint8_t> to_send = ComPortClient::Greeting();
  std::vector<uint8_t> said;  // before the line is set: the server's words, or leftovers
  std::string reason;
  // Whatever a read asks to send goes before the next read, and once the line is set.
  while (reason.empty()) {
    if (!to_send.empty() && !SendWhole(to_send)) {
      reason =
          m_socket->SendTimedOut() ? "the server took nothing" : "the server closed the connection";
      break;
    }
    to_send.clear();
    if (m_com_port->CurrentStage() == ComPortClient::Stage::kReady) {
      break;
    }
    uint8_t buffer[kReceiveChunk];
    const int32_t got = m_socket->ReceiveBefore(buffer, kReceiveChunk, deadline);
    if (got == 0) {
      reason = "the server closed the connection";
    } else if (got < 0) {
      reason = m_com_port->Reason();  // what it was still waiting for
    } else {
      m_com_port->Take(buffer, got, &said, &to_send);
      said.resize(std::min(said.size(), kMaxServerWords));  // a babbling server is not kept
      if (m_com_port->CurrentStage() == ComPortClient::Stage::kRefused) {
        reason = m_com_port->Reason();
      }
    }
  }
  if (!reason.empty()) {
    reason += ServerWords(said);
    m_open_failure = {OpenFailureKind::kServerRefused, 0, reason, "", *m_com_port_rate};
    return false;
  }
  return true;
}

bool SocketTransport::SendWhole(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(m_send_lock);
  const auto length = static_cast<int32_t>(bytes.size());
  return m_socket->Send(bytes.data(), length) == length;
}

bool SocketTransport::Write(const uint8_t* data, int32_t length) {
  if (!m_socket || !m_socket->IsOpen() || length <= 0) {
    return false;
  }
  bool sent = false;
  if (m_com_port) {
    std::lock_guard lock(m_send_lock);
    m_tx.clear();
    ComPortClient::Escape(data, length, &m_tx);
    const auto escaped = static_cast<int32_t>(m_tx.size());
    sent = m_socket->Send(m_tx.data(), escaped) == escaped;
  } else {
    sent = m_socket->Send(data, length) == length;
  }
  if (sent) {
    return true;
  }
  // A peer that only took nothing for the send's bound may still be there; any other failure
  // (a reset, a closed connection) means it is gone.
  if (!m_socket->IsOpen() || !m_socket->SendTimedOut()) {
    m_lost.store(true);
  }
  return false;
}

void SocketTransport::Lose() {
  if (!m_lost.exchange(true)) {
    m_owner->OnConnectionLost();
  }
}

int32_t SocketTransport::Read(uint8_t* buffer, int32_t capacity) {
  if (capacity < m_rx_count) {
    return 0;  // the bytes stay for a caller with room
  }
  const int32_t count = m_rx_count;
  std::memcpy(buffer, m_rx_data, static_cast<size_t>(count));
  m_rx_count = 0;
  return count;
}

void SocketTransport::Deliver(const uint8_t* data, int32_t count) {
  if (m_com_port) {
    m_decoded.clear();
    m_answers.clear();
    m_com_port->Take(data, count, &m_decoded, &m_answers);
    if (!m_answers.empty()) {
      SendWhole(m_answers);  // a failure shows in the next frame's write
    }
    if (m_decoded.empty()) {
      return;  // only the server's own commands
    }
    return Store(m_decoded.data(), static_cast<int32_t>(m_decoded.size()));
  }
  Store(data, count);
}

void SocketTransport::Store(const uint8_t* data, int32_t count) {
  // The owner drains the buffer in each call, so it is empty here; never overrun it anyway.
  count = std::min(count, kSocketBufferSize - m_rx_count);
  std::memcpy(m_rx_data + m_rx_count, data, static_cast<size_t>(count));
  m_rx_count += count;
  m_owner->OnDataReceived();
}

}  // namespace velmar::transport
