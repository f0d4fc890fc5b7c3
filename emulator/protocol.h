#pragma once
// The boot protocol as the controller sees it. Every frame but the wake-up exchange starts with
// the frame marker and a letter; commands and short replies are five bytes: marker, letter, two
// argument bytes, status byte. Multi-byte numbers are little-endian.

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmar::emulator::protocol {

inline constexpr uint8_t kEscape = 0x1B;
inline constexpr std::array<uint8_t, 5> kWakeUp{kEscape, 'B', 'O', 'O', 'T'};  // ESC "BOOT"

// The two wake bytes the tool knows, each with the acknowledge byte it expects back.
inline constexpr uint8_t kWakeA0 = 0xA0;
inline constexpr uint8_t kWakeA1 = 0xA1;
inline constexpr uint8_t kAckA0 = 0x0A;
inline constexpr uint8_t kAckA1 = 0x1A;

inline constexpr uint8_t kMarker = 0x1E;  // ASCII record separator
inline constexpr size_t kShortFrameSize = 5;
inline constexpr size_t kLetterAt = 1;
inline constexpr size_t kArg0At = 2;
inline constexpr size_t kArg1At = 3;
inline constexpr size_t kStatusAt = 4;

// Commands, tool to controller.
inline constexpr uint8_t kRead = 'r';  // "r" 'S' 01 S
inline constexpr uint8_t kReadArg0 = 'S';
inline constexpr uint8_t kReadArg1 = 0x01;
inline constexpr uint8_t kAddress = 'a';  // "a" P0 P1 S
inline constexpr uint8_t kLength = 'd';   // "d" L0 L1 S
inline constexpr uint8_t kData = 'e';     // "e" C0 C1 X, then the block
inline constexpr uint8_t kWrite = 'w';    // "w" 'o' 'k' S
inline constexpr uint8_t kWriteArg0 = 'o';
inline constexpr uint8_t kWriteArg1 = 'k';

// Replies, controller to tool.
inline constexpr std::array<uint8_t, 2> kReadReply{'C', 'A'};    // "CA" x S
inline constexpr uint8_t kReadReplyArg = 0x00;                   // the tool ignores it
inline constexpr uint8_t kAddressReply = 'A';                    // "A" P0 P1 S
inline constexpr uint8_t kLengthReply = 'D';                     // "D" L0 L1 S
inline constexpr uint8_t kEchoLetter = kData;                    // "e" C0 C1 R, then the block
inline constexpr std::array<uint8_t, 2> kStatusReply{'S', 'M'};  // "SM" R S, also closes ident
inline constexpr uint8_t kLetterCaseBit = 0x20;  // flips a letter's case: the wrong letter

// Positions in the data frame and its echo.
inline constexpr size_t kCrcLowAt = 2;
inline constexpr size_t kCrcHighAt = 3;
inline constexpr size_t kExtraAt = 4;   // header byte 7 in the command
inline constexpr size_t kResultAt = 4;  // result byte in the echo
inline constexpr size_t kDataHeaderSize = 5;

inline constexpr uint32_t kMaxBlockLength = 256;
inline constexpr uint32_t kFontBlockAlign = 256;
inline constexpr uint8_t kFontExtra = 0;  // header byte 7 of every font block
inline constexpr size_t kMaxModelName = 259;

// Status and result bits.
inline constexpr uint8_t kStatusHighAddress = 0x01;     // address bit 16; kept only when it is 1
inline constexpr uint8_t kStatusFontLoad = 0x04;        // the tool sets it in a font's first "r"
inline constexpr uint8_t kStatusLastBlock = 0x82;       // the tool sets both in the final "w"
inline constexpr uint8_t kStatusPacketError = 0x10;     // bit 4: error in the received packet
inline constexpr uint8_t kResultIntegrityError = 0x80;  // bit 7: data integrity error
inline constexpr uint32_t kHighAddressBit = 0x10000;
inline constexpr uint32_t kHighAddressShift = 16;

}  // namespace velmar::emulator::protocol
