#pragma once
// The progress bar's window messages, numbered as the common controls number them, so that a
// progress window of any host answers the same numbers.

#include "platform/window_message.h"

namespace velmar::platform {

inline constexpr MessageId PBM_SETRANGE = kWmUser + 1;  // lparam: low 16 bits lower, high upper
inline constexpr MessageId PBM_SETPOS = kWmUser + 2;    // wparam: new position
inline constexpr MessageId PBM_DELTAPOS = kWmUser + 3;  // wparam: increment
inline constexpr MessageId PBM_SETSTEP = kWmUser + 4;   // wparam: step
inline constexpr MessageId PBM_STEPIT = kWmUser + 5;    // advances by the step

inline constexpr LParam MakeRange(uint16_t lower, uint16_t upper) {
  return static_cast<LParam>(uint32_t{lower} | (uint32_t{upper} << 16));
}

}  // namespace velmar::platform
