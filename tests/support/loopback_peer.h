#pragma once
// A listening TCP socket on the IPv4 loopback and the peer's end of one accepted connection,
// for tests of the network transport: the test plays the printer through it.
//
// Principles of operation: the listener takes a free port when made. Accept waits for one
// connection; every call after that works on it. A receive buffer other than 0 shrinks the
// accepted connection's buffer, so that a peer that stops reading stalls the sender soon. Every
// wait is bounded; nothing throws. Not thread-safe, except that one other thread may receive
// while the test's thread does not touch the peer.
//   Accept       false when no connection came within the deadline.
//   Send         false unless every byte went.
//   Receive      exactly `count` bytes, or what came by the deadline.
//   ReceiveSome  at most `capacity` bytes that arrive within `wait`: the count, 0 when none
//                came, -1 at the end of the stream or on failure.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmar::test {

class LoopbackPeer {
 public:
  static constexpr std::chrono::seconds kDeadline{10};

  explicit LoopbackPeer(int receive_buffer = 0);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  int32_t Port() const;
  bool Accept();
  bool Send(const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> Receive(size_t count);
  int ReceiveSome(uint8_t* buffer, size_t capacity, std::chrono::milliseconds wait);
  void CloseConnection();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace velmar::test
