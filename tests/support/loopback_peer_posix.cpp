#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/loopback_peer.h"

namespace velmar::test {

struct LoopbackPeer::Impl {
  int listener = -1;
  int connection = -1;
  int32_t port = 0;
};

LoopbackPeer::LoopbackPeer(int receive_buffer) : m_impl(std::make_unique<Impl>()) {
  m_impl->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (receive_buffer != 0) {
    ::setsockopt(m_impl->listener, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(m_impl->listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(m_impl->listener, 1);
  socklen_t length = sizeof address;
  ::getsockname(m_impl->listener, reinterpret_cast<sockaddr*>(&address), &length);
  m_impl->port = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  CloseConnection();
  ::close(m_impl->listener);
}

int32_t LoopbackPeer::Port() const {
  return m_impl->port;
}

bool LoopbackPeer::Accept() {
  pollfd pfd{m_impl->listener, POLLIN, 0};
  if (::poll(&pfd, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())) != 1) {
    return false;
  }
  m_impl->connection = ::accept4(m_impl->listener, nullptr, nullptr, SOCK_CLOEXEC);
  return m_impl->connection >= 0;
}

bool LoopbackPeer::Send(const std::vector<uint8_t>& bytes) {
  return ::send(m_impl->connection, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
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
  pollfd pfd{m_impl->connection, POLLIN, 0};
  if (::poll(&pfd, 1, static_cast<int>(wait.count())) != 1) {
    return 0;
  }
  const ssize_t got = ::recv(m_impl->connection, buffer, capacity, 0);
  return got > 0 ? static_cast<int>(got) : -1;
}

void LoopbackPeer::CloseConnection() {
  if (m_impl->connection >= 0) {
    ::close(m_impl->connection);
    m_impl->connection = -1;
  }
}

}  // namespace velmar::test
