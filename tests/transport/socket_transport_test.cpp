#include "transport/socket_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "datafile/load_window.h"
#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "platform/manual_reset_event.h"
#include "platform/message_box.h"
#include "platform/window_message.h"
#include "tests/transport/socket_test_support.h"
#include "transport/transport_factory.h"

namespace velmar::transport {
namespace {

using namespace socket_testing;

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
  // The refusal comes with the system's error number (Wine has no words for Winsock's); a name
  // that does not resolve, without one but with the resolver's words.
  EXPECT_EQ(transport.LastOpenFailure().kind, OpenFailureKind::kNoConnection);
  EXPECT_NE(transport.LastOpenFailure().system_error, 0);
  SocketTransport no_host(&m_sink, "no-such-host.invalid", 9);
  EXPECT_FALSE(no_host.OpenConnection());
  EXPECT_EQ(no_host.LastOpenFailure().kind, OpenFailureKind::kNoConnection);
  EXPECT_EQ(no_host.LastOpenFailure().system_error, 0);
  EXPECT_NE(no_host.LastOpenFailure().system_text, "");
}

// A resolver waiting for a name server that never answers: the connect still ends within its
// bound, dispatching nothing, with the time-out's number.
TEST_F(SocketTransportTest, ANameResolvedTooLateFailsInTime) {
  const auto released = std::make_shared<platform::ManualResetEvent>();  // once the test is over
  LinkSocket socket(nullptr);
  ASSERT_TRUE(socket.Create());
  socket.SetResolver([released](const std::string&, const std::string&) {
    released->Wait();
    return platform::NameResolution{};
  });
  CountingWindow window(m_queue);
  const BlockedCall connect =
      RunBlocked(window, [&] { return socket.Connect("no-such-host.invalid", 9); });
  released->Set();
  EXPECT_FALSE(connect.result);
  EXPECT_EQ(connect.dispatched_during, 0);
  EXPECT_GE(connect.elapsed, 4s);
  EXPECT_LT(connect.elapsed, 9s);
  EXPECT_NE(socket.ConnectError(), 0);
}

TEST_F(SocketTransportTest, AWriteToAPeerThatStopsReadingGivesUpWithoutDispatching) {
  LoopbackPeer stalled(kSmallReceiveBuffer);
  SocketTransport transport(&m_sink, "127.0.0.1", stalled.Port());
  ASSERT_TRUE(transport.OpenConnection());
  ASSERT_TRUE(stalled.Accept());
  CountingWindow window(m_queue);
  const Bytes bulk(32 << 20, 0x5A);  // far more than both ends' buffers hold
  BlockedCall write;
  {
    Unsticker drain(kPatience, [&stalled](const platform::ManualResetEvent& done) {
      uint8_t buffer[65536];
      while (!done.IsSet()) {
        if (stalled.ReceiveSome(buffer, sizeof buffer, 100ms) < 0) {
          return;
        }
      }
    });
    write = RunBlocked(
        window, [&] { return transport.Write(bulk.data(), static_cast<int32_t>(bulk.size())); });
  }
  EXPECT_FALSE(write.result);
  EXPECT_FALSE(transport.ConnectionLost());  // a peer that stopped reading may still be there
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
  std::thread reader([&] {
    received.reserve(bulk.size());
    uint8_t buffer[65536];
    const auto give_up = std::chrono::steady_clock::now() + 2 * kDeadline;
    while (received.size() < bulk.size() && std::chrono::steady_clock::now() < give_up) {
      returned.WaitFor(kAway);
      const size_t share_end = std::min(bulk.size(), received.size() + kShare);
      while (received.size() < share_end && std::chrono::steady_clock::now() < give_up) {
        const int got =
            slow.ReceiveSome(buffer, std::min(sizeof buffer, share_end - received.size()), 10ms);
        if (got < 0) {
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

TEST_F(SocketTransportTest, APeerThatClosesMidLoadShowsItsBoxAndEndsTheLoadAtOnce) {
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
  const auto closed = std::chrono::steady_clock::now();
  ASSERT_TRUE(m_queue.RunUntil([&] { return window.Ended(); }, kDeadline));
  EXPECT_LT(std::chrono::steady_clock::now() - closed,
            engine::kTimeoutTicks * engine::kWatchdogTick);
  EXPECT_EQ(window.notifications, std::vector<platform::MessageId>{engine::LN_PORT_LOST});
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kPeerClosedText});
  EXPECT_TRUE(run.m_transport->ConnectionLost());
}

// A serial device server's port: the line is set up before the open returns, or refused with
// why; the server plays its part on a thread of its own while the open waits for it.
TEST_F(SocketTransportTest, AServersPortIsSetUpBeforeTheOpenReturns) {
  using namespace telnet;
  const Bytes agree = {kIac, kDo, kComPortOption, kIac, kWill, kBinary, kIac, kDo, kBinary};
  Bytes settled;
  for (const Bytes& answer :
       std::vector<Bytes>{{101, 0, 0, 0x25, 0x80}, {102, 8}, {103, 1}, {104, 1}, {112, 3}}) {
    Codec::AppendSubNegotiation(kComPortOption, answer, &settled);
  }
  const size_t greeting = ComPortClient::Greeting().size();
  enum class Server { kSilent, kCloses, kAgrees };
  const struct {
    Server server;
    std::string reason;  // empty: opens
  } cases[] = {
      {Server::kSilent, "the server did not agree to RFC 2217 COM-PORT-OPTION in time"},
      {Server::kCloses,
       "the server closed the connection; it said \"Port's device already in use\""},
      {Server::kAgrees, ""},
  };
  for (const auto& c : cases) {
    LoopbackPeer peer;
    std::thread server([&] {
      if (!peer.Accept() || peer.Receive(greeting).size() != greeting) {
        return;
      }
      if (c.server == Server::kCloses) {
        const std::string words = "\r\nPort's device already in use\r\n";
        peer.Send(Bytes(words.begin(), words.end()));
        peer.CloseConnection();
      } else if (c.server == Server::kAgrees) {
        peer.Send(agree);
        peer.Receive(10 + 7 * 7);  // the rate, then seven one-byte settings
        peer.Send(settled);
      }
    });
    SocketTransport transport(&m_sink, "127.0.0.1", peer.Port(), 9600);
    m_sink.transport = &transport;
    const auto start = std::chrono::steady_clock::now();
    const bool opened = transport.OpenConnection();
    server.join();
    EXPECT_EQ(opened, c.reason.empty()) << c.reason;
    if (!opened) {
      const OpenFailure failure = transport.LastOpenFailure();
      EXPECT_EQ(failure.kind, OpenFailureKind::kServerRefused);
      EXPECT_EQ(failure.system_text, c.reason);
      EXPECT_EQ(failure.port, "rfc2217://127.0.0.1:" + std::to_string(peer.Port()));
      EXPECT_LT(std::chrono::steady_clock::now() - start, kComPortSetupTimeout + 2s);
      continue;
    }
    // Each 0xFF doubled on the way out, undone on the way in, and a question the server asks
    // mid-load answered on the delivery thread.
    const Bytes frame = {0x1E, kIac, 0x02};
    ASSERT_TRUE(transport.Write(frame.data(), 3));
    EXPECT_EQ(peer.Receive(4), (Bytes{0x1E, kIac, kIac, 0x02}));
    ASSERT_TRUE(peer.Send({'a', kIac, kDo, 24, kIac, kIac, 'b'}));
    ASSERT_TRUE(m_queue.RunUntil([&] { return m_sink.received.size() == 3; }, kDeadline));
    EXPECT_EQ(m_sink.received, (Bytes{'a', kIac, 'b'}));
    EXPECT_EQ(peer.Receive(3), (Bytes{kIac, kWont, 24}));
  }
}

}  // namespace
}  // namespace velmar::transport
