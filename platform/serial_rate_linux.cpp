#include "platform/serial_rate_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace velmar::platform {

bool SetExactRate(int fd, int32_t baud_rate) {
  if (baud_rate <= 0) {
    return false;
  }
  struct termios2 settings {};
  if (::ioctl(fd, TCGETS2, &settings) != 0) {
    return false;
  }
  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = static_cast<speed_t>(baud_rate);
  settings.c_ospeed = static_cast<speed_t>(baud_rate);
  if (::ioctl(fd, TCSETS2, &settings) != 0) {
    return false;
  }
  return ReadRate(fd) == baud_rate;
}

int32_t ReadRate(int fd) {
  struct termios2 settings {};
  if (::ioctl(fd, TCGETS2, &settings) != 0) {
    return 0;
  }
  return static_cast<int32_t>(settings.c_ospeed);
}

}  // namespace velmar::platform
