#include "engine/crc16.h"

#include <array>

namespace velmar::engine {

namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < table.size(); ++i) {
    uint16_t crc = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ kCrc16Polynomial)
                           : static_cast<uint16_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0xC0C1 && kTable[255] == 0x4040, "not the CRC-16/ARC table");

}  // namespace

uint16_t Crc16(const uint8_t* data, int32_t count) {
  uint16_t crc = 0;
  for (int32_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
  }
  return crc;
}

}  // namespace velmar::engine
