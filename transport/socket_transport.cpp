#include "transport/socket_transport.h"

#include <algorithm>
#include <cstring>

#include "platform/message_box.h"

namespace velmar::transport {

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

SocketTransport::SocketTransport(ReceiveSink* owner, std::string host, int32_t port_number)
    : m_owner(owner), m_host(std::move(host)), m_port_number(port_number) {}

SocketTransport::~SocketTransport() {
  m_socket.reset();
}

bool SocketTransport::OpenConnection() {
  if (!platform::StreamSocket::Startup()) {
    platform::ShowMessageBox(kSocketsFailedText, "Error!", platform::BoxIcon::kError);
    return false;
  }
  m_socket = std::make_unique<LinkSocket>(this);
  if (!m_socket->Create() || !m_socket->Connect(m_host, m_port_number)) {
    const int error = m_socket->ConnectError();
    // An IPv6 address is bracketed, so that the port number stands apart from it.
    const bool v6 = m_host.find(':') != std::string::npos;
    m_open_failure = {OpenFailureKind::kNoConnection, error, m_socket->ConnectErrorText(),
                      (v6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_port_number)};
    m_socket.reset();
    return false;
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

bool SocketTransport::Write(const uint8_t* data, int32_t length) {
  if (!m_socket || !m_socket->IsOpen() || length <= 0) {
    return false;
  }
  if (m_socket->Send(data, length) == length) {
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
  // The owner drains the buffer in each call, so it is empty here; never overrun it anyway.
  count = std::min(count, kSocketBufferSize - m_rx_count);
  std::memcpy(m_rx_data + m_rx_count, data, static_cast<size_t>(count));
  m_rx_count += count;
  m_owner->OnDataReceived();
}

}  // namespace velmar::transport
