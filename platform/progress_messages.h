#pragma once
// The progress bar's window messages, numbered as the common controls number them, so that a
// progress window of any host answers the same numbers. PBM_SETTEXTCOLOR and PBM_SETSHOWTEXT
// belong to the text progress bar alone; a plain progress window ignores them.

#include <cstdint>

#include "platform/window_message.h"

namespace velmar::platform {

inline constexpr MessageId WM_SIZE = 0x0005;
inline constexpr MessageId WM_SETTEXT = 0x000C;  // lparam: const char*, null meaning empty
inline constexpr MessageId WM_GETTEXT = 0x000D;  // wparam: buffer size; lparam: char* buffer
inline constexpr MessageId WM_PAINT = 0x000F;
inline constexpr MessageId WM_ERASEBKGND = 0x0014;

inline constexpr MessageId PBM_SETRANGE = kWmUser + 1;    // lparam: low 16 bits lower, high upper
inline constexpr MessageId PBM_SETPOS = kWmUser + 2;      // wparam: new position
inline constexpr MessageId PBM_DELTAPOS = kWmUser + 3;    // wparam: increment
inline constexpr MessageId PBM_SETSTEP = kWmUser + 4;     // wparam: step
inline constexpr MessageId PBM_STEPIT = kWmUser + 5;      // advances by the step
inline constexpr MessageId PBM_SETRANGE32 = kWmUser + 6;  // wparam: lower; lparam: upper
inline constexpr MessageId PBM_GETRANGE = kWmUser + 7;    // wparam: lower wanted; lparam: PbRange*
inline constexpr MessageId PBM_GETPOS = kWmUser + 8;
inline constexpr MessageId PBM_SETBARCOLOR = kWmUser + 9;     // lparam: colour
inline constexpr MessageId PBM_SETBKCOLOR = 0x2001;           // lparam: colour
inline constexpr MessageId PBM_SETTEXTCOLOR = kWmUser + 100;  // lparam: colour
inline constexpr MessageId PBM_SETSHOWTEXT = kWmUser + 101;   // wparam: flag

// A colour as 0x00BBGGRR; CLR_DEFAULT is never a real colour.
using ColorRef = uint32_t;
inline constexpr ColorRef CLR_DEFAULT = 0xFF000000;
inline constexpr ColorRef Rgb(uint8_t red, uint8_t green, uint8_t blue) {
  return ColorRef{red} | (ColorRef{green} << 8) | (ColorRef{blue} << 16);
}

// What PBM_GETRANGE fills in.
struct PbRange {
  int32_t low;
  int32_t high;
};

inline constexpr LParam MakeRange(uint16_t lower, uint16_t upper) {
  return static_cast<LParam>(uint32_t{lower} | (uint32_t{upper} << 16));
}

}  // namespace velmar::platform
