#include "transport/com_port_client.h"

#include <utility>

namespace velmar::transport {

namespace {

// The server answers each command with its number plus this.
constexpr uint8_t kAnswerOffset = 100;
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kPurgeData = 12;

constexpr uint8_t kDataBits = 8;
constexpr uint8_t kParityNone = 1;
constexpr uint8_t kOneStopBit = 1;
constexpr uint8_t kNoFlowControl = 1;
constexpr uint8_t kDtrOn = 8;
constexpr uint8_t kRtsOn = 11;
constexpr uint8_t kPurgeBoth = 3;

// The one-byte settings, what their answers must say (0: anything) and their words for a
// refusal.
constexpr struct {
  uint8_t command;
  uint8_t value;
  bool awaited;
  const char* what;
} kSettings[] = {
    {kSetDataSize, kDataBits, true, "data bits"},
    {kSetParity, kParityNone, true, "parity (1 is none)"},
    {kSetStopSize, kOneStopBit, true, "stop size (1 is one bit)"},
    {kSetControl, kNoFlowControl, false, ""},
    {kSetControl, kDtrOn, false, ""},
    {kSetControl, kRtsOn, false, ""},
    {kPurgeData, kPurgeBoth, true, ""},
};

constexpr uint32_t Bit(uint8_t command) {
  return 1u << command;
}

constexpr uint32_t kAwaited =
    Bit(kSetBaudRate) | Bit(kSetDataSize) | Bit(kSetParity) | Bit(kSetStopSize) | Bit(kPurgeData);

std::vector<uint8_t> Command(uint8_t command, std::vector<uint8_t> value) {
  value.insert(value.begin(), command);
  return value;
}

uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t from) {
  uint32_t value = 0;
  for (size_t i = from; i < from + 4; ++i) {
    value = value << 8 | bytes[i];
  }
  return value;
}

}  // namespace

void ComPortClient::Take(const uint8_t* in, int32_t length, std::vector<uint8_t>* data,
                         std::vector<uint8_t>* to_send) {
  m_codec.Take(in, length, data, to_send);
  for (const telnet::SubNegotiation& answer : m_codec.TakeSubNegotiations()) {
    if (answer.option == telnet::kComPortOption && m_stage == Stage::kSettling) {
      Check(answer);
    }
  }
  // Once ready, the line is set: a late change of mind leaves it as it is.
  if (m_stage != Stage::kReady && m_codec.ComPortState() == telnet::Codec::ComPort::kRefused) {
    Refuse("the server does not offer RFC 2217 COM-PORT-OPTION");
  }
  if (m_stage == Stage::kNegotiating && m_codec.ComPortState() == telnet::Codec::ComPort::kAgreed) {
    m_stage = Stage::kSettling;
    const auto rate = static_cast<uint32_t>(m_baud_rate);
    telnet::Codec::AppendSubNegotiation(
        telnet::kComPortOption,
        Command(kSetBaudRate, {static_cast<uint8_t>(rate >> 24), static_cast<uint8_t>(rate >> 16),
                               static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)}),
        to_send);
    for (const auto& setting : kSettings) {
      telnet::Codec::AppendSubNegotiation(telnet::kComPortOption,
                                          Command(setting.command, {setting.value}), to_send);
    }
  }
}

void ComPortClient::Check(const telnet::SubNegotiation& answer) {
  const std::vector<uint8_t>& payload = answer.payload;
  if (payload.empty() || payload[0] <= kAnswerOffset) {
    return;
  }
  const uint8_t command = payload[0] - kAnswerOffset;
  if (command == kSetBaudRate && payload.size() == 5) {
    const uint32_t rate = BigEndian(payload, 1);
    if (rate != static_cast<uint32_t>(m_baud_rate)) {
      return Refuse("the server set " + std::to_string(rate) + " baud, not " +
                    std::to_string(m_baud_rate));
    }
    m_confirmed |= Bit(command);
  }
  for (const auto& setting : kSettings) {
    if (setting.command != command || !setting.awaited || payload.size() != 2) {
      continue;
    }
    if (*setting.what != '\0' && payload[1] != setting.value) {
      return Refuse("the server set " + std::string(setting.what) + " " +
                    std::to_string(payload[1]) + ", not " + std::to_string(setting.value));
    }
    m_confirmed |= Bit(command);
  }
  if (m_confirmed == kAwaited) {
    m_stage = Stage::kReady;
  }
}

void ComPortClient::Refuse(std::string reason) {
  if (m_stage != Stage::kRefused) {
    m_stage = Stage::kRefused;
    m_refusal = std::move(reason);
  }
}

std::string ComPortClient::Reason() const {
  switch (m_stage) {
    case Stage::kNegotiating:
      return "the server did not agree to RFC 2217 COM-PORT-OPTION in time";
    case Stage::kSettling:
      return "the server did not confirm the line settings in time";
    case Stage::kRefused:
      return m_refusal;
    case Stage::kReady:
      break;
  }
  return {};
}

}  // namespace velmar::transport
