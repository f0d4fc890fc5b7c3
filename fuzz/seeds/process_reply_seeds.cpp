// The protocol tests' loads as process_reply inputs: the well-behaved printer's conversation for
// programs and fonts of every shape the tests use, in whole replies and a byte or two at a time,
// with surplus bytes, and with each reply spoilt in turn and the rest of the conversation
// arriving after it.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/seeds/seeds.h"
#include "tests/engine/printer_script.h"

namespace velmar::fuzz::seeds {

namespace {

namespace t = engine::testing;

struct Load {
  bool font = false;
  std::string model;  // the file's; a font's file names none
  Bytes payload;
  t::Script script;
};

Load Program(const std::string& model, const std::vector<t::ProgramBlock>& blocks,
             const t::PrinterBehaviour& printer = {}) {
  return {false, model, t::ProgramPayload(blocks), t::ProgramScript(model, blocks, printer)};
}

Load Font(size_t size, uint32_t start, const t::PrinterBehaviour& printer = {}) {
  const Bytes font = t::FontBytes(size);
  return {true, "", font, t::FontScript("PRN-7", font, start, printer)};
}

t::PrinterBehaviour Constant(uint8_t status, uint8_t result) {
  t::PrinterBehaviour printer;
  printer.status = [status](t::Step, int) { return status; };
  printer.result = [result](t::Step, int) { return result; };
  return printer;
}

// Two blocks, the second above 64 KiB, as the protocol tests load them.
std::vector<t::ProgramBlock> TwoBlocks() {
  return {{0x002000, {0x01, 0x02, 0x03, 0x04}, 0x0FA1, 0x00},
          {0x012100, t::FontBytes(16), 0xBEEF, 0x7E}};
}

Bytes Opening(const Load& load) {
  Bytes input{static_cast<uint8_t>(load.font ? 1 : 0), static_cast<uint8_t>(load.model.size())};
  input.insert(input.end(), load.model.begin(), load.model.end());
  input.push_back(static_cast<uint8_t>(load.payload.size() & 0xFF));
  input.push_back(static_cast<uint8_t>(load.payload.size() >> 8));
  input.insert(input.end(), load.payload.begin(), load.payload.end());
  return input;
}

// The replies in batches of `batch` bytes; 0: each reply whole.
void AppendReplies(Bytes* input, const std::vector<Bytes>& replies, size_t batch) {
  for (const Bytes& reply : replies) {
    const size_t step = batch == 0 ? reply.size() : batch;
    for (size_t at = 0; at < reply.size(); at += step) {
      const size_t end = std::min(at + step, reply.size());
      AppendBatches(input, std::span(reply).subspan(at, end - at));
    }
  }
}

std::vector<Bytes> Replies(const t::Script& script) {
  std::vector<Bytes> replies;
  for (const t::Exchange& exchange : script) {
    replies.push_back(exchange.reply);
  }
  return replies;
}

Bytes Conversation(const Load& load, size_t batch) {
  Bytes input = Opening(load);
  AppendReplies(&input, Replies(load.script), batch);
  return input;
}

struct Spoiler {
  const char* name;
  std::function<bool(Bytes&)> spoil;  // false when the reply has nothing to spoil
};

const std::vector<Spoiler>& Spoilers() {
  static const std::vector<Spoiler> spoilers{
      {"status",
       [](Bytes& r) {
         if (r.size() < 2) {
           return false;
         }
         r.back() |= 0x10;  // error in the received packet
         return true;
       }},
      {"result",
       [](Bytes& r) {
         if (r.size() < 5) {
           return false;
         }
         r[r.size() - 2] |= 0x80;  // integrity error, where an "SM" reply has its result
         return true;
       }},
      {"letter",
       [](Bytes& r) {
         if (r.size() < 2) {
           return false;
         }
         r[1] ^= 0x20;
         return true;
       }},
      {"argument",
       [](Bytes& r) {
         if (r.size() < 3) {
           return false;
         }
         r[2] ^= 0x01;
         return true;
       }},
      {"short",
       [](Bytes& r) {
         if (r.empty()) {
           return false;
         }
         r.pop_back();
         return true;
       }},
      {"first",
       [](Bytes& r) {
         if (r.empty()) {
           return false;
         }
         r[0] ^= 0x55;
         return true;
       }},
  };
  return spoilers;
}

void AddSpoilt(SeedWriter& seeds, const std::string& name, const Load& load) {
  const std::vector<Bytes> replies = Replies(load.script);
  for (size_t i = 0; i < replies.size(); ++i) {
    for (const Spoiler& spoiler : Spoilers()) {
      std::vector<Bytes> spoilt = replies;
      if (!spoiler.spoil(spoilt[i])) {
        continue;
      }
      Bytes input = Opening(load);
      AppendReplies(&input, spoilt, 0);
      seeds.Add(name + "-" + std::to_string(i) + "-" + spoiler.name, input);
    }
  }
}

}  // namespace

bool AddProcessReplySeeds(const std::string& dir) {
  SeedWriter seeds(dir, "process_reply");
  const std::vector<std::pair<std::string, Load>> loads{
      {"example",
       Program("TEST", {{0x002000, {0x01, 0x02, 0x03, 0x04}, 0x0FA1, 0x00}}, Constant(0x01, 0x00))},
      {"two-blocks", Program("TEST", TwoBlocks())},
      {"program-1", Program("CTRL-9", t::MakeBlocks(1))},
      {"program-3", Program("CTRL-9", t::MakeBlocks(3))},
      {"program-5", Program("CTRL-9", t::MakeBlocks(5))},
      {"program-status-8f", Program("TEST", TwoBlocks(), Constant(0x8F, 0x00))},
      {"program-all-passing-bits", Program("TEST", TwoBlocks(), Constant(0xAF, 0x3F))},
      {"font-1", Font(1, 0)},
      {"font-256", Font(256, 0)},
      {"font-257", Font(257, 0)},
      {"font-300", Font(300, 0, Constant(0x01, 0x00))},
      {"font-300-high", Font(300, 0x11234)},
      {"font-204-high", Font(204, 0x11234)},
      {"font-10-page-end", Font(10, 0x000FF)},
      {"font-513-unaligned", Font(513, 0x00080)},
      {"font-2000-bit-17", Font(2000, 0x1FF80)},
      {"font-status-20", Font(300, 0, Constant(0x20, 0x3F))},
  };
  for (const auto& [name, load] : loads) {
    seeds.Add(name, Conversation(load, 0));
  }
  for (size_t name_length : {1, 40, 200}) {
    const std::string model(name_length, 'm');
    for (size_t batch : {1, 2}) {
      const std::string suffix = std::to_string(name_length) + "-batch-" + std::to_string(batch);
      seeds.Add("slow-program-" + suffix, Conversation(Program(model, t::MakeBlocks(3)), batch));
      Load font = Font(600, 0x10010);
      font.script = t::FontScript(model, font.payload, 0x10010);
      seeds.Add("slow-font-" + suffix, Conversation(font, batch));
    }
  }

  // A wake-up reply after a batch of two, and one of 0xA1.
  Load wake = Program("TEST", TwoBlocks());
  Bytes doubled = Opening(wake);
  AppendBatches(&doubled, Bytes{0xA0, 0xA0});
  AppendReplies(&doubled, Replies(wake.script), 0);
  seeds.Add("wake-doubled", doubled);
  t::PrinterBehaviour a1;
  a1.wake = 0xA1;
  seeds.Add("wake-a1", Conversation(Program("TEST", TwoBlocks(), a1), 0));

  // Five-byte replies with two more bytes before their status byte, and trailing bytes after
  // an "SM" reply and an echo.
  Load surplus = Program("TEST", TwoBlocks());
  for (t::Exchange& exchange : surplus.script) {
    if (exchange.step == t::Step::kReadReply || exchange.step == t::Step::kAddressReply ||
        exchange.step == t::Step::kLengthReply) {
      exchange.reply.insert(exchange.reply.end() - 1, {0x10, 0x55});
    } else if (exchange.step == t::Step::kStatusReply) {
      exchange.reply.insert(exchange.reply.begin(), {0xEE, 0x1E});
    } else if (exchange.step == t::Step::kEcho) {
      exchange.reply.insert(exchange.reply.end(), {0x00, 0x99, 0x1E});
    }
  }
  seeds.Add("surplus", Conversation(surplus, 0));

  AddSpoilt(seeds, "two-blocks", Program("TEST", TwoBlocks()));
  AddSpoilt(seeds, "font-300-high", Font(300, 0x11234));
  return seeds.Ok();
}

}  // namespace velmar::fuzz::seeds
