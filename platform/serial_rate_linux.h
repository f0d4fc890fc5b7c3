#pragma once
// Exact line rates on Linux, including rates the classic termios table lacks. Kept apart because
// the kernel's termios2 header cannot share a translation unit with <termios.h>.

#include <cstdint>

namespace velmar::platform {

// Sets input and output rate of the open line `fd` to `baud_rate` (positive) through the
// driver's arbitrary-rate request, leaving every other setting as it is; false when the driver
// refuses or the rate is not positive.
bool SetArbitraryRate(int fd, int32_t baud_rate);
// The output and input rates the driver reports, or 0 when it cannot be asked.
int32_t ReadOutputRate(int fd);
int32_t ReadInputRate(int fd);

}  // namespace velmar::platform
