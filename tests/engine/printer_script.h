#pragma once
// A well-behaved printer, written down as the whole conversation of one load: every reply it
// sends and the commands and notifications that the reply must produce. Tests play it, or
// change one reply and check that the run stops there.
//
// The oracle is built from the protocol's rules independently of the engine; its CRC is the
// bitwise one, not the engine's table.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/window_message.h"
#include "tests/engine/test_doubles.h"

namespace velmar::engine::testing {

enum class Step { kWake, kIdent, kReadReply, kAddressReply, kLengthReply, kEcho, kStatusReply };
const char* StepName(Step step);

struct Exchange {
  Step step;
  int block;  // -1 for the wake-up and identification
  Bytes reply;
  std::vector<Bytes> commands;             // written in answer to the reply
  std::vector<platform::MessageId> notes;  // posted in answer to the reply
};
using Script = std::vector<Exchange>;

struct ProgramBlock {
  uint32_t address = 0;  // 24 bits
  Bytes data;
  uint16_t crc = 0;  // as the file holds it; the engine does not check it
  uint8_t extra = 0;
};

struct PrinterBehaviour {
  uint8_t wake = 0xA0;
  // Status and result bytes the printer puts in each reply; by default they vary between
  // passing values so that a run that sends back a stale status byte is caught.
  std::function<uint8_t(Step, int block)> status;
  std::function<uint8_t(Step, int block)> result;
};

uint16_t ReferenceCrc16(const Bytes& data);
Bytes ProgramPayload(const std::vector<ProgramBlock>& blocks);
// Blocks at varied addresses and lengths, each holding distinct bytes.
std::vector<ProgramBlock> MakeBlocks(int count);
Bytes FontBytes(size_t size);

Script ProgramScript(const std::string& model, const std::vector<ProgramBlock>& blocks,
                     const PrinterBehaviour& printer = {});
// `start` below 0x20000: its bit 16 travels in the first "A" reply's status byte.
Script FontScript(const std::string& reported_model, const Bytes& font, uint32_t start,
                  const PrinterBehaviour& printer = {});

// Index of the exchange; the test fails when the script has none.
size_t IndexOf(const Script& script, Step step, int block);
// All frames the run writes for the script, ESC "BOOT" first.
std::vector<Bytes> AllCommands(const Script& script);
// Frames written before exchange `index`'s reply arrives, ESC "BOOT" included.
size_t WritesBefore(const Script& script, size_t index);

}  // namespace velmar::engine::testing
