// The emulator tests' loads as boot_loader inputs: the tool's side of a program and a font, whole
// and a byte at a time, two loads in a row, every fault the tests make the emulator commit, and
// each command spoilt in turn with the rest of the load following it.

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/fault.h"
#include "fuzz/seeds/seeds.h"
#include "tests/emulator/tool_script.h"

namespace velmar::fuzz::seeds {

namespace {

namespace et = emulator::test;
using emulator::FaultKind;
using emulator::ReplyKind;

constexpr uint8_t kUsualReply = static_cast<uint8_t>(ReplyKind::kStatusReply) + 1;
constexpr uint32_t kFontStart = 0x11234;  // where FontAt11234 expects its font

struct Config {
  uint8_t wake = 0xA0;
  uint8_t status = 0x01;
  uint8_t result = 0x00;
  uint32_t start = kFontStart;
  FaultKind fault = FaultKind::kNone;
  uint8_t block = 1;
  uint8_t reply = kUsualReply;
  std::string model = "TEST";
};

Bytes Opening(const Config& c) {
  Bytes input{c.wake,
              c.status,
              c.result,
              static_cast<uint8_t>(c.start & 0xFF),
              static_cast<uint8_t>((c.start >> 8) & 0xFF),
              static_cast<uint8_t>(c.start >> 16),
              static_cast<uint8_t>(c.fault),
              c.block,
              c.reply,
              static_cast<uint8_t>(c.model.size())};
  input.insert(input.end(), c.model.begin(), c.model.end());
  return input;
}

void AppendTool(Bytes* input, const et::Script& script, bool byte_by_byte) {
  for (const et::Step& step : script) {
    if (!byte_by_byte) {
      AppendBatches(input, step.tool);
      continue;
    }
    for (uint8_t byte : step.tool) {
      AppendBatches(input, Bytes{byte});
    }
  }
}

Bytes Session(const Config& config, std::initializer_list<et::Script> loads,
              bool byte_by_byte = false) {
  Bytes input = Opening(config);
  for (const et::Script& load : loads) {
    AppendTool(&input, load, byte_by_byte);
  }
  return input;
}

struct FaultSeed {
  const char* name;
  FaultKind kind;
  uint8_t block;
  uint8_t reply;
};

constexpr uint8_t Reply(ReplyKind reply) {
  return static_cast<uint8_t>(reply);
}

}  // namespace

bool AddBootLoaderSeeds(const std::string& dir) {
  SeedWriter seeds(dir, "boot_loader");
  const et::Script program = et::TwoBlockProgram();
  const et::Script font = et::FontAt11234(et::FontData());
  seeds.Add("program", Session({}, {program}));
  seeds.Add("program-byte-by-byte", Session({}, {program}, true));
  seeds.Add("font", Session({}, {font}));
  seeds.Add("font-byte-by-byte", Session({}, {font}, true));
  seeds.Add("two-loads", Session({}, {program, font}));
  Config unknown_wake;
  unknown_wake.wake = 0x55;
  seeds.Add("unknown-wake", Session(unknown_wake, {program}));

  const FaultSeed faults[] = {
      {"status-error-ca", FaultKind::kStatusError, 1, kUsualReply},
      {"status-error-ident", FaultKind::kStatusError, 1, Reply(ReplyKind::kIdent)},
      {"status-error-a", FaultKind::kStatusError, 2, Reply(ReplyKind::kAddressReply)},
      {"status-error-d", FaultKind::kStatusError, 1, Reply(ReplyKind::kLengthReply)},
      {"status-error-sm", FaultKind::kStatusError, 1, Reply(ReplyKind::kStatusReply)},
      {"result-error-echo", FaultKind::kResultError, 1, kUsualReply},
      {"result-error-ident", FaultKind::kResultError, 1, Reply(ReplyKind::kIdent)},
      {"result-error-sm", FaultKind::kResultError, 1, Reply(ReplyKind::kStatusReply)},
      {"bad-command-ca", FaultKind::kBadCommand, 1, kUsualReply},
      {"bad-command-a", FaultKind::kBadCommand, 2, Reply(ReplyKind::kAddressReply)},
      {"bad-address", FaultKind::kBadAddress, 1, kUsualReply},
      {"bad-size", FaultKind::kBadSize, 1, kUsualReply},
      {"bad-crc", FaultKind::kBadCrc, 1, kUsualReply},
      {"bad-data", FaultKind::kBadData, 2, kUsualReply},
      {"silent", FaultKind::kSilent, 2, kUsualReply},
      {"hangup", FaultKind::kHangUp, 1, kUsualReply},
  };
  for (const FaultSeed& fault : faults) {
    Config config;
    config.fault = fault.kind;
    config.block = fault.block;
    config.reply = fault.reply;
    seeds.Add(std::string("fault-") + fault.name, Session(config, {program, program}));
  }

  // Each command spoilt in turn: its marker, letter, first argument and status byte.
  for (size_t i = 0; i < program.size(); ++i) {
    for (size_t at : {size_t{0}, size_t{1}, size_t{2}, size_t{4}}) {
      if (at >= program[i].tool.size()) {
        continue;
      }
      et::Script spoilt = program;
      spoilt[i].tool[at] ^= 0x01;
      seeds.Add("spoilt-" + std::to_string(i) + "-" + std::to_string(at), Session({}, {spoilt}));
    }
  }
  // A new wake-up where a data frame belongs.
  et::Script restarted(program.begin(), program.begin() + et::kData1);
  restarted.insert(restarted.end(), program.begin(), program.end());
  seeds.Add("wake-mid-load", Session({}, {restarted}));
  return seeds.Ok();
}

}  // namespace velmar::fuzz::seeds
