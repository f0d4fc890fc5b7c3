#pragma once
// The tool's side of loads, written out byte for byte, and a listener that keeps what the
// emulated controller answered.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "emulator/boot_loader.h"

namespace velmar::emulator::test {

using Bytes = std::vector<uint8_t>;

// What the tool sends in one step and what the controller must answer to it.
struct Step {
  Bytes tool;
  Bytes reply;
};
using Script = std::vector<Step>;

class Recorder : public BootLoaderListener {
 public:
  void OnReply(std::span<const uint8_t> reply) override {
    m_bytes.insert(m_bytes.end(), reply.begin(), reply.end());
  }
  void OnLoadEnded(const LoadSummary& summary) override { loads.push_back(summary); }
  void OnHangUp() override { hung_up = true; }

  // The reply bytes since the last call.
  Bytes Take() { return std::exchange(m_bytes, {}); }

  std::vector<LoadSummary> loads;
  bool hung_up = false;

 private:
  Bytes m_bytes;
};

// Feeds every step's bytes, whole or one byte at a time, and returns what each step got back.
std::vector<Bytes> Play(BootLoader& loader, Recorder& recorder, const Script& script,
                        bool byte_by_byte = false);

Bytes Short(uint8_t letter, uint8_t arg0, uint8_t arg1, uint8_t status);
// The "e" frame the tool sends for `data`, CRC and all, and the echo a content controller gives:
// the same bytes, with the result byte where the frame has header byte 7.
Bytes DataFrame(const Bytes& data, uint8_t extra = 0);
Bytes Echo(const Bytes& data, uint8_t result = 0);

// A program of two blocks for model TEST, status 01, result 00: 01 02 03 04 at 0x2000, then
// 05 06 at 0x2004. Its steps, by index, are listed in kProgramStep.
Script TwoBlockProgram();
enum ProgramStep : size_t {
  kWake,
  kAck,
  kRead1,
  kAddress1,
  kLength1,
  kData1,
  kWrite1,
  kRead2,
  kAddress2,
  kLength2,
  kData2,
  kLastWrite,
};

// A font of 204 + 256 + 40 bytes loaded at 0x11234 into model TEST with status 01.
Script FontAt11234(const Bytes& font);
enum FontStep : size_t { kFontRead1 = 2, kFontAddress1, kFontLength1, kFontAddress2 = 8 };
Bytes FontData();

}  // namespace velmar::emulator::test
