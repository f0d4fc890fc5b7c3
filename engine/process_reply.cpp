// The boot protocol: judging each batch of received bytes in the run's current state.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/crc16.h"
#include "engine/downloader.h"
#include "engine/frames.h"
#include "engine/load_notification.h"

namespace velmar::engine {

namespace dh = datafile;

// The states of one kind of load. Both kinds run the same cycle; only the numbers differ.
struct ProtocolPhase {
  bool font;
  int32_t ident;
  int32_t read_reply;
  int32_t address_reply;
  int32_t length_reply;
  int32_t echo;
  int32_t status_reply;
};

namespace {

constexpr ProtocolPhase kProgramPhase{
    false,        kProgramIdent,      kProgramReadReply, kProgramAddressReply, kProgramLengthReply,
    kProgramEcho, kProgramStatusReply};
constexpr ProtocolPhase kFontPhase{
    true,      kFontIdent,      kFontReadReply, kFontAddressReply, kFontLengthReply,
    kFontEcho, kFontStatusReply};

bool StatusFails(uint8_t status) {
  return (status & frames::kStatusErrorBits) != 0;
}
bool ResultFails(uint8_t result) {
  return (result & frames::kResultErrorBits) != 0;
}

template <size_t N>
bool Matches(const platform::ByteArray& rx, int32_t at, const std::array<uint8_t, N>& expected) {
  return std::equal(expected.begin(), expected.end(), rx.Data() + at);
}

}  // namespace

const ProtocolPhase& Downloader::CurrentPhase() const {
  return m_state.load() >= kFontWake ? kFontPhase : kProgramPhase;
}

void Downloader::ProcessReply() {
  StopWatchdog();
  const int32_t state = m_state.load();
  if (state == kIdle || m_ended) {
    m_rx.RemoveAll();  // nothing is awaited: these bytes answer nothing
    return;
  }
  const ProtocolPhase& phase = CurrentPhase();
  switch (state) {
    case kProgramWake:
    case kFontWake:
      OnWakeReply(phase);
      break;
    case kProgramIdent:
    case kFontIdent:
      OnIdentification(phase);
      break;
    case kProgramReadReply:
    case kFontReadReply:
      OnReadReply(phase);
      break;
    case kProgramAddressReply:
      OnProgramAddressReply(phase);
      break;
    case kFontAddressReply:
      OnFontAddressReply(phase);
      break;
    case kProgramLengthReply:
    case kFontLengthReply:
      OnLengthReply(phase);
      break;
    case kProgramEcho:
    case kFontEcho:
      OnEcho(phase);
      break;
    case kProgramStatusReply:
    case kFontStatusReply:
      OnStatusReply(phase);
      break;
    default:
      break;
  }
}

bool Downloader::AwaitingMore() {
  if (m_rx.Size() >= m_expected_length) {
    return false;
  }
  StartWatchdog();  // each batch of a slow reply restarts the full time-out
  return true;
}

void Downloader::SendCommand(int32_t next_state, int32_t expected_length, const uint8_t* frame,
                             int32_t length) {
  m_state.store(next_state);
  m_rx.RemoveAll();
  m_expected_length = expected_length;
  if (Send(frame, length)) {
    StartWatchdog();
  }
}

void Downloader::SendShort(int32_t next_state, uint8_t letter, uint8_t arg0, uint8_t arg1) {
  const std::array<uint8_t, frames::kShortFrameSize> frame{frames::kMarker, letter, arg0, arg1,
                                                           m_status_byte};
  SendCommand(next_state, frames::kShortFrameSize, frame.data(), frame.size());
}

void Downloader::OnWakeReply(const ProtocolPhase& phase) {
  if (m_rx.Size() != 1) {
    // A batch of several bytes is no wake-up reply: wait for the next, within the time left.
    m_rx.RemoveAll();
    ResumeWatchdog();
    return;
  }
  const uint8_t reply = m_rx[0];
  if (reply != frames::kWakeReplyA0 && reply != frames::kWakeReplyA1) {
    Finish(LN_MODEL_UNSUPPORTED);
    return;
  }
  const uint8_t ack = reply == frames::kWakeReplyA0 ? frames::kAckA0 : frames::kAckA1;
  m_rx.RemoveAll();
  m_state.store(phase.ident);
  if (Send(&ack, 1)) {
    StartWatchdog();  // a printer that goes quiet now must still end the load
  }
}

void Downloader::OnIdentification(const ProtocolPhase& phase) {
  const int32_t n = m_rx.Size();
  if (n > frames::kMaxIdentReply) {
    Finish(LN_BAD_COMMAND);  // longer than any valid reply: a babbling line
    return;
  }
  const uint8_t* rx = m_rx.Data();
  const uint8_t* zero = std::find(rx, rx + n, uint8_t{0});
  if (zero == rx + n) {
    // The name is still arriving: on a slow line it comes a byte or two at a time.
    if (n > frames::kMaxModelName) {
      Finish(LN_BAD_COMMAND);
      return;
    }
    StartWatchdog();
    return;
  }
  const int32_t j = static_cast<int32_t>(zero - rx);
  const int32_t after_zero = n - j - 1;
  if (after_zero < frames::kIdentTrailer) {
    StartWatchdog();  // the closing frame is still arriving
    return;
  }
  if (after_zero > frames::kIdentTrailer) {
    ResumeWatchdog();  // more than the closing frame: never a reply, left unjudged
    return;
  }
  m_result_byte = rx[n - 2];
  m_status_byte = rx[n - 1];
  m_reported_model.assign(reinterpret_cast<const char*>(rx), static_cast<size_t>(j));
  if (!phase.font) {
    if (m_window->m_model_name != m_reported_model) {
      Finish(LN_MODEL_MISMATCH);
      return;
    }
  } else {
    m_window->m_model_name = m_reported_model;  // written before LN_STATUS makes it shown
  }
  Report(LN_STATUS);
  if (StatusFails(m_status_byte)) {
    Finish(LN_BAD_PACKET);
    return;
  }
  if (ResultFails(m_result_byte)) {
    Finish(LN_INTEGRITY_ERROR);
    return;
  }
  if (!Matches(m_rx, n - frames::kIdentTrailer, frames::kStatusReply)) {
    Finish(LN_BAD_COMMAND);
    return;
  }
  if (phase.font) {
    m_status_byte |= frames::kStatusFontLoad;
  }
  SendShort(phase.read_reply, frames::kRead, frames::kReadArg0, frames::kReadArg1);
}

void Downloader::OnReadReply(const ProtocolPhase& phase) {
  if (AwaitingMore()) {
    return;
  }
  m_status_byte = m_rx[m_rx.Size() - 1];
  if (StatusFails(m_status_byte)) {
    Finish(LN_BAD_PACKET);
    return;
  }
  if (!Matches(m_rx, 0, frames::kReadReply)) {
    Finish(LN_BAD_COMMAND);
    return;
  }
  const auto& header = m_window->m_block_header;
  if (header[dh::kHeaderAddressHigh] != frames::kHighAddressMark) {
    m_status_byte &= static_cast<uint8_t>(~frames::kStatusHighAddress);
  }
  SendShort(phase.address_reply, frames::kAddress, header[dh::kHeaderAddressLow],
            header[dh::kHeaderAddressMid]);
}

void Downloader::OnProgramAddressReply(const ProtocolPhase& phase) {
  if (AwaitingMore()) {
    return;
  }
  m_status_byte = m_rx[m_rx.Size() - 1];
  if (StatusFails(m_status_byte)) {
    Finish(LN_BAD_PACKET);
    return;
  }
  const auto& header = m_window->m_block_header;
  // The address is compared before the letter.
  if (m_rx[2] != header[dh::kHeaderAddressLow] || m_rx[3] != header[dh::kHeaderAddressMid]) {
    Finish(LN_BAD_ADDRESS);
    return;
  }
  if (!Matches(m_rx, 0, frames::kAddressReply)) {
    Finish(LN_BAD_COMMAND);
    return;
  }
  SendShort(phase.length_reply, frames::kLength, header[dh::kHeaderLengthLow],
            header[dh::kHeaderLengthHigh]);
}

void Downloader::OnFontAddressReply(const ProtocolPhase& phase) {
  if (AwaitingMore()) {
    return;
  }
  m_status_byte = m_rx[m_rx.Size() - 1];
  if (StatusFails(m_status_byte)) {
    Finish(LN_BAD_PACKET);
    return;
  }
  auto& header = m_window->m_block_header;
  if (m_font_blocks > 0) {
    if (m_rx[2] != header[dh::kHeaderAddressLow] || m_rx[3] != header[dh::kHeaderAddressMid]) {
      Finish(LN_BAD_ADDRESS);
      return;
    }
  } else {
    // The printer reports where the font goes; bit 0 of its status is address bit 16.
    header[dh::kHeaderAddressLow] = m_rx[2];
    header[dh::kHeaderAddressMid] = m_rx[3];
    header[dh::kHeaderAddressHigh] = m_status_byte & frames::kStatusHighAddress;
  }
  if (!Matches(m_rx, 0, frames::kAddressReply)) {
    Finish(LN_BAD_COMMAND);
    return;
  }
  PrepareFontBlock();
  ++m_font_blocks;
  SendShort(phase.length_reply, frames::kLength, header[dh::kHeaderLengthLow],
            header[dh::kHeaderLengthHigh]);
}

void Downloader::PrepareFontBlock() {
  auto& header = m_window->m_block_header;
  auto& data = m_window->m_data;
  uint32_t address = header[dh::kHeaderAddressLow] | (header[dh::kHeaderAddressMid] << 8) |
                     (header[dh::kHeaderAddressHigh] << 16);
  // The first block ends at the next multiple of 256; all later ones start on one.
  int32_t length = m_font_blocks == 0 ? frames::kFontBlockAlign -
                                            static_cast<int32_t>(address % frames::kFontBlockAlign)
                                      : data.Size();
  length = std::min({length, dh::kMaxBlockLength, data.Size()});
  std::memcpy(m_window->m_block_data.data(), data.Data(), static_cast<size_t>(length));
  m_window->m_block_length = length;
  data.RemoveFront(length);

  const uint16_t crc = Crc16(m_window->m_block_data.data(), length);
  header[dh::kHeaderCrcLow] = static_cast<uint8_t>(crc & 0xFF);
  header[dh::kHeaderCrcHigh] = static_cast<uint8_t>(crc >> 8);
  header[dh::kHeaderLengthLow] = static_cast<uint8_t>(length & 0xFF);
  header[dh::kHeaderLengthHigh] = static_cast<uint8_t>(length >> 8);
  // From here on the header names the block after this one: the next "a" announces it.
  address += static_cast<uint32_t>(length);
  header[dh::kHeaderAddressLow] = static_cast<uint8_t>(address & 0xFF);
  header[dh::kHeaderAddressMid] = static_cast<uint8_t>((address >> 8) & 0xFF);
  header[dh::kHeaderAddressHigh] = static_cast<uint8_t>((address >> 16) & 0xFF);
}

void Downloader::OnLengthReply(const ProtocolPhase& phase) {
  if (AwaitingMore()) {
    return;
  }
  m_status_byte = m_rx[m_rx.Size() - 1];
  if (StatusFails(m_status_byte)) {
    Finish(LN_BAD_PACKET);
    return;
  }
  const auto& header = m_window->m_block_header;
  if (m_rx[2] != header[dh::kHeaderLengthLow] || m_rx[3] != header[dh::kHeaderLengthHigh]) {
    Finish(LN_BAD_SIZE);
    return;
  }
  if (!Matches(m_rx, 0, frames::kLengthReply)) {
    Finish(LN_BAD_COMMAND);
    return;
  }
  const int32_t length = m_window->m_block_length;
  std::array<uint8_t, frames::kDataHeaderSize + dh::kMaxBlockLength> frame{
      frames::kMarker, frames::kData, header[dh::kHeaderCrcLow], header[dh::kHeaderCrcHigh],
      header[dh::kHeaderExtra]};
  std::memcpy(frame.data() + frames::kDataHeaderSize, m_window->m_block_data.data(),
              static_cast<size_t>(length));
  const int32_t frame_length = frames::kDataHeaderSize + length;
  SendCommand(phase.echo, frame_length, frame.data(), frame_length);
}

void Downloader::OnEcho(const ProtocolPhase& phase) {
  if (AwaitingMore()) {
    return;
  }
  m_result_byte = m_rx[frames::kEchoResult];
  if (ResultFails(m_result_byte)) {
    Finish(LN_INTEGRITY_ERROR);
    return;
  }
  const auto& header = m_window->m_block_header;
  if (m_rx[frames::kEchoCrcLow] != header[dh::kHeaderCrcLow] ||
      m_rx[frames::kEchoCrcHigh] != header[dh::kHeaderCrcHigh]) {
    Finish(LN_PACKET_INTEGRITY_ERROR);
    return;
  }
  const int32_t length = m_window->m_block_length;
  if (!std::equal(m_window->m_block_data.begin(), m_window->m_block_data.begin() + length,
                  m_rx.Data() + frames::kEchoData)) {
    Finish(LN_BAD_DATA);
    return;
  }
  bool more;
  if (phase.font) {
    Report(LN_STEP);
    more = !m_window->m_data.IsEmpty();
  } else {
    more = m_window->TakeNextBlock();
  }
  if (more) {
    SendShort(phase.status_reply, frames::kWrite, frames::kWriteArg0, frames::kWriteArg1);
    return;
  }
  m_status_byte |= frames::kStatusLastBlock;
  m_state.store(kIdle);
  const std::array<uint8_t, frames::kShortFrameSize> last{
      frames::kMarker, frames::kWrite, frames::kWriteArg0, frames::kWriteArg1, m_status_byte};
  if (!Send(last.data(), last.size())) {
    return;
  }
  // The printer stores the load on this frame: a success it never received would be a lie.
  if (!m_transport->AwaitSent()) {
    EndByTransport();
    return;
  }
  Finish(LN_DONE);
}

void Downloader::OnStatusReply(const ProtocolPhase& phase) {
  if (AwaitingMore()) {
    return;
  }
  const int32_t n = m_rx.Size();
  m_result_byte = m_rx[n - 2];
  m_status_byte = m_rx[n - 1];
  if (StatusFails(m_status_byte)) {
    Finish(LN_BAD_PACKET);
    return;
  }
  if (ResultFails(m_result_byte)) {
    Finish(LN_INTEGRITY_ERROR);
    return;
  }
  if (!Matches(m_rx, n - frames::kShortFrameSize, frames::kStatusReply)) {
    Finish(LN_BAD_COMMAND);
    return;
  }
  SendShort(phase.read_reply, frames::kRead, frames::kReadArg0, frames::kReadArg1);
}

}  // namespace velmar::engine
