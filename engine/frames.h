#pragma once
// The boot protocol's bytes. Every frame but the wake-up exchange starts with the frame marker
// and a letter; commands and short replies are five bytes: marker, letter, two argument bytes,
// status byte. Multi-byte numbers are little-endian.

#include <array>
#include <cstdint>

namespace velmar::engine::frames {

inline constexpr std::array<uint8_t, 5> kWakeUp{0x1B, 'B', 'O', 'O', 'T'};  // ESC "BOOT"

inline constexpr uint8_t kWakeReplyA0 = 0xA0;  // acknowledged with kAckA0
inline constexpr uint8_t kWakeReplyA1 = 0xA1;  // acknowledged with kAckA1
inline constexpr uint8_t kAckA0 = 0x0A;
inline constexpr uint8_t kAckA1 = 0x1A;

inline constexpr uint8_t kMarker = 0x1E;  // ASCII record separator
inline constexpr int32_t kShortFrameSize = 5;

// Command letters and their fixed argument bytes.
inline constexpr uint8_t kRead = 'r';  // "r" 'S' 01 S, answered by "CA"
inline constexpr uint8_t kReadArg0 = 'S';
inline constexpr uint8_t kReadArg1 = 0x01;
inline constexpr uint8_t kAddress = 'a';  // "a" P0 P1 S, answered by "A"
inline constexpr uint8_t kLength = 'd';   // "d" L0 L1 S, answered by "D"
inline constexpr uint8_t kData = 'e';     // "e" C0 C1 X, then the block, answered by its echo
inline constexpr uint8_t kWrite = 'w';    // "w" 'o' 'k' S, answered by "SM" but after the last
inline constexpr uint8_t kWriteArg0 = 'o';
inline constexpr uint8_t kWriteArg1 = 'k';

// Reply letters.
inline constexpr std::array<uint8_t, 3> kReadReply{kMarker, 'C', 'A'};
inline constexpr std::array<uint8_t, 2> kAddressReply{kMarker, 'A'};
inline constexpr std::array<uint8_t, 2> kLengthReply{kMarker, 'D'};
inline constexpr std::array<uint8_t, 3> kStatusReply{kMarker, 'S', 'M'};  // "SM", ident's close

// Positions in the data echo, counted from its start.
inline constexpr int32_t kEchoCrcLow = 2;
inline constexpr int32_t kEchoCrcHigh = 3;
inline constexpr int32_t kEchoResult = 4;
inline constexpr int32_t kEchoData = 5;
inline constexpr int32_t kDataHeaderSize = 5;  // "e" frame bytes before the block

// Status and result bits.
inline constexpr uint8_t kStatusErrorBits = 0x50;    // bits 4 and 6: error in the received packet
inline constexpr uint8_t kResultErrorBits = 0xC0;    // bits 6 and 7: data integrity error
inline constexpr uint8_t kStatusHighAddress = 0x01;  // kept only for address byte 2 == 1
inline constexpr uint8_t kStatusFontLoad = 0x04;     // set in a font load's first "r"
inline constexpr uint8_t kStatusLastBlock = 0x82;    // set in the final "w"
inline constexpr uint8_t kHighAddressMark = 1;       // the address byte 2 that keeps bit 0

// The longest identification reply: 259 name bytes, the zero byte and the closing frame.
inline constexpr int32_t kMaxModelName = 259;
inline constexpr int32_t kIdentTrailer = 5;
inline constexpr int32_t kMaxIdentReply = kMaxModelName + 1 + kIdentTrailer;

inline constexpr int32_t kFontBlockAlign = 256;

}  // namespace velmar::engine::frames
