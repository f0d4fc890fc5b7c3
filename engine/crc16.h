#pragma once
// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR; check value 0xBB3D
// over "123456789". Sent low byte first.

#include <cstdint>

namespace velmar::engine {

inline constexpr uint16_t kCrc16Polynomial = 0xA001;

uint16_t Crc16(const uint8_t* data, int32_t count);

}  // namespace velmar::engine
