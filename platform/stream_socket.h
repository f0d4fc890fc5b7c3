#pragma once
// A TCP client stream socket whose notifications arrive on the thread that created it, through
// that thread's message queue, as an asynchronous select would deliver them.
//
// Principles of operation: once connected, a watcher thread waits for the socket; when input
// (or the peer's end of stream) is there it posts one notification to the creating thread and
// waits until that thread has handled it, so OnReceive runs once per readiness, never on two
// threads. OnClose reports a connection that failed without input. Connect and Send block the
// caller for a bounded time and never dispatch its thread's messages: a handler that runs
// while its caller is in the middle of a send could tear that caller down under it.
// A printer's frames are small and each waits for the other side's answer, so every
// connection sends at once (TCP_NODELAY), and acknowledges at once where the system allows it,
// so that a peer that holds back small segments until they are acknowledged is not kept
// waiting for a delayed acknowledgement.
//   Create     makes the socket; false without a message queue on this thread or on failure.
//   Connect    host name or dotted address; false when no connection could be made within
//              kConnectTimeout, which bounds the name's resolution and the connects to every
//              address it resolves to together. A resolver that hangs is left behind.
//              With Notify::kLater the notifications wait for StartNotifications, and the
//              caller may meanwhile talk to the peer with ReceiveBefore and Send.
//   ConnectError  the system's error number behind the last failed Connect: the last address's
//              refusal, the time-out's when the name or no address answered in time; 0 when
//              the name did not resolve.
//   ConnectErrorText  the system's words for that failure: the resolver's for a name that did
//              not resolve, else those for ConnectError (empty where the system has none).
//   SetResolver  what Connect resolves names with; the system's resolver unless set.
//   Receive    takes at most `capacity` bytes without waiting: the count, 0 when the peer has
//              closed the connection, -1 on failure (or when nothing is there).
//   ReceiveBefore  before the notifications start: waits until `deadline` for input, then as
//              Receive; -1 also when nothing came in time.
//   Send       sends every byte; returns `length`, or -1 when the send failed or the peer took
//              nothing for kSendRoomTimeout. Bytes sent before a failure stay sent.
//   SendTimedOut  whether the last failed Send failed only for want of room: the connection
//              itself may still stand.
//   Close      stops the notifications and closes the socket; safe inside a handler. The
//              object stays, closed; Receive and Send then fail.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/name_resolution.h"
#include "platform/system_error.h"

namespace velmar::platform {

class StreamSocket {
 public:
  static constexpr std::chrono::milliseconds kConnectTimeout{5000};
  // A peer that stops reading is given as long as a serial line that stops taking bytes
  // (SerialLine::kWriteRoomTimeout).
  static constexpr std::chrono::milliseconds kSendRoomTimeout{2000};

  StreamSocket();
  virtual ~StreamSocket();
  StreamSocket(const StreamSocket&) = delete;
  StreamSocket& operator=(const StreamSocket&) = delete;

  // The process's socket support; false when it cannot be started.
  static bool Startup();

  bool Create();
  enum class Notify { kAtConnect, kLater };
  bool Connect(const std::string& host, int32_t port, Notify notify = Notify::kAtConnect);
  void StartNotifications();
  int ConnectError() const { return m_connect_error; }
  std::string ConnectErrorText() const {
    return m_resolution_failure.empty() ? SystemErrorText(m_connect_error) : m_resolution_failure;
  }
  void SetResolver(NameResolver resolve) { m_resolve = std::move(resolve); }
  int32_t Receive(uint8_t* buffer, int32_t capacity);
  int32_t ReceiveBefore(uint8_t* buffer, int32_t capacity,
                        std::chrono::steady_clock::time_point deadline);
  int32_t Send(const uint8_t* data, int32_t length);
  bool SendTimedOut() const { return m_send_timed_out; }
  void Close();
  bool IsOpen() const;

 protected:
  // Called on the creating thread; `error` is 0 or the socket's error number.
  virtual void OnReceive(int error) = 0;
  virtual void OnClose(int error) = 0;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  int m_connect_error = 0;
  bool m_send_timed_out = false;
  std::string m_resolution_failure;
  NameResolver m_resolve = ResolveStreamName;
};

}  // namespace velmar::platform
