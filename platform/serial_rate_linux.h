#pragma once
// Setting an exact line rate on Linux, including rates the classic termios table lacks. Kept
// apart because the kernel's termios2 header cannot share a file with <termios.h>.

#include <cstdint>

namespace velmar::platform {

// Makes the open line `fd` raw 8N1 without flow control at exactly `baud_rate`, both ways;
// false when the driver refuses.
bool SetExactRate(int fd, int32_t baud_rate);
// The output rate the driver reports, or 0.
int32_t ReadRate(int fd);

}  // namespace velmar::platform
