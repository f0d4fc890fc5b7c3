// The data files of the reader's tests: loaded programs and fonts, the longest name, an
// unterminated one, and every kind of refusal. The build adds the sample program and font.

#include <cstdint>
#include <string>

#include "fuzz/seeds/seeds.h"

namespace velmar::fuzz::seeds {

namespace {

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

Bytes Block(uint32_t address, const Bytes& data, uint16_t crc = 0xBEEF, uint8_t extra = 0x5A) {
  const Bytes header{static_cast<uint8_t>(address),          static_cast<uint8_t>(address >> 8),
                     static_cast<uint8_t>(address >> 16),    static_cast<uint8_t>(data.size()),
                     static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(crc),
                     static_cast<uint8_t>(crc >> 8),         extra};
  return Join({header, data});
}

Bytes Program(const std::string& model, uint16_t total, const Bytes& payload) {
  return Join({Text("MyBIN"),
               Text(model),
               {0, static_cast<uint8_t>(total >> 8), static_cast<uint8_t>(total)},
               payload});
}

}  // namespace

bool AddDataFileSeeds(const std::string& dir) {
  SeedWriter seeds(dir, "data_file");
  const Bytes good_block = Block(0x10, {1, 2, 3});
  seeds.Add("program",
            Program("TST", 0x0100, Join({Block(0x2000, {1, 2, 3, 4}), Block(0x012004, {5})})));
  seeds.Add("program-empty", Program("", 0xFFFF, {}));
  seeds.Add("program-longest-name", Program(std::string(254, 'N'), 3, Block(0, {1})));
  seeds.Add("program-four-blocks", Program("M", 1,
                                           Join({Block(0x2000, {1, 2, 3, 4}, 0x1234, 0x42),
                                                 Block(0x2004, {}, 0x1234, 0x42),
                                                 Block(0x012100, Bytes(256, 0xAB), 0x1234, 0x42),
                                                 Block(0x2200, {9}, 0x1234, 0x42)})));
  seeds.Add("program-length-endianness",
            Program("M", 1, Join({Block(0, Bytes(256, 1)), Block(0, {2})})));
  seeds.Add("font", Join({Text("MyFNT"), Text("Arial"), {0}, {9, 8, 7, 0, 6}}));
  seeds.Add("font-unterminated-name", Join({Text("MyFNT"), Bytes(255, 'x'), {1, 2, 3}}));

  Bytes lower = Program("M", 1, good_block);
  lower[2] = 'b';
  seeds.Add("refused-magic-case", lower);
  seeds.Add("refused-text", Text("hello world"));
  seeds.Add("refused-empty", {});
  seeds.Add("refused-magic-only", Text("MyBIN"));
  seeds.Add("refused-nul-in-magic", Join({Text("My"), {0}, Text("NT")}));
  seeds.Add("refused-name-cut", Join({Text("MyBIN"), Text("ABC")}));
  seeds.Add("refused-no-progress-total", Join({Text("MyBIN"), Text("M"), {0, 1}}));
  seeds.Add("refused-header-cut", Program("M", 1, Bytes{1, 2, 3, 4, 5, 6, 7}));
  seeds.Add("refused-data-cut", Program("M", 1, Bytes{0, 0, 0, 4, 0, 0, 0, 0, 1, 2, 3}));
  seeds.Add("refused-length-above-256", Program("M", 1, Block(0, Bytes(257, 1))));
  seeds.Add("refused-second-block-cut", Program("M", 1, Join({good_block, {0, 0}})));
  return seeds.Ok();
}

}  // namespace velmar::fuzz::seeds
