#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "platform/stream_socket.h"
#include "tests/support/loopback_peer.h"

namespace velmar::test {

struct LoopbackPeer::Impl {
  SOCKET listener = INVALID_SOCKET;
  SOCKET connection = INVALID_SOCKET;
  int32_t port = 0;
};

namespace {

// Whether `socket` has input (or its end) within `wait`.
bool Readable(SOCKET socket, std::chrono::milliseconds wait) {
  WSAPOLLFD pfd{socket, POLLRDNORM, 0};
  return ::WSAPoll(&pfd, 1, static_cast<INT>(wait.count())) == 1;
}

}  // namespace

LoopbackPeer::LoopbackPeer(int receive_buffer) : m_impl(std::make_unique<Impl>()) {
  platform::StreamSocket::Startup();
  m_impl->listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (receive_buffer != 0) {
    ::setsockopt(m_impl->listener, SOL_SOCKET, SO_RCVBUF,
                 reinterpret_cast<const char*>(&receive_buffer), sizeof receive_buffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(m_impl->listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(m_impl->listener, 1);
  int length = sizeof address;
  ::getsockname(m_impl->listener, reinterpret_cast<sockaddr*>(&address), &length);
  m_impl->port = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  CloseConnection();
  ::closesocket(m_impl->listener);
}

int32_t LoopbackPeer::Port() const {
  return m_impl->port;
}

bool LoopbackPeer::Accept() {
  if (!Readable(m_impl->listener, kDeadline)) {
    return false;
  }
  m_impl->connection = ::accept(m_impl->listener, nullptr, nullptr);
  return m_impl->connection != INVALID_SOCKET;
}

bool LoopbackPeer::Send(const std::vector<uint8_t>& bytes) {
  return ::send(m_impl->connection, reinterpret_cast<const char*>(bytes.data()),
                static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
}

std::vector<uint8_t> LoopbackPeer::Receive(size_t count) {
  std::vector<uint8_t> bytes;
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (bytes.size() < count && std::chrono::steady_clock::now() < until) {
    uint8_t buffer[512];
    const int got = ReceiveSome(buffer, std::min(sizeof buffer, count - bytes.size()),
                                std::chrono::milliseconds(100));
    if (got < 0) {
      break;
    }
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

int LoopbackPeer::ReceiveSome(uint8_t* buffer, size_t capacity, std::chrono::milliseconds wait) {
  if (!Readable(m_impl->connection, wait)) {
    return 0;
  }
  const int got =
      ::recv(m_impl->connection, reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0);
  return got > 0 ? got : -1;
}

void LoopbackPeer::CloseConnection() {
  if (m_impl->connection != INVALID_SOCKET) {
    ::closesocket(m_impl->connection);
    m_impl->connection = INVALID_SOCKET;
  }
}

}  // namespace velmar::test
