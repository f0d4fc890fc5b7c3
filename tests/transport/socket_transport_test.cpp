#include "transport/socket_transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "datafile/load_window.h"
#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "platform/manual_reset_event.h"
#include "platform/message_box.h"
#include "platform/window_message.h"
#include "transport/transport_factory.h"

namespace velmar::transport {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
constexpr auto kDeadline = 10s;

// A listening socket on loopback, and the peer's end of one accepted connection.
class LoopbackPeer {
 public:
  // A `receive_buffer` other than 0 shrinks the accepted connection's receive buffer, so that a
  // peer that stops reading stalls the sender soon.
  explicit LoopbackPeer(int receive_buffer = 0) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receive_buffer != 0) {
      ::setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listener, 1);
    socklen_t length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
  }
  ~LoopbackPeer() {
    CloseConnection();
    ::close(m_listener);
  }
  int32_t Port() const { return m_port; }
  int Connection() const { return m_connection; }
  bool Accept() {
    pollfd pfd{m_listener, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())) != 1) {
      return false;
    }
    m_connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    return m_connection >= 0;
  }
  bool Send(const Bytes& bytes) {
    return ::send(m_connection, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Reads exactly `count` bytes, or what came by the deadline.
  Bytes Receive(size_t count) {
    Bytes bytes;
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (bytes.size() < count && std::chrono::steady_clock::now() < until) {
      pollfd pfd{m_connection, POLLIN, 0};
      if (::poll(&pfd, 1, 100) != 1) {
        continue;
      }
      uint8_t buffer[512];
      const ssize_t got =
          ::recv(m_connection, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
      if (got <= 0) {
        break;
      }
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
  }
  void CloseConnection() {
    if (m_connection >= 0) {
      ::close(m_connection);
      m_connection = -1;
    }
  }

 private:
  int m_listener = -1;
  int m_connection = -1;
  int32_t m_port = 0;
};

// Takes each delivery with Read and records its size; can first try a too-small buffer.
class RecordingSink : public ReceiveSink {
 public:
  void OnDataReceived() override {
    if (small_read_first) {
      uint8_t tiny[10];
      small_reads.push_back(transport->Read(tiny, sizeof tiny));
    }
    uint8_t buffer[8192];
    const int32_t got = transport->Read(buffer, sizeof buffer);
    deliveries.push_back(got);
    received.insert(received.end(), buffer, buffer + got);
  }
  Transport* transport = nullptr;
  bool small_read_first = false;
  std::vector<int32_t> small_reads;
  std::vector<int32_t> deliveries;
  Bytes received;
};

class BoxRecorder {
 public:
  BoxRecorder() {
    m_previous = platform::SetMessageBoxHandler(
        [this](std::string_view text, std::string_view, platform::BoxIcon) {
          std::lock_guard lock(m_mutex);
          m_texts.emplace_back(text);
        });
  }
  ~BoxRecorder() { platform::SetMessageBoxHandler(m_previous); }
  std::vector<std::string> Texts() {
    std::lock_guard lock(m_mutex);
    return m_texts;
  }

 private:
  platform::MessageBoxHandler m_previous;
  std::mutex m_mutex;
  std::vector<std::string> m_texts;
};

class SocketTransportTest : public ::testing::Test {
 protected:
  platform::MessageQueue m_queue;
  LoopbackPeer m_peer;
  RecordingSink m_sink;
};

TEST_F(SocketTransportTest, EachReadinessIsOneDeliveryOfAtMost4096Bytes) {
  SocketTransport transport(&m_sink, "127.0.0.1", m_peer.Port());
  m_sink.transport = &transport;
  m_sink.small_read_first = true;
  ASSERT_TRUE(transport.OpenConnection());
  ASSERT_TRUE(m_peer.Accept());
  Bytes chunk(kReceiveChunk);
  for (size_t i = 0; i < chunk.size(); ++i) {
    chunk[i] = static_cast<uint8_t>(i * 7);
  }
  ASSERT_TRUE(m_peer.Send(chunk));
  ASSERT_TRUE(m_queue.RunUntil([&] { return m_sink.received.size() == chunk.size(); }, kDeadline));
  ASSERT_TRUE(m_peer.Send(chunk));
  ASSERT_TRUE(
      m_queue.RunUntil([&] { return m_sink.received.size() == 2 * chunk.size(); }, kDeadline));
  EXPECT_EQ(m_sink.deliveries, (std::vector<int32_t>{4096, 4096}));
  EXPECT_EQ(m_sink.small_reads, (std::vector<int32_t>{0, 0}));  // kept, not lost
  EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), m_sink.received.begin() + 4096));
  EXPECT_TRUE(transport.CloseConnection());
  EXPECT_FALSE(transport.CloseConnection());
}

TEST_F(SocketTransportTest, ReadOnAnEmptyBufferAndUnconnectedCalls) {
  SocketTransport transport(&m_sink, "127.0.0.1", m_peer.Port());
  uint8_t buffer[16];
  EXPECT_EQ(transport.Read(buffer, sizeof buffer), 0);
  EXPECT_FALSE(transport.CloseConnection());
  EXPECT_FALSE(transport.Write(buffer, 4));
  EXPECT_FALSE(transport.IsOpen());
}

TEST_F(SocketTransportTest, WritesReachThePeerInOrder) {
  SocketTransport transport(&m_sink, "localhost", m_peer.Port());
  ASSERT_TRUE(transport.OpenConnection());
  ASSERT_TRUE(m_peer.Accept());
  const Bytes frame{0x1E, 0x72, 0x53, 0x01, 0x01};
  EXPECT_TRUE(transport.Write(frame.data(), 5));
  EXPECT_FALSE(transport.Write(frame.data(), 0));
  EXPECT_EQ(m_peer.Receive(5), frame);
}

TEST_F(SocketTransportTest, PeerClosingShowsError4AndLaterWritesSendNothing) {
  BoxRecorder boxes;
  SocketTransport transport(&m_sink, "127.0.0.1", m_peer.Port());
  m_sink.transport = &transport;
  ASSERT_TRUE(transport.OpenConnection());
  ASSERT_TRUE(m_peer.Accept());
  m_peer.CloseConnection();
  ASSERT_TRUE(m_queue.RunUntil([&] { return !boxes.Texts().empty(); }, kDeadline));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kPeerClosedText});
  EXPECT_TRUE(m_sink.deliveries.empty());  // the owner is not told
  const uint8_t byte = 0x55;
  EXPECT_FALSE(transport.Write(&byte, 1));
}

TEST_F(SocketTransportTest, RefusedConnectionFailsWithoutABox) {
  BoxRecorder boxes;
  int32_t unused_port;
  {
    LoopbackPeer closed;
    unused_port = closed.Port();
  }
  SocketTransport transport(&m_sink, "127.0.0.1", unused_port);
  EXPECT_FALSE(transport.OpenConnection());
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_TRUE(boxes.Texts().empty());
  SocketTransport no_host(&m_sink, "no-such-host.invalid", 9);
  EXPECT_FALSE(no_host.OpenConnection());
}

// A file descriptor closed with its scope.
class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

// A window that counts the messages dispatched to it.
class CountingWindow : public platform::Window {
 public:
  explicit CountingWindow(platform::MessageQueue& queue) : Window(queue) {}
  platform::LResult HandleMessage(platform::MessageId, platform::WParam,
                                  platform::LParam) override {
    ++handled;
    return 0;
  }
  int handled = 0;
};

// Runs `unstick` on its own thread if the test's call is still blocked after `patience`, so that
// a call that would block for minutes fails the test instead of holding it. `done` is set once
// the call has returned.
class Unsticker {
 public:
  using Action = std::function<void(const platform::ManualResetEvent& done)>;
  Unsticker(std::chrono::milliseconds patience, Action unstick)
      : m_thread([this, patience, unstick = std::move(unstick)] {
          if (!m_done.WaitFor(patience)) {
            unstick(m_done);
          }
        }) {}
  ~Unsticker() {
    m_done.Set();
    m_thread.join();
  }
  Unsticker(const Unsticker&) = delete;
  Unsticker& operator=(const Unsticker&) = delete;

 private:
  platform::ManualResetEvent m_done;
  std::thread m_thread;
};

struct BlockedCall {
  bool result = false;
  std::chrono::milliseconds elapsed{0};
  int dispatched_during = 0;
};

// Posts a message to `window` on the calling thread, then makes the call: what it returned, how
// long it took and how many messages the thread handled meanwhile.
BlockedCall RunBlocked(CountingWindow& window, const std::function<bool()>& call) {
  platform::PostMessage(&window, platform::kWmUser + 1);
  const auto start = std::chrono::steady_clock::now();
  BlockedCall blocked;
  blocked.result = call();
  blocked.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  blocked.dispatched_during = window.handled;
  return blocked;
}

constexpr int kSmallReceiveBuffer = 4096;
constexpr auto kPatience = 15s;  // far beyond every bound under test

TEST_F(SocketTransportTest, AWriteToAPeerThatStopsReadingGivesUpWithoutDispatching) {
  LoopbackPeer stalled(kSmallReceiveBuffer);
  SocketTransport transport(&m_sink, "127.0.0.1", stalled.Port());
  ASSERT_TRUE(transport.OpenConnection());
  ASSERT_TRUE(stalled.Accept());
  CountingWindow window(m_queue);
  const Bytes bulk(32 << 20, 0x5A);  // far more than both ends' buffers hold
  BlockedCall write;
  {
    Unsticker drain(kPatience, [fd = stalled.Connection()](const platform::ManualResetEvent& done) {
      uint8_t buffer[65536];
      while (!done.IsSet()) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) == 1 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) {
          return;
        }
      }
    });
    write = RunBlocked(
        window, [&] { return transport.Write(bulk.data(), static_cast<int32_t>(bulk.size())); });
  }
  EXPECT_FALSE(write.result);
  EXPECT_GE(write.elapsed, 1500ms);
  EXPECT_LT(write.elapsed, 6s);
  EXPECT_EQ(write.dispatched_during, 0);
  EXPECT_TRUE(m_queue.RunUntil([&] { return window.handled == 1; }, kDeadline));
}

// The bound is on the peer taking nothing, not on the whole send: a peer that keeps taking
// bytes, however slowly, gets all of them.
TEST_F(SocketTransportTest, AWriteToAPeerThatReadsInBurstsOutlastsTheBound) {
  LoopbackPeer slow(kSmallReceiveBuffer);
  SocketTransport transport(&m_sink, "127.0.0.1", slow.Port());
  ASSERT_TRUE(transport.OpenConnection());
  ASSERT_TRUE(slow.Accept());
  Bytes bulk(12 << 20);
  for (size_t i = 0; i < bulk.size(); ++i) {
    bulk[i] = static_cast<uint8_t>(i * 13 + i / 4096);
  }
  // Takes a share of the bytes, then stays away for well under the bound, until it has them
  // all; once the write has returned it takes the rest at once. The sender finds room only once
  // about a third of its full buffer (a few MiB at most) has gone, so each share frees that.
  constexpr size_t kShare = 2 << 20;
  constexpr auto kAway = platform::StreamSocket::kSendRoomTimeout * 3 / 10;
  platform::ManualResetEvent returned;
  Bytes received;
  std::thread reader([&, fd = slow.Connection()] {
    received.reserve(bulk.size());
    uint8_t buffer[65536];
    const auto give_up = std::chrono::steady_clock::now() + 2 * kDeadline;
    while (received.size() < bulk.size() && std::chrono::steady_clock::now() < give_up) {
      returned.WaitFor(kAway);
      const size_t share_end = std::min(bulk.size(), received.size() + kShare);
      while (received.size() < share_end && std::chrono::steady_clock::now() < give_up) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 10) != 1) {
          continue;
        }
        const ssize_t got =
            ::recv(fd, buffer, std::min(sizeof buffer, share_end - received.size()), 0);
        if (got <= 0) {
          return;
        }
        received.insert(received.end(), buffer, buffer + got);
      }
    }
  });
  const auto start = std::chrono::steady_clock::now();
  const bool written = transport.Write(bulk.data(), static_cast<int32_t>(bulk.size()));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  if (!written) {
    transport.CloseConnection();  // the reader then sees the end instead of the missing bytes
  }
  returned.Set();
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_GT(elapsed, platform::StreamSocket::kSendRoomTimeout)
      << "the peer's buffers took the write too fast to test the bound";
  EXPECT_TRUE(received == bulk);
}

// A listener whose accept queue is full: the system drops further handshakes, so a connect
// neither completes nor fails until its retries run out, minutes later.
TEST_F(SocketTransportTest, AConnectThatCannotCompleteFailsInTimeWithoutDispatching) {
  BoxRecorder boxes;
  const Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener.Get(), 0), 0);  // room for one connection
  socklen_t length = sizeof address;
  ASSERT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
  // The first filler's handshake completes and fills the queue; the second covers the first's
  // last step still being in flight when the transport's handshake arrives.
  const Fd first(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const Fd second(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  ::connect(first.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  pollfd pfd{first.Get(), POLLOUT, 0};
  ASSERT_EQ(::poll(&pfd, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())), 1);
  ::connect(second.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);

  SocketTransport transport(&m_sink, "127.0.0.1", ntohs(address.sin_port));
  CountingWindow window(m_queue);
  BlockedCall connect;
  {
    // Once the listener is gone the next retried handshake is refused.
    Unsticker refuse(kPatience, [fd = listener.Get()](const platform::ManualResetEvent&) {
      ::shutdown(fd, SHUT_RDWR);
    });
    connect = RunBlocked(window, [&] { return transport.OpenConnection(); });
  }
  EXPECT_FALSE(connect.result);
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_GE(connect.elapsed, 4s);
  EXPECT_LT(connect.elapsed, 9s);
  EXPECT_EQ(connect.dispatched_during, 0);
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_TRUE(m_queue.RunUntil([&] { return window.handled == 1; }, kDeadline));
}

// A window that records the notifications of a run over TCP.
class RunWindow : public datafile::LoadWindow {
 public:
  explicit RunWindow(platform::MessageQueue& queue) : LoadWindow(queue) {}
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam,
                                  platform::LParam) override {
    notifications.push_back(message);
    return 0;
  }
  bool Ended() const {
    for (auto message : notifications) {
      if (message != engine::LN_STATUS && message != engine::LN_STEP) {
        return true;
      }
    }
    return false;
  }
  std::vector<platform::MessageId> notifications;

 protected:
  platform::Window* ProgressWindow() override { return nullptr; }
};

TEST_F(SocketTransportTest, ARunSpeaksTheProtocolOverTcp) {
  RunWindow window(m_queue);
  window.m_file_kind = "MyBIN";
  window.m_model_name = "TEST";
  const Bytes block{0x00, 0x20, 0x00, 0x04, 0x00, 0xA1, 0x0F, 0x00, 1, 2, 3, 4};
  window.m_data.Append(block.data(), static_cast<int32_t>(block.size()));

  // The printer: the example exchange, answered from its own thread.
  std::atomic<bool> printer_ok{false};
  std::thread printer([&] {
    if (!m_peer.Accept()) {
      return;
    }
    const std::vector<std::pair<Bytes, Bytes>> script = {
        {{0x1B, 'B', 'O', 'O', 'T'}, {0xA0}},
        {{0x0A}, {'T', 'E', 'S', 'T', 0, 0x1E, 'S', 'M', 0x00, 0x01}},
        {{0x1E, 0x72, 0x53, 0x01, 0x01}, {0x1E, 0x43, 0x41, 0x00, 0x01}},
        {{0x1E, 0x61, 0x00, 0x20, 0x00}, {0x1E, 0x41, 0x00, 0x20, 0x01}},
        {{0x1E, 0x64, 0x04, 0x00, 0x01}, {0x1E, 0x44, 0x04, 0x00, 0x01}},
        {{0x1E, 0x65, 0xA1, 0x0F, 0x00, 1, 2, 3, 4}, {0x1E, 0x65, 0xA1, 0x0F, 0x00, 1, 2, 3, 4}},
        {{0x1E, 0x77, 0x6F, 0x6B, 0x83}, {}},
    };
    for (const auto& [expected, reply] : script) {
      if (m_peer.Receive(expected.size()) != expected || (!reply.empty() && !m_peer.Send(reply))) {
        return;
      }
    }
    printer_ok = true;
  });
  {
    engine::Downloader run(&window, [&](ReceiveSink* owner) {
      return MakeTransport(owner, "TCP", "127.0.0.1", m_peer.Port(), "", 0);
    });
    ASSERT_TRUE(run.m_transport->IsOpen());
    run.StartProgramLoad();
    ASSERT_TRUE(m_queue.RunUntil([&] { return window.Ended(); }, kDeadline));
    printer.join();
  }
  EXPECT_TRUE(printer_ok.load());
  EXPECT_EQ(window.notifications,
            (std::vector<platform::MessageId>{engine::LN_STATUS, engine::LN_DONE}));
}

TEST_F(SocketTransportTest, APeerThatClosesMidLoadEndsByTheTimeOut) {
  BoxRecorder boxes;
  RunWindow window(m_queue);
  window.m_file_kind = "MyBIN";
  const Bytes block{0x00, 0x20, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 7};
  window.m_data.Append(block.data(), static_cast<int32_t>(block.size()));
  engine::Downloader run(&window, [&](ReceiveSink* owner) {
    return MakeTransport(owner, "TCP", "127.0.0.1", m_peer.Port(), "", 0);
  });
  ASSERT_TRUE(m_peer.Accept());
  run.StartProgramLoad();
  EXPECT_EQ(m_peer.Receive(5).size(), 5u);
  m_peer.CloseConnection();
  ASSERT_TRUE(m_queue.RunUntil([&] { return window.Ended(); }, kDeadline));
  EXPECT_EQ(window.notifications, std::vector<platform::MessageId>{engine::LN_TIMEOUT});
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kPeerClosedText});
}

}  // namespace
}  // namespace velmar::transport
