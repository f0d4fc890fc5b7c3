#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/serial_line.h"
#include "platform/stream_socket.h"
#include "platform/window_message.h"

namespace velmar::platform {

namespace {

constexpr MessageId kSocketNotification = kWmUser + 0x100;
constexpr WParam kNotifyReceive = 1;
constexpr WParam kNotifyClose = 2;
using Clock = std::chrono::steady_clock;

static_assert(StreamSocket::kSendRoomTimeout == SerialLine::kWriteRoomTimeout,
              "a stalled peer gets the same time as a stalled serial line");

// Waits until the socket is writable or `deadline` passes. The caller may be a handler that the
// engine runs while holding its run, so nothing else of the thread's may run meanwhile: no
// messages are dispatched. Returns the poll events, 0 at the deadline, -1 when poll failed.
int WaitWritable(int fd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return 0;
    }
    pollfd pfd{fd, POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready > 0) {
      return pfd.revents;
    }
    if (ready < 0 && errno != EINTR) {
      return -1;
    }
  }
}

// Waits until the socket has input (or its end) or `deadline` passes; true when it has.
bool WaitReadable(int fd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready > 0) {
      return true;
    }
    if (ready < 0 && errno != EINTR) {
      return false;
    }
  }
}

// Linux drops quick acknowledgement again after a while, so it is asked for after each receive.
void AcknowledgeAtOnce(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

}  // namespace

struct StreamSocket::Impl : public Window {
  Impl(StreamSocket* owner, MessageQueue& queue) : Window(queue), socket(owner) {}
  ~Impl() override { StopWatcher(); }

  LResult HandleMessage(MessageId message, WParam kind, LParam) override {
    if (message != kSocketNotification || fd < 0) {
      return 0;
    }
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (kind == kNotifyReceive) {
      socket->OnReceive(error);
    } else {
      socket->OnClose(error);
    }
    std::lock_guard lock(mutex);
    armed = true;  // ready for the next notification, as after a receive
    cv.notify_all();
    return 0;
  }

  void StartWatcher() {
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
      wake[0] = wake[1] = -1;
      return;
    }
    watcher = std::thread([this] { Watch(); });
  }

  void Watch() {
    for (;;) {
      {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return armed || stop; });
        if (stop) {
          return;
        }
      }
      pollfd fds[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        return;
      }
      if (fds[1].revents != 0) {
        return;
      }
      {
        std::lock_guard lock(mutex);
        armed = false;
      }
      PostMessage(this, kSocketNotification,
                  (fds[0].revents & POLLIN) != 0 ? kNotifyReceive : kNotifyClose);
    }
  }

  void StopWatcher() {
    {
      std::lock_guard lock(mutex);
      stop = true;
      cv.notify_all();
    }
    if (wake[1] >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t written = ::write(wake[1], &byte, 1);
    }
    if (watcher.joinable()) {
      watcher.join();
    }
    for (int& end : wake) {
      if (end >= 0) {
        ::close(end);
        end = -1;
      }
    }
  }

  StreamSocket* socket;
  int fd = -1;
  int wake[2] = {-1, -1};
  std::thread watcher;
  std::mutex mutex;
  std::condition_variable cv;
  bool armed = true;
  bool stop = false;
};

StreamSocket::StreamSocket() = default;

StreamSocket::~StreamSocket() {
  Close();
}

bool StreamSocket::Startup() {
  return true;
}  // nothing to start on POSIX

bool StreamSocket::Create() {
  MessageQueue* queue = MessageQueue::Current();
  if (queue == nullptr) {
    return false;
  }
  m_impl = std::make_unique<Impl>(this, *queue);
  return true;
}

bool StreamSocket::Connect(const std::string& host, int32_t port, Notify notify) {
  m_connect_error = EINVAL;
  m_resolution_failure.clear();
  if (!m_impl || port <= 0 || port > 65535) {
    return false;
  }
  // One budget for the name and all its addresses: neither a silent name server nor a peer
  // that drops the handshake may hold the caller for the system's retry schedule (minutes).
  const auto deadline = Clock::now() + kConnectTimeout;
  m_connect_error = ETIMEDOUT;
  const std::optional<NameResolution> resolved =
      ResolveBefore(m_resolve, host, std::to_string(port), deadline);
  if (!resolved) {
    return false;
  }
  if (!resolved->addresses) {
    m_connect_error = 0;
    m_resolution_failure = resolved->failure_text;
    return false;
  }
  addrinfo* const found = resolved->addresses.get();
  for (addrinfo* at = found; at != nullptr && Clock::now() < deadline; at = at->ai_next) {
    const int fd =
        ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
    if (fd < 0) {
      continue;
    }
    bool connected = ::connect(fd, at->ai_addr, at->ai_addrlen) == 0;
    m_connect_error = connected ? 0 : errno;
    if (!connected && errno == EINPROGRESS) {
      m_connect_error = ETIMEDOUT;
      if (WaitWritable(fd, deadline) > 0) {
        socklen_t length = sizeof m_connect_error;
        connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &m_connect_error, &length) == 0 &&
                    m_connect_error == 0;
      }
    }
    if (connected) {
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      AcknowledgeAtOnce(fd);
      m_impl->fd = fd;
      if (notify == Notify::kAtConnect) {
        m_impl->StartWatcher();
      }
      return true;
    }
    ::close(fd);
  }
  return false;
}

int32_t StreamSocket::Receive(uint8_t* buffer, int32_t capacity) {
  if (!IsOpen() || capacity <= 0) {
    return -1;
  }
  for (;;) {
    const ssize_t got = ::recv(m_impl->fd, buffer, static_cast<size_t>(capacity), 0);
    if (got >= 0) {
      AcknowledgeAtOnce(m_impl->fd);
      return static_cast<int32_t>(got);
    }
    if (errno != EINTR) {
      return -1;
    }
  }
}

void StreamSocket::StartNotifications() {
  if (IsOpen() && !m_impl->watcher.joinable()) {
    m_impl->StartWatcher();
  }
}

int32_t StreamSocket::ReceiveBefore(uint8_t* buffer, int32_t capacity, Clock::time_point deadline) {
  if (!IsOpen() || m_impl->watcher.joinable() || !WaitReadable(m_impl->fd, deadline)) {
    return -1;
  }
  return Receive(buffer, capacity);
}

int32_t StreamSocket::Send(const uint8_t* data, int32_t length) {
  if (!IsOpen() || length < 0) {
    return -1;
  }
  m_send_timed_out = false;
  int32_t sent = 0;
  // The bound runs from the last byte the peer took, as for a serial write.
  auto deadline = Clock::now() + kSendRoomTimeout;
  while (sent < length) {
    const ssize_t put =
        ::send(m_impl->fd, data + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL);
    if (put > 0) {
      sent += static_cast<int32_t>(put);
      deadline = Clock::now() + kSendRoomTimeout;
      continue;
    }
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // An error or hang-up without room is left for the next send to report.
      const int room = WaitWritable(m_impl->fd, deadline);
      if (room > 0 && (room & (POLLOUT | POLLERR | POLLHUP)) != 0) {
        continue;
      }
      m_send_timed_out = room == 0;
    }
    return -1;
  }
  return sent;
}

void StreamSocket::Close() {
  if (!m_impl || m_impl->fd < 0) {
    return;
  }
  // Inside a handler the watcher is waiting to be re-armed; stopping it never waits for us.
  m_impl->StopWatcher();
  ::close(m_impl->fd);
  m_impl->fd = -1;
}

bool StreamSocket::IsOpen() const {
  return m_impl && m_impl->fd >= 0;
}

}  // namespace velmar::platform
