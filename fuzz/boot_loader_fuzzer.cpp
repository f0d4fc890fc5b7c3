// The emulator's command parser, BootLoader, on any stream from the tool, in any batching, under
// any configuration the command line can give it.
//
// Input: ten configuration bytes (wake byte; status byte; result byte; the font's start address,
// three bytes little-endian, of which bits 0 to 16 count; fault kind, 0 for none; fault block;
// fault reply, 6 for the kind's usual one; the model name's length), the model name, then the
// tool's batches (see fuzz_input.h). A fault that the command line would refuse is no fault.
//
// Beside the sanitizers: every reply is one the protocol knows, of its size; each load ends
// once, with a summary that adds up; a hung-up loader answers nothing more; and the image holds
// only what accepted blocks put there.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "emulator/boot_loader.h"
#include "emulator/fault.h"
#include "emulator/intel_hex.h"
#include "emulator/protocol.h"
#include "fuzz/check.h"
#include "fuzz/fuzz_input.h"

namespace velmar::fuzz {
namespace {

namespace p = emulator::protocol;
using emulator::FaultKind;
using emulator::ReplyKind;

constexpr uint32_t kStartMask = 0x1FFFF;  // the first "A" reply carries address bits 0 to 16
constexpr uint8_t kFaultKinds = static_cast<uint8_t>(FaultKind::kHangUp) + 1;
constexpr uint8_t kUsualReply = static_cast<uint8_t>(ReplyKind::kStatusReply) + 1;

emulator::BootLoaderConfig ReadConfig(FuzzInput& input) {
  emulator::BootLoaderConfig config;
  config.wake = input.Byte();
  config.status = input.Byte();
  config.result = input.Byte();
  const uint32_t low = input.Word();
  config.start = (low | static_cast<uint32_t>(input.Byte()) << 16) & kStartMask;
  const auto kind = static_cast<FaultKind>(input.Byte() % kFaultKinds);
  const int32_t block = input.Byte();
  const uint8_t reply = input.Byte() % (kUsualReply + 1);
  const std::optional<ReplyKind> where =
      reply == kUsualReply ? std::nullopt : std::optional(static_cast<ReplyKind>(reply));
  if (const auto fault = emulator::MakeFault(kind, block, where)) {
    config.fault = *fault;
  }
  const std::span<const uint8_t> model = input.Take(input.Byte());
  config.model.assign(model.begin(), model.end());
  return config;
}

class Listener : public emulator::BootLoaderListener {
 public:
  explicit Listener(const emulator::BootLoaderConfig& config) : m_config(config) {}

  void OnReply(std::span<const uint8_t> reply) override {
    Check(!m_hung_up, "a hung-up loader answers nothing");
    Check(!reply.empty(), "a reply has bytes");
    if (reply.size() == 1) {
      Check(reply[0] == m_config.wake, "a one-byte reply is the wake byte");
      return;
    }
    const std::string& model = m_config.model;
    if (reply.size() == model.size() + 1 + p::kShortFrameSize && reply[model.size()] == 0 &&
        std::equal(model.begin(), model.end(), reply.begin(),
                   [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; })) {
      return;  // the identification reply: the name, its NUL, the closing frame
    }
    Check(reply[0] == p::kMarker, "a reply starts with the frame marker");
    Check(reply.size() == p::kShortFrameSize ||
              (reply[p::kLetterAt] == p::kEchoLetter &&
               reply.size() <= p::kDataHeaderSize + p::kMaxBlockLength),
          "a reply is five bytes or an echo of one block");
  }

  void OnLoadEnded(const emulator::LoadSummary& summary) override {
    Check(summary.number == ++m_loads, "each load ends once, in order");
    Check(summary.bytes <= static_cast<int64_t>(summary.blocks) * p::kMaxBlockLength,
          "a block holds at most 256 bytes");
    Check(!summary.complete || summary.well_formed, "a complete load is well formed");
    Check(summary.complete == summary.reason.empty(), "only a complete load has no reason");
    if (summary.bytes > 0) {
      Check(summary.lowest <= summary.highest, "the loaded range is a range");
    }
    m_bytes += summary.bytes;
  }

  void OnHangUp() override {
    Check(!m_hung_up, "the line is hung up once");
    m_hung_up = true;
  }

  int64_t Bytes() const { return m_bytes; }

 private:
  const emulator::BootLoaderConfig& m_config;
  int32_t m_loads = 0;
  int64_t m_bytes = 0;
  bool m_hung_up = false;
};

}  // namespace
}  // namespace velmar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmar;
  fuzz::FuzzInput input(data, size);
  const emulator::BootLoaderConfig config = fuzz::ReadConfig(input);
  fuzz::Listener listener(config);
  emulator::BootLoader loader(config, listener);
  // A fixed clock: the summaries' times do not depend on when the input runs.
  emulator::Clock::time_point at{};
  std::span<const uint8_t> batch;
  while (input.Batch(&batch)) {
    loader.Feed(batch.data(), batch.size(), at);
    at += std::chrono::milliseconds(1);
  }
  loader.Finish();
  fuzz::Check(!loader.InLoad(), "Finish ends the load");
  // Overlapping blocks store over each other, so the image holds at most what was accepted.
  fuzz::Check(static_cast<int64_t>(loader.image().size()) <= listener.Bytes(),
              "the image holds only accepted bytes");
  const std::string hex = emulator::FormatIntelHex(loader.image());
  fuzz::Check(hex.size() >= 12 && hex.compare(hex.size() - 12, 12, ":00000001FF\n") == 0,
              "the Intel HEX ends with its end record");
  return 0;
}
