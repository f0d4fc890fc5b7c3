#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// windows.h names its own PostMessage so; the message queue's is meant.
#undef PostMessage

#include "platform/serial_line.h"
#include "platform/stream_socket.h"
#include "platform/window_message.h"

namespace velmar::platform {

namespace {

constexpr MessageId kSocketNotification = kWmUser + 0x100;
constexpr WParam kNotifyReceive = 1;
constexpr WParam kNotifyClose = 2;
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);
using Clock = std::chrono::steady_clock;

static_assert(StreamSocket::kSendRoomTimeout == SerialLine::kWriteRoomTimeout,
              "a stalled peer gets the same time as a stalled serial line");

// Waits until the socket is writable (or its connect has failed) or `deadline` passes. As on
// every platform, nothing of the calling thread's runs meanwhile: no messages are dispatched.
// Returns 1 when writable, 0 at the deadline, -1 when the socket failed.
int WaitWritable(SOCKET socket, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return 0;
    }
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);  // where Winsock reports a connect that failed
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    timeval timeout{static_cast<long>(seconds.count()),
                    static_cast<long>((left - seconds).count())};
    const int ready = ::select(0, nullptr, &writable, &failed, &timeout);
    if (ready == SOCKET_ERROR) {
      return -1;
    }
    if (ready > 0) {
      return FD_ISSET(socket, &failed) ? -1 : 1;
    }
  }
}

// Waits until the socket has input (or its end) or `deadline` passes; true when it has.
bool WaitReadable(SOCKET socket, Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
  if (left.count() <= 0) {
    return false;
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  timeval timeout{static_cast<long>(seconds.count()), static_cast<long>((left - seconds).count())};
  return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

// Sends small frames at once, and asks for every segment to be acknowledged at once: Windows
// has no quick acknowledgement to re-arm, but an acknowledgement frequency of 1 , set once,
// does the same (SIO_TCP_SET_ACK_FREQUENCY of the SDK's mstcpip.h, which mingw-w64 lacks).
// Where the system does not know it, the delayed acknowledgement stays.
void SendAtOnce(SOCKET socket) {
  const BOOL on = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  constexpr DWORD kSetAckFrequency = _WSAIOW(IOC_VENDOR, 23);
  DWORD frequency = 1;
  DWORD returned = 0;
  ::WSAIoctl(socket, kSetAckFrequency, &frequency, sizeof frequency, nullptr, 0, &returned, nullptr,
             nullptr);
}

bool SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ::ioctlsocket(socket, FIONBIO, &on) == 0;
}

}  // namespace

struct StreamSocket::Impl : public Window {
  Impl(StreamSocket* owner, MessageQueue& queue) : Window(queue), socket(owner) {}
  ~Impl() override { StopWatcher(); }

  LResult HandleMessage(MessageId message, WParam kind, LParam) override {
    if (message != kSocketNotification || handle == INVALID_SOCKET) {
      return 0;
    }
    int error = 0;
    int length = sizeof error;
    ::getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
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
    network = ::WSACreateEvent();
    stop_event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (network == WSA_INVALID_EVENT || stop_event == nullptr ||
        ::WSAEventSelect(handle, network, FD_READ | FD_CLOSE) != 0) {
      return;
    }
    watcher = std::thread([this] { Watch(); });
  }

  // Winsock signals FD_READ again only after a receive, and FD_CLOSE once; the end of the
  // stream, like a POSIX poll at end of file, stays readable from then on.
  void Watch() {
    bool ended = false;
    for (;;) {
      {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return armed || stop; });
        if (stop) {
          return;
        }
      }
      WParam kind = kNotifyReceive;
      if (!ended) {
        const HANDLE events[] = {network, stop_event};
        const DWORD waited = ::WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
        if (waited != WSA_WAIT_EVENT_0) {
          return;  // stopped, or the wait itself failed
        }
        WSANETWORKEVENTS happened{};
        if (::WSAEnumNetworkEvents(handle, network, &happened) != 0) {
          kind = kNotifyClose;
        } else if ((happened.lNetworkEvents & FD_CLOSE) != 0) {
          ended = true;
        } else if ((happened.lNetworkEvents & FD_READ) == 0) {
          continue;
        }
      } else if (::WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0) {
        return;
      }
      {
        std::lock_guard lock(mutex);
        armed = false;
      }
      PostMessage(this, kSocketNotification, kind);
    }
  }

  void StopWatcher() {
    {
      std::lock_guard lock(mutex);
      stop = true;
      cv.notify_all();
    }
    if (stop_event != nullptr) {
      ::SetEvent(stop_event);
    }
    if (watcher.joinable()) {
      watcher.join();
    }
    if (network != WSA_INVALID_EVENT) {
      ::WSACloseEvent(network);
      network = WSA_INVALID_EVENT;
    }
    if (stop_event != nullptr) {
      ::CloseHandle(stop_event);
      stop_event = nullptr;
    }
  }

  StreamSocket* socket;
  SOCKET handle = INVALID_SOCKET;
  WSAEVENT network = WSA_INVALID_EVENT;
  HANDLE stop_event = nullptr;
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

// Once for the process, and kept to its end: Winsock counts its starts and cleanups, and a
// cleanup while another socket lives would end that socket too.
bool StreamSocket::Startup() {
  static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(kWinsockVersion, &data) == 0;
  }();
  return started;
}

bool StreamSocket::Create() {
  MessageQueue* queue = MessageQueue::Current();
  if (queue == nullptr || !Startup()) {
    return false;
  }
  m_impl = std::make_unique<Impl>(this, *queue);
  return true;
}

bool StreamSocket::Connect(const std::string& host, int32_t port, Notify notify) {
  m_connect_error = WSAEINVAL;
  m_resolution_failure.clear();
  if (!m_impl || port <= 0 || port > 65535) {
    return false;
  }
  // One budget for the name and all its addresses, as on every platform.
  const auto deadline = Clock::now() + kConnectTimeout;
  m_connect_error = WSAETIMEDOUT;
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
    const SOCKET handle = ::socket(at->ai_family, at->ai_socktype, at->ai_protocol);
    if (handle == INVALID_SOCKET) {
      continue;
    }
    // Not inherited by programs this one starts.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
    bool connected = false;
    if (SetNonBlocking(handle)) {
      connected = ::connect(handle, at->ai_addr, static_cast<int>(at->ai_addrlen)) == 0;
      m_connect_error = connected ? 0 : ::WSAGetLastError();
      if (!connected && m_connect_error == WSAEWOULDBLOCK) {
        m_connect_error = WSAETIMEDOUT;
        if (WaitWritable(handle, deadline) > 0) {
          int length = sizeof m_connect_error;
          connected = ::getsockopt(handle, SOL_SOCKET, SO_ERROR,
                                   reinterpret_cast<char*>(&m_connect_error), &length) == 0 &&
                      m_connect_error == 0;
        }
      }
    }
    if (connected) {
      SendAtOnce(handle);
      m_impl->handle = handle;
      if (notify == Notify::kAtConnect) {
        m_impl->StartWatcher();
      }
      return true;
    }
    ::closesocket(handle);
  }
  return false;
}

int32_t StreamSocket::Receive(uint8_t* buffer, int32_t capacity) {
  if (!IsOpen() || capacity <= 0) {
    return -1;
  }
  const int got = ::recv(m_impl->handle, reinterpret_cast<char*>(buffer), capacity, 0);
  return got >= 0 ? got : -1;
}

void StreamSocket::StartNotifications() {
  if (IsOpen() && !m_impl->watcher.joinable()) {
    m_impl->StartWatcher();
  }
}

int32_t StreamSocket::ReceiveBefore(uint8_t* buffer, int32_t capacity, Clock::time_point deadline) {
  if (!IsOpen() || m_impl->watcher.joinable() || !WaitReadable(m_impl->handle, deadline)) {
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
    const int put =
        ::send(m_impl->handle, reinterpret_cast<const char*>(data + sent), length - sent, 0);
    if (put > 0) {
      sent += put;
      deadline = Clock::now() + kSendRoomTimeout;
      continue;
    }
    if (put == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      const int room = WaitWritable(m_impl->handle, deadline);
      if (room > 0) {
        continue;
      }
      m_send_timed_out = room == 0;
    }
    return -1;
  }
  return sent;
}

void StreamSocket::Close() {
  if (!m_impl || m_impl->handle == INVALID_SOCKET) {
    return;
  }
  // Inside a handler the watcher is waiting to be re-armed; stopping it never waits for us.
  m_impl->StopWatcher();
  ::closesocket(m_impl->handle);
  m_impl->handle = INVALID_SOCKET;
}

bool StreamSocket::IsOpen() const {
  return m_impl && m_impl->handle != INVALID_SOCKET;
}

}  // namespace velmar::platform
