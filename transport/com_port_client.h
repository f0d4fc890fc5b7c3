#pragma once
// The client's side of a serial device server's port control (RFC 2217) on one telnet
// connection: it sets the server's line as a serial port is set, and checks the answers.
//
// Principles of operation: Greeting() asks for the options (telnet::Codec). Once the server
// agrees to COM-PORT-OPTION, Take() returns the line settings in `to_send`: the rate, 8 data
// bits, no parity, 1 stop bit, no flow control, DTR and RTS on, then a purge of both
// directions, where a serial port flushes on open. The client is ready when the server has
// confirmed the rate, the framing and the purge; an answer with other values, or a refusal
// of COM-PORT-OPTION, refuses the port with the reason in English. SET-CONTROL answers are not
// awaited: they cannot be told apart, and a server on a line without modem signals may leave
// DTR and RTS unanswered. The server's line and modem state notices are read and dropped.
// Bytes that come before the line is ready are the server's words or the line's leftovers;
// they go to `data` like any others, for the caller to read or drop.

#include <cstdint>
#include <string>
#include <vector>

#include "transport/telnet_codec.h"

namespace velmar::transport {

class ComPortClient {
 public:
  enum class Stage { kNegotiating, kSettling, kReady, kRefused };

  explicit ComPortClient(int32_t baud_rate) : m_baud_rate(baud_rate) {}

  static std::vector<uint8_t> Greeting() { return telnet::Codec::Greeting(); }
  static void Escape(const uint8_t* data, int32_t length, std::vector<uint8_t>* out) {
    telnet::Codec::Escape(data, length, out);
  }
  void Take(const uint8_t* in, int32_t length, std::vector<uint8_t>* data,
            std::vector<uint8_t>* to_send);
  Stage CurrentStage() const { return m_stage; }
  // Why the port was refused; while still setting up, what it is waiting for.
  std::string Reason() const;

 private:
  void Check(const telnet::SubNegotiation& answer);
  void Refuse(std::string reason);

  int32_t m_baud_rate;
  telnet::Codec m_codec;
  Stage m_stage = Stage::kNegotiating;
  uint32_t m_confirmed = 0;  // a bit for each awaited answer
  std::string m_refusal;
};

}  // namespace velmar::transport
