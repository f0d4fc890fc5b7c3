#pragma once
// A Transport over a TCP client connection.
//
// Its socket, a LinkSocket, is created on the thread that opens the transport, and received
// bytes arrive there: each readiness takes at most 4096 bytes into m_rx_data and hands them to
// the owner in one OnDataReceived, which takes them back with Read. The peer's close shows
// "ERROR #4", a failed receive "ERROR #5" (message box, the application's name as caption),
// and the socket is closed; then the owner is told the connection is lost (OnConnectionLost),
// as it is when the connection fails without a word.
//   OpenConnection  false when no connection is made within StreamSocket::kConnectTimeout.
//   Read            copies everything received and empties the buffer; returns 0, keeping the
//                   bytes, when the capacity is smaller than what is held.
//   Write           sends every byte, waiting for room without dispatching the thread's
//                   messages (it runs inside the owner's handlers); false when there is no open
//                   socket, the send failed, or the peer took nothing for
//                   StreamSocket::kSendRoomTimeout. Bytes already sent stay sent.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/stream_socket.h"
#include "transport/transport.h"

namespace velmar::transport {

inline constexpr const char* kPeerClosedText = "ERROR #4";
inline constexpr const char* kReceiveFailedText = "ERROR #5";
inline constexpr const char* kSocketsFailedText = "Failed to Initialize Sockets";
inline constexpr int32_t kReceiveChunk = 4096;
inline constexpr int32_t kSocketBufferSize = 8208;

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
  SocketTransport(ReceiveSink* owner, std::string host, int32_t port_number);
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
  // The connection has gone: tells the owner, once.
  void Lose();

  uint8_t m_rx_data[kSocketBufferSize];
  int32_t m_rx_count = 0;
  ReceiveSink* m_owner;
  std::string m_host;
  int32_t m_port_number;
  bool m_is_open = false;
  std::atomic<bool> m_lost{false};
  OpenFailure m_open_failure;
  std::unique_ptr<LinkSocket> m_socket;
};

}  // namespace velmar::transport
