#pragma once
// A Transport over a TCP client connection.
//
// Its socket, a LinkSocket, is created on the thread that opens the transport, and received
// bytes arrive there: each readiness takes at most 4096 bytes into m_rx_data and hands them to
// the owner in one OnDataReceived, which takes them back with Read. The peer's close shows
// "ERROR #4", a failed receive "ERROR #5" (message box, the application's name as caption),
// and the socket is closed; then the owner is told the connection is lost (OnConnectionLost),
// as it is when the connection fails without a word.
// Given a rate, it speaks to a serial device server's port (RFC 2217, ComPortClient): the line
// is set up before OpenConnection returns, each byte written is escaped and each delivery is
// unescaped, and the server's commands are answered on the delivery thread; a send lock keeps
// those answers from cutting into a frame being written.
//   OpenConnection  false when no connection is made within StreamSocket::kConnectTimeout, or
//                   the server did not set its line up within kComPortSetupTimeout.
//   Read            copies everything received and empties the buffer; returns 0, keeping the
//                   bytes, when the capacity is smaller than what is held.
//   Write           sends every byte, waiting for room without dispatching the thread's
//                   messages (it runs inside the owner's handlers); false when there is no open
//                   socket, the send failed, or the peer took nothing for
//                   StreamSocket::kSendRoomTimeout. Bytes already sent stay sent.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/stream_socket.h"
#include "transport/com_port_client.h"
#include "transport/transport.h"

namespace velmar::transport {

inline constexpr const char* kPeerClosedText = "ERROR #4";
inline constexpr const char* kReceiveFailedText = "ERROR #5";
inline constexpr const char* kSocketsFailedText = "Failed to Initialize Sockets";
inline constexpr int32_t kReceiveChunk = 4096;
inline constexpr int32_t kSocketBufferSize = 8208;
inline constexpr std::chrono::milliseconds kComPortSetupTimeout{3000};

class SocketTransport;

class LinkSocket final : public platform::StreamSocket {
 public:
  explicit LinkSocket(SocketTransport* owner) : m_owner(owner) {}
  ~LinkSocket() override { Close(); }

 protected:
  void OnReceive(int error) override;
  void OnClose(int error) override;

 private:
  SocketTransport* m_owner;
};

class SocketTransport final : public Transport {
 public:
  // `com_port_rate`: the rate to set on a serial device server's port; none for plain TCP.
  SocketTransport(ReceiveSink* owner, std::string host, int32_t port_number,
                  std::optional<int32_t> com_port_rate = std::nullopt);
  ~SocketTransport() override;

  bool IsOpen() const override { return m_is_open; }
  bool OpenConnection() override;
  bool CloseConnection() override;
  bool Write(const uint8_t* data, int32_t length) override;
  int32_t Read(uint8_t* buffer, int32_t capacity) override;
  bool ConnectionLost() const override { return m_lost.load(); }
  OpenFailure LastOpenFailure() const override { return m_open_failure; }

 private:
  friend class LinkSocket;
  // Stores what the socket received and tells the owner.
  void Deliver(const uint8_t* data, int32_t count);
  void Store(const uint8_t* data, int32_t count);
  // The connection has gone: tells the owner, once.
  void Lose();
  // Sets the server's line up; false, with the reason in m_open_failure, when it did not.
  bool SetUpComPort();
  bool SendWhole(const std::vector<uint8_t>& bytes);

  uint8_t m_rx_data[kSocketBufferSize];
  int32_t m_rx_count = 0;
  ReceiveSink* m_owner;
  std::string m_host;
  int32_t m_port_number;
  bool m_is_open = false;
  std::atomic<bool> m_lost{false};
  OpenFailure m_open_failure;
  std::optional<int32_t> m_com_port_rate;
  std::unique_ptr<ComPortClient> m_com_port;
  std::mutex m_send_lock;  // guards m_tx and the socket's sends
  std::vector<uint8_t> m_tx;
  // Each delivery's printer bytes and the answers to the server's commands, kept for the
  // delivery thread so that a delivery allocates nothing once they have grown.
  std::vector<uint8_t> m_decoded;
  std::vector<uint8_t> m_answers;
  std::unique_ptr<LinkSocket> m_socket;
};

}  // namespace velmar::transport
