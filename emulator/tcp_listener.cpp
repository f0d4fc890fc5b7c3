#include "emulator/tcp_listener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace velmar::emulator {

namespace {

// Room for a few tools queued behind the one being served.
constexpr int kBacklog = 4;
constexpr size_t kDrainChunk = 4096;

std::string NumericAddress(const sockaddr_storage& address, socklen_t length) {
  char host[NI_MAXHOST] = {};
  char port[NI_MAXSERV] = {};
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return {};
  }
  const bool v6 = address.ss_family == AF_INET6;
  return (v6 ? "[" : "") + std::string(host) + (v6 ? "]:" : ":") + port;
}

}  // namespace

bool TcpListener::Open(const std::string& host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int resolved = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (resolved != 0) {
    m_error = host + ": " + ::gai_strerror(resolved);
    return false;
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(found, &::freeaddrinfo);
  m_error = "no address to listen on";
  for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
    UniqueFd fd(
        ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol));
    // A port left in TIME_WAIT by an earlier run is free to take again.
    const int on = 1;
    if (!fd.Valid() || ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd.Get(), at->ai_addr, at->ai_addrlen) != 0 || ::listen(fd.Get(), kBacklog) != 0) {
      m_error = std::string("cannot listen: ") + std::strerror(errno);
      continue;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
      m_error = std::string("cannot listen: ") + std::strerror(errno);
      continue;
    }
    m_address = NumericAddress(bound, length);
    m_fd = std::move(fd);
    m_error.clear();
    return true;
  }
  return false;
}

UniqueFd TcpListener::Accept() {
  UniqueFd connection(::accept4(m_fd.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (connection.Valid()) {
    // Replies are a few bytes each, and drip sends them one by one: none may wait for more.
    const int on = 1;
    ::setsockopt(connection.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  return connection;
}

void TcpListener::HangUp(UniqueFd& connection) {
  if (!connection.Valid()) {
    return;
  }
  // Closing on unread bytes would reset the connection, and the tool would read a failure
  // instead of the end of stream: take what is there, then send the end before closing.
  uint8_t unread[kDrainChunk];
  while (::recv(connection.Get(), unread, sizeof unread, MSG_DONTWAIT) > 0) {
  }
  ::shutdown(connection.Get(), SHUT_WR);
  connection.Reset();
}

}  // namespace velmar::emulator
