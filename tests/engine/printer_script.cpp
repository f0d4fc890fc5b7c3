#include "tests/engine/printer_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "engine/load_notification.h"

namespace velmar::engine::testing {

namespace {

constexpr uint8_t kMarker = 0x1E;
const Bytes kBoot{0x1B, 'B', 'O', 'O', 'T'};

uint8_t DefaultStatus(Step step, int block) {
  static constexpr std::array<uint8_t, 8> kPassing{0x01, 0x20, 0x8F, 0x03, 0x2D, 0x81, 0x00, 0xA7};
  return kPassing[(static_cast<size_t>(step) * 3 + static_cast<size_t>(block + 1)) %
                  kPassing.size()];
}

uint8_t DefaultResult(Step step, int block) {
  static constexpr std::array<uint8_t, 5> kPassing{0x00, 0x3F, 0x01, 0x20, 0x15};
  return kPassing[(static_cast<size_t>(step) + static_cast<size_t>(block + 1)) % kPassing.size()];
}

struct Printer {
  explicit Printer(const PrinterBehaviour& behaviour)
      : status(behaviour.status ? behaviour.status : DefaultStatus),
        result(behaviour.result ? behaviour.result : DefaultResult),
        wake(behaviour.wake) {}
  std::function<uint8_t(Step, int)> status;
  std::function<uint8_t(Step, int)> result;
  uint8_t wake;
};

uint8_t Lo(uint32_t v) {
  return static_cast<uint8_t>(v & 0xFF);
}
uint8_t Mid(uint32_t v) {
  return static_cast<uint8_t>((v >> 8) & 0xFF);
}
uint8_t High(uint32_t v) {
  return static_cast<uint8_t>((v >> 16) & 0xFF);
}

Bytes Short(uint8_t letter, uint8_t a0, uint8_t a1, uint8_t s) {
  return {kMarker, letter, a0, a1, s};
}

void AddOpening(Script& script, const Printer& printer, const std::string& model, bool font) {
  script.push_back({Step::kWake,
                    -1,
                    {printer.wake},
                    {{static_cast<uint8_t>(printer.wake == 0xA0 ? 0x0A : 0x1A)}},
                    {}});
  const uint8_t s = printer.status(Step::kIdent, -1);
  const uint8_t r = printer.result(Step::kIdent, -1);
  Bytes ident = Concat({BytesOf(model), {0x00, kMarker, 'S', 'M', r, s}});
  const uint8_t sent = font ? static_cast<uint8_t>(s | 0x04) : s;
  script.push_back({Step::kIdent, -1, ident, {Short('r', 'S', 0x01, sent)}, {LN_STATUS}});
}

// One block cycle; `announced` is the address the "a" command carries.
void AddBlock(Script& script, const Printer& printer, int b, uint32_t announced,
              uint32_t reply_address, uint8_t address_status, const Bytes& data, uint16_t crc,
              uint8_t extra, bool last, bool font) {
  const auto length = static_cast<uint32_t>(data.size());
  uint8_t s = printer.status(Step::kReadReply, b);
  const uint8_t a_status = High(announced) == 1 ? s : static_cast<uint8_t>(s & 0xFE);
  script.push_back({Step::kReadReply,
                    b,
                    {kMarker, 'C', 'A', 0x00, s},
                    {Short('a', Lo(announced), Mid(announced), a_status)},
                    {}});

  s = address_status;
  script.push_back({Step::kAddressReply,
                    b,
                    Short('A', Lo(reply_address), Mid(reply_address), s),
                    {Short('d', Lo(length), Mid(length), s)},
                    {}});

  s = printer.status(Step::kLengthReply, b);
  const Bytes e = Concat({{kMarker, 'e', Lo(crc), Mid(crc), extra}, data});
  script.push_back({Step::kLengthReply, b, Short('D', Lo(length), Mid(length), s), {e}, {}});

  const Bytes echo =
      Concat({{kMarker, 'e', Lo(crc), Mid(crc), printer.result(Step::kEcho, b)}, data});
  Exchange echoed{Step::kEcho, b, echo, {}, {}};
  if (font) {
    echoed.notes.push_back(LN_STEP);
  }
  if (last) {
    echoed.commands.push_back(Short('w', 'o', 'k', static_cast<uint8_t>(s | 0x82)));
    echoed.notes.push_back(LN_DONE);
    script.push_back(echoed);
    return;
  }
  echoed.commands.push_back(Short('w', 'o', 'k', s));
  script.push_back(echoed);

  s = printer.status(Step::kStatusReply, b);
  script.push_back({Step::kStatusReply,
                    b,
                    {kMarker, 'S', 'M', printer.result(Step::kStatusReply, b), s},
                    {Short('r', 'S', 0x01, s)},
                    {}});
}

}  // namespace

const char* StepName(Step step) {
  switch (step) {
    case Step::kWake:
      return "wake";
    case Step::kIdent:
      return "ident";
    case Step::kReadReply:
      return "CA";
    case Step::kAddressReply:
      return "A";
    case Step::kLengthReply:
      return "D";
    case Step::kEcho:
      return "echo";
    case Step::kStatusReply:
      return "SM";
  }
  return "?";
}

uint16_t ReferenceCrc16(const Bytes& data) {
  uint16_t crc = 0;
  for (uint8_t byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
  }
  return crc;
}

Bytes ProgramPayload(const std::vector<ProgramBlock>& blocks) {
  Bytes payload;
  for (const ProgramBlock& block : blocks) {
    const auto length = static_cast<uint32_t>(block.data.size());
    const Bytes header{Lo(block.address), Mid(block.address), High(block.address), Lo(length),
                       Mid(length),       Lo(block.crc),      Mid(block.crc),      block.extra};
    payload.insert(payload.end(), header.begin(), header.end());
    payload.insert(payload.end(), block.data.begin(), block.data.end());
  }
  return payload;
}

std::vector<ProgramBlock> MakeBlocks(int count) {
  static constexpr std::array<uint32_t, 5> kAddresses{0x002000, 0x012100, 0x020000, 0x01FFF0,
                                                      0x000000};
  static constexpr std::array<size_t, 5> kLengths{4, 256, 0, 1, 255};
  std::vector<ProgramBlock> blocks;
  for (int i = 0; i < count; ++i) {
    ProgramBlock block;
    const auto n = static_cast<size_t>(i);
    block.address = kAddresses[n % kAddresses.size()] + static_cast<uint32_t>(i / 5) * 0x300;
    block.data.resize(kLengths[n % kLengths.size()]);
    for (size_t k = 0; k < block.data.size(); ++k) {
      block.data[k] = static_cast<uint8_t>(k * 7 + n * 31 + 1);
    }
    block.crc = static_cast<uint16_t>(0xA10F + i * 0x111);  // not the data's CRC: passed on as is
    block.extra = static_cast<uint8_t>(i * 0x21);
    blocks.push_back(block);
  }
  return blocks;
}

Bytes FontBytes(size_t size) {
  Bytes font(size);
  for (size_t i = 0; i < size; ++i) {
    font[i] = static_cast<uint8_t>((i * 13 + i / 256) ^ 0x5A);
  }
  return font;
}

Script ProgramScript(const std::string& model, const std::vector<ProgramBlock>& blocks,
                     const PrinterBehaviour& behaviour) {
  const Printer printer(behaviour);
  Script script;
  AddOpening(script, printer, model, false);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const ProgramBlock& block = blocks[i];
    const int b = static_cast<int>(i);
    AddBlock(script, printer, b, block.address, block.address,
             printer.status(Step::kAddressReply, b), block.data, block.crc, block.extra,
             i + 1 == blocks.size(), false);
  }
  return script;
}

Script FontScript(const std::string& reported_model, const Bytes& font, uint32_t start,
                  const PrinterBehaviour& behaviour) {
  const Printer printer(behaviour);
  Script script;
  AddOpening(script, printer, reported_model, true);
  size_t taken = 0;
  uint32_t address = start;
  for (int b = 0; taken < font.size(); ++b) {
    size_t length = b == 0 ? 256 - address % 256 : 256;
    length = std::min(length, font.size() - taken);
    const Bytes data(font.begin() + static_cast<ptrdiff_t>(taken),
                     font.begin() + static_cast<ptrdiff_t>(taken + length));
    uint8_t address_status = printer.status(Step::kAddressReply, b);
    if (b == 0) {
      // The first "a" names no address yet; the reply reports the start, bit 16 in bit 0.
      address_status = static_cast<uint8_t>((address_status & 0xFE) | ((start >> 16) & 1));
    }
    taken += length;
    AddBlock(script, printer, b, b == 0 ? 0 : address, address, address_status, data,
             ReferenceCrc16(data), 0x00, taken == font.size(), true);
    address += static_cast<uint32_t>(length);
  }
  return script;
}

size_t IndexOf(const Script& script, Step step, int block) {
  for (size_t i = 0; i < script.size(); ++i) {
    if (script[i].step == step && script[i].block == block) {
      return i;
    }
  }
  ADD_FAILURE() << "no " << StepName(step) << " exchange for block " << block;
  return 0;
}

std::vector<Bytes> AllCommands(const Script& script) {
  std::vector<Bytes> all{kBoot};
  for (const Exchange& exchange : script) {
    all.insert(all.end(), exchange.commands.begin(), exchange.commands.end());
  }
  return all;
}

size_t WritesBefore(const Script& script, size_t index) {
  size_t count = 1;
  for (size_t i = 0; i < index && i < script.size(); ++i) {
    count += script[i].commands.size();
  }
  return count;
}

}  // namespace velmar::engine::testing
