#pragma once
// The line rates a user can choose, and a rate's text as a number. The window lists them; the
// command-line loader reads the same stored text.
//   BaudRateValue  the leading decimal digits of a baud-rate text as a number; 0 when it begins
//                  with none, INT32_MAX when they overflow.

#include <array>
#include <cstdint>
#include <string_view>

namespace velmar::settings {

inline constexpr std::array<std::string_view, 9> kBaudRateItems = {
    "2400", "4800", "7200", "9600", "14400", "19200", "38400", "57600", "115200"};

int32_t BaudRateValue(std::string_view text);

}  // namespace velmar::settings
