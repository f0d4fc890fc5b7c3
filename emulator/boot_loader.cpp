#include "emulator/boot_loader.h"

#include <algorithm>
#include <utility>

#include "emulator/format.h"
#include "engine/crc16.h"

namespace velmar::emulator {

namespace p = protocol;

namespace {

constexpr uint8_t kFlip = 0xFF;  // turns a byte into one that surely differs
constexpr uint32_t kByteShift = 8;
constexpr uint32_t kByteMask = 0xFF;
constexpr uint32_t kWordMask = 0xFFFF;
constexpr uint8_t kKeepHighAddress = 1;  // the address byte 2 for which the tool keeps status bit 0

uint16_t Word(uint8_t low, uint8_t high) {
  return static_cast<uint16_t>(low | (static_cast<uint32_t>(high) << kByteShift));
}
uint8_t Low(uint32_t value) {
  return static_cast<uint8_t>(value & kByteMask);
}
uint8_t High(uint32_t value) {
  return static_cast<uint8_t>((value >> kByteShift) & kByteMask);
}

uint8_t WithoutHighAddress(uint8_t status) {
  return static_cast<uint8_t>(status & ~p::kStatusHighAddress);
}

// Where the result byte sits in a reply; 0 when the reply has none.
size_t ResultPosition(ReplyKind reply) {
  switch (reply) {
    case ReplyKind::kIdent:
    case ReplyKind::kStatusReply:
      return p::kArg1At;
    case ReplyKind::kEcho:
      return p::kResultAt;
    default:
      return 0;
  }
}

}  // namespace

BootLoader::BootLoader(BootLoaderConfig config, BootLoaderListener& listener)
    : m_config(std::move(config)), m_listener(listener) {
  m_frame.reserve(p::kDataHeaderSize + p::kMaxBlockLength);
}

void BootLoader::Feed(const uint8_t* data, size_t size, Clock::time_point at) {
  for (size_t i = 0; i < size && !m_hung_up; ++i) {
    FeedByte(data[i], at);
  }
}

void BootLoader::Finish() {
  if (m_load) {
    EndLoad(false, "ended while waiting for " + Awaited());
  }
}

bool BootLoader::WriteIntelHex(const std::string& path) const {
  return emulator::WriteIntelHex(m_image, path);
}

void BootLoader::FeedByte(uint8_t byte, Clock::time_point at) {
  if (m_phase == Phase::kListening) {
    Listen(byte, at);
    return;
  }
  const bool frame_start = m_phase == Phase::kAwaitAck || m_frame.empty();
  if (frame_start && byte == p::kEscape) {
    // The tool gave up on this load and starts another.
    EndLoad(false, "a new wake-up arrived while waiting for " + Awaited());
    Listen(byte, at);
    return;
  }
  ++m_load->line_bytes;
  m_load->last = at;
  if (m_phase == Phase::kAwaitAck) {
    OnAcknowledge(byte);
  } else {
    OnCommandByte(byte);
  }
}

void BootLoader::Listen(uint8_t byte, Clock::time_point at) {
  // ESC occurs only at the start of the wake-up, so a mismatch restarts at 0 or, on ESC, at 1.
  if (byte == p::kWakeUp[m_wake_matched]) {
    ++m_wake_matched;
  } else {
    m_wake_matched = byte == p::kWakeUp[0] ? 1 : 0;
  }
  if (m_wake_matched == 1) {
    m_wake_started = at;
  }
  if (m_wake_matched == p::kWakeUp.size()) {
    m_wake_matched = 0;
    StartLoad(at);
  }
}

void BootLoader::StartLoad(Clock::time_point at) {
  m_load = Load{};
  m_load->started = m_wake_started;
  m_load->last = at;
  m_load->line_bytes = static_cast<int64_t>(p::kWakeUp.size());
  m_load->status_sent = m_config.status;
  ++m_loads;
  const uint8_t wake = m_config.wake;
  Send(std::span(&wake, 1));
  if (wake != p::kWakeA0 && wake != p::kWakeA1) {
    EndLoad(false, Format("the tool does not take wake byte 0x%02X", wake));
    return;
  }
  m_phase = Phase::kAwaitAck;
}

void BootLoader::OnAcknowledge(uint8_t byte) {
  const uint8_t expected = m_config.wake == p::kWakeA0 ? p::kAckA0 : p::kAckA1;
  if (byte != expected) {
    Violation(Format("acknowledge byte 0x%02X for wake byte 0x%02X, expected 0x%02X", byte,
                     m_config.wake, expected));
    return;
  }
  std::vector<uint8_t> reply(m_config.model.begin(), m_config.model.end());
  reply.push_back(0);
  const size_t trailer = reply.size();
  reply.insert(reply.end(), {p::kMarker, p::kStatusReply[0], p::kStatusReply[1], m_config.result,
                             m_config.status});
  const std::span<uint8_t> closing(reply.data() + trailer, p::kShortFrameSize);
  const bool faulted = FaultFallsOn(ReplyKind::kIdent) && ApplyFault(ReplyKind::kIdent, closing);
  m_load->status_sent = closing[p::kStatusAt];
  Send(reply);
  if (faulted) {
    EndByFault(ReplyKind::kIdent);
    return;
  }
  Expect(p::kRead);
}

void BootLoader::OnCommandByte(uint8_t byte) {
  m_frame.push_back(byte);
  if (m_frame.size() == 1 && byte != p::kMarker) {
    Violation(Format("0x%02X where the frame marker of %s belongs", byte, Awaited().c_str()));
    return;
  }
  if (m_frame.size() == p::kLetterAt + 1 && byte != m_expected_letter) {
    Violation(Format("command letter 0x%02X where %s belongs", byte, Awaited().c_str()));
    return;
  }
  if (m_frame.size() < m_expected_size) {
    return;
  }
  switch (m_expected_letter) {
    case p::kRead:
      OnRead();
      break;
    case p::kAddress:
      OnAddress();
      break;
    case p::kLength:
      OnLength();
      break;
    case p::kData:
      OnData();
      break;
    case p::kWrite:
      OnWrite();
      break;
    default:
      break;
  }
}

void BootLoader::OnRead() {
  const uint8_t status = m_frame[p::kStatusAt];
  if (m_frame[p::kArg0At] != p::kReadArg0 || m_frame[p::kArg1At] != p::kReadArg1) {
    Violation(Format("%s has arguments %02X %02X", Awaited().c_str(), m_frame[p::kArg0At],
                     m_frame[p::kArg1At]));
    return;
  }
  uint8_t expected = m_load->status_sent;
  if (m_load->block == 0) {
    // Only a font's first "r" carries the font bit; it tells the two kinds of load apart.
    const bool font = (status & p::kStatusFontLoad) != 0;
    m_load->kind = font ? LoadKind::kFont : LoadKind::kProgram;
    expected |= font ? p::kStatusFontLoad : 0;
  }
  if (status != expected) {
    Violation(Format("%s has status 0x%02X, expected 0x%02X", Awaited().c_str(), status, expected));
    return;
  }
  ++m_load->block;
  m_listener.OnBlockStarted(m_loads, m_load->block);
  if (FaultFallsOn(ReplyKind::kReadReply) && m_config.fault.kind == FaultKind::kSilent) {
    EndLoad(false, Format("silent from block %d, as told", m_load->block));
    return;
  }
  if (FaultFallsOn(ReplyKind::kReadReply) && m_config.fault.kind == FaultKind::kHangUp) {
    EndLoad(false, Format("hung up at block %d, as told", m_load->block));
    m_hung_up = true;
    m_listener.OnHangUp();
    return;
  }
  SendShort(ReplyKind::kReadReply,
            {p::kMarker, p::kReadReply[0], p::kReadReply[1], p::kReadReplyArg, m_config.status});
}

void BootLoader::OnAddress() {
  const uint16_t announced = Word(m_frame[p::kArg0At], m_frame[p::kArg1At]);
  const uint8_t status = m_frame[p::kStatusAt];
  if (m_load->kind == LoadKind::kFont) {
    OnFontAddress(announced, status);
  } else {
    OnProgramAddress(announced, status);
  }
}

void BootLoader::OnProgramAddress(uint16_t announced, uint8_t status) {
  // The tool may clear bit 0, never set it or touch another bit; kept, it is address bit 16.
  const uint8_t sent = m_load->status_sent;
  const bool kept = (status & p::kStatusHighAddress) != 0;
  if (WithoutHighAddress(status) != WithoutHighAddress(sent) ||
      (kept && (sent & p::kStatusHighAddress) == 0)) {
    Violation(Format("\"a\" of block %d has status 0x%02X, expected 0x%02X or 0x%02X",
                     m_load->block, status, sent, WithoutHighAddress(sent)));
    return;
  }
  m_load->address = announced | (kept ? p::kHighAddressBit : 0);
  m_load->room = p::kMaxBlockLength;
  SendShort(ReplyKind::kAddressReply,
            {p::kMarker, p::kAddressReply, Low(announced), High(announced), m_config.status});
}

void BootLoader::OnFontAddress(uint16_t announced, uint8_t status) {
  const uint8_t sent = m_load->status_sent;
  if (!m_load->has_previous) {
    // The tool knows nothing yet: it announces address 0 and learns the start from the reply.
    if (announced != 0 || status != WithoutHighAddress(sent)) {
      Violation(
          Format("first \"a\" of a font is %04X with status 0x%02X, expected 0000 with 0x%02X",
                 announced, status, WithoutHighAddress(sent)));
      return;
    }
    const uint32_t start = m_config.start;
    m_load->address = start;
    m_load->room = p::kFontBlockAlign - start % p::kFontBlockAlign;
    const uint8_t high = (start & p::kHighAddressBit) != 0 ? p::kStatusHighAddress : 0;
    SendShort(ReplyKind::kAddressReply,
              {p::kMarker, p::kAddressReply, Low(start), High(start),
               static_cast<uint8_t>(WithoutHighAddress(m_config.status) | high)});
    return;
  }
  if (!m_load->previous_full) {
    Violation(Format("block %d follows a font block shorter than its room", m_load->block));
    return;
  }
  const uint32_t expected = m_load->previous_end;
  const bool keep = (expected >> p::kHighAddressShift) == kKeepHighAddress;
  const uint8_t expected_status = keep ? sent : WithoutHighAddress(sent);
  if (announced != (expected & kWordMask) || status != expected_status) {
    Violation(Format("\"a\" of font block %d is %04X with status 0x%02X, expected %04X with 0x%02X",
                     m_load->block, announced, status, expected & kWordMask, expected_status));
    return;
  }
  m_load->address = expected;
  m_load->room = p::kMaxBlockLength;
  SendShort(ReplyKind::kAddressReply,
            {p::kMarker, p::kAddressReply, Low(announced), High(announced), m_config.status});
}

void BootLoader::OnLength() {
  const uint32_t length = Word(m_frame[p::kArg0At], m_frame[p::kArg1At]);
  const uint8_t status = m_frame[p::kStatusAt];
  if (status != m_load->status_sent) {
    Violation(Format("\"d\" of block %d has status 0x%02X, expected 0x%02X", m_load->block, status,
                     m_load->status_sent));
    return;
  }
  if (length > m_load->room) {
    Violation(Format("\"d\" of block %d announces %u bytes at 0x%06X, at most %u fit",
                     m_load->block, length, m_load->address, m_load->room));
    return;
  }
  Expect(p::kData, p::kDataHeaderSize + length);
  SendShort(ReplyKind::kLengthReply,
            {p::kMarker, p::kLengthReply, Low(length), High(length), m_config.status});
}

void BootLoader::OnData() {
  const uint8_t* data = m_frame.data() + p::kDataHeaderSize;
  const uint32_t length = static_cast<uint32_t>(m_frame.size() - p::kDataHeaderSize);
  const uint16_t crc = Word(m_frame[p::kCrcLowAt], m_frame[p::kCrcHighAt]);
  if (m_load->kind == LoadKind::kFont && m_frame[p::kExtraAt] != p::kFontExtra) {
    Violation(Format("data frame of font block %d has header byte 0x%02X, expected 0x%02X",
                     m_load->block, m_frame[p::kExtraAt], p::kFontExtra));
    return;
  }
  std::vector<uint8_t> echo = m_frame;
  echo[p::kResultAt] = m_config.result;
  const uint16_t actual = engine::Crc16(data, static_cast<int32_t>(length));
  if (actual != crc) {
    // What a controller answers to a damaged block; the tool must then give up.
    echo[p::kResultAt] |= p::kResultIntegrityError;
    Send(echo);
    Violation(
        Format("data frame of block %d has CRC %04X, its data %04X", m_load->block, crc, actual));
    return;
  }
  const bool faulted = FaultFallsOn(ReplyKind::kEcho) && ApplyFault(ReplyKind::kEcho, echo);
  if (!faulted) {
    Store(data, length);
  }
  Send(echo);
  if (faulted) {
    EndByFault(ReplyKind::kEcho);
    return;
  }
  m_load->has_previous = true;
  m_load->previous_end = m_load->address + length;
  m_load->previous_full = length == m_load->room;
  Expect(p::kWrite);
}

void BootLoader::OnWrite() {
  const uint8_t status = m_frame[p::kStatusAt];
  if (m_frame[p::kArg0At] != p::kWriteArg0 || m_frame[p::kArg1At] != p::kWriteArg1) {
    Violation(Format("\"w\" of block %d has arguments %02X %02X", m_load->block,
                     m_frame[p::kArg0At], m_frame[p::kArg1At]));
    return;
  }
  const bool last = (status & p::kStatusLastBlock) == p::kStatusLastBlock;
  const uint8_t expected = last ? m_load->status_sent | p::kStatusLastBlock : m_load->status_sent;
  if (status != expected) {
    Violation(Format("\"w\" of block %d has status 0x%02X, expected 0x%02X", m_load->block, status,
                     expected));
    return;
  }
  if (last) {
    EndLoad(true, "");
    return;
  }
  SendShort(ReplyKind::kStatusReply,
            {p::kMarker, p::kStatusReply[0], p::kStatusReply[1], m_config.result, m_config.status});
}

void BootLoader::Expect(uint8_t letter, size_t size) {
  m_phase = Phase::kAwaitCommand;
  m_expected_letter = letter;
  m_expected_size = size;
  m_frame.clear();
}

void BootLoader::SendShort(ReplyKind reply, std::array<uint8_t, p::kShortFrameSize> frame) {
  const bool faulted = FaultFallsOn(reply) && ApplyFault(reply, frame);
  m_load->status_sent = frame[p::kStatusAt];
  Send(frame);
  if (faulted) {
    EndByFault(reply);
    return;
  }
  // The command each reply asks for next; the data frame's size is set by OnLength.
  switch (reply) {
    case ReplyKind::kReadReply:
      Expect(p::kAddress);
      break;
    case ReplyKind::kAddressReply:
      Expect(p::kLength);
      break;
    case ReplyKind::kStatusReply:
      Expect(p::kRead);
      break;
    default:
      break;
  }
}

void BootLoader::Send(std::span<const uint8_t> reply) {
  m_load->line_bytes += static_cast<int64_t>(reply.size());
  m_listener.OnReply(reply);
}

bool BootLoader::FaultFallsOn(ReplyKind reply) const {
  const Fault& fault = m_config.fault;
  return fault.kind != FaultKind::kNone && fault.reply == reply &&
         (reply == ReplyKind::kIdent || fault.block == m_load->block);
}

bool BootLoader::ApplyFault(ReplyKind reply, std::span<uint8_t> frame) const {
  switch (m_config.fault.kind) {
    case FaultKind::kStatusError:
      frame[p::kStatusAt] |= p::kStatusPacketError;
      return true;
    case FaultKind::kResultError:
      frame[ResultPosition(reply)] |= p::kResultIntegrityError;
      return true;
    case FaultKind::kBadCommand:
      frame[p::kLetterAt] ^= p::kLetterCaseBit;
      return true;
    case FaultKind::kBadAddress:
    case FaultKind::kBadSize: {
      const uint32_t wrong = Word(frame[p::kArg0At], frame[p::kArg1At]) + 1u;
      frame[p::kArg0At] = Low(wrong);
      frame[p::kArg1At] = High(wrong);
      return true;
    }
    case FaultKind::kBadCrc:
      frame[p::kCrcLowAt] ^= kFlip;
      return true;
    case FaultKind::kBadData:
      if (frame.size() == p::kDataHeaderSize) {
        return false;  // an empty block has no byte to spoil
      }
      frame.back() ^= kFlip;
      return true;
    default:
      return false;
  }
}

void BootLoader::EndByFault(ReplyKind reply) {
  const char* kind = FaultKindName(m_config.fault.kind);
  if (reply == ReplyKind::kIdent) {
    EndLoad(false, Format("%s in the ident reply, as told", kind));
  } else {
    EndLoad(false, Format("%s in the %s reply of block %d, as told", kind, ReplyKindName(reply),
                          m_load->block));
  }
}

void BootLoader::Violation(std::string reason) {
  m_load->well_formed = false;
  EndLoad(false, std::move(reason));
}

void BootLoader::EndLoad(bool complete, std::string reason) {
  const Load& load = *m_load;
  LoadSummary summary;
  summary.number = m_loads;
  summary.model = m_config.model;
  summary.kind = load.kind;
  summary.blocks = load.blocks;
  summary.bytes = load.bytes;
  summary.lowest = load.lowest;
  summary.highest = load.highest;
  summary.elapsed = load.last - load.started;
  summary.line_bytes = load.line_bytes;
  summary.well_formed = load.well_formed;
  summary.complete = complete;
  summary.reason = std::move(reason);
  m_load.reset();
  m_phase = Phase::kListening;
  m_frame.clear();
  m_listener.OnLoadEnded(summary);
}

std::string BootLoader::Awaited() const {
  if (m_phase == Phase::kAwaitAck) {
    return "the acknowledge byte";
  }
  // An "r" opens the next block; every other command belongs to the current one.
  const int32_t block = m_expected_letter == p::kRead ? m_load->block + 1 : m_load->block;
  return Format("the \"%c\" of block %d", static_cast<char>(m_expected_letter), block);
}

void BootLoader::Store(const uint8_t* data, uint32_t length) {
  Load& load = *m_load;
  ++load.blocks;
  if (length == 0) {
    return;
  }
  for (uint32_t i = 0; i < length; ++i) {
    m_image[load.address + i] = data[i];
  }
  const uint32_t last = load.address + length - 1;
  load.lowest = load.bytes == 0 ? load.address : std::min(load.lowest, load.address);
  load.highest = load.bytes == 0 ? last : std::max(load.highest, last);
  load.bytes += length;
}

}  // namespace velmar::emulator
