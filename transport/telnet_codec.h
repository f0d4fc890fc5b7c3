#pragma once
// The telnet framing of a serial device server's port: the printer's bytes in both directions,
// with the server's commands taken out and answered.
//
// Principles of operation: the client wants BINARY and SUPPRESS-GO-AHEAD both ways, and
// COM-PORT-OPTION on its own side; it refuses every other option. Greeting() asks for them.
// Take() reads the server's bytes as a state machine that lives across calls, so a command
// split between two reads is read whole: data bytes (an escaped 0xFF undone) go to `data`,
// sub-negotiations are kept for TakeSubNegotiations, and what must be answered goes to
// `replies`. An option is answered only when its state changes, so that two parties that
// disagree never answer each other forever. Escape() doubles each 0xFF that is sent.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmar::transport::telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;
inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPortOption = 44;

// A sub-negotiation's longest payload kept; the rest is dropped (a com port answer is 5 bytes).
inline constexpr size_t kMaxSubNegotiation = 64;

struct SubNegotiation {
  uint8_t option = 0;
  std::vector<uint8_t> payload;  // escaped 0xFF undone
  bool operator==(const SubNegotiation&) const = default;
};

class Codec {
 public:
  // What the server said of COM-PORT-OPTION on the client's side.
  enum class ComPort { kAsked, kAgreed, kRefused };

  static std::vector<uint8_t> Greeting();
  static void Escape(const uint8_t* data, int32_t length, std::vector<uint8_t>* out);
  // Appends a sub-negotiation of `option` with `payload`, escaped.
  static void AppendSubNegotiation(uint8_t option, const std::vector<uint8_t>& payload,
                                   std::vector<uint8_t>* out);

  void Take(const uint8_t* in, int32_t length, std::vector<uint8_t>* data,
            std::vector<uint8_t>* replies);
  std::vector<SubNegotiation> TakeSubNegotiations();
  ComPort ComPortState() const { return m_com_port; }

 private:
  enum class State { kData, kIac, kVerb, kSubOption, kSub, kSubIac };
  // Whether an option is on, on one side; starts as asked for those the client wants.
  struct Side {
    bool on = false;
    bool asked = false;
  };
  void Answer(uint8_t verb, uint8_t option, std::vector<uint8_t>* replies);

  State m_state = State::kData;
  uint8_t m_verb = 0;
  SubNegotiation m_sub;
  std::vector<SubNegotiation> m_subs;
  Side m_ours[3] = {{false, true}, {false, true}, {false, true}};  // binary, SGA, com port
  Side m_theirs[2] = {{false, true}, {false, true}};               // binary, SGA
  ComPort m_com_port = ComPort::kAsked;
};

}  // namespace velmar::transport::telnet
