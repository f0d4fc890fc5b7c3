#include "platform/serial_rate_linux.h"

// Only the kernel's termios2 here: <termios.h> declares a different struct termios.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace velmar::platform {

namespace {

bool GetSettings(int fd, struct termios2* settings) {
  return ::ioctl(fd, TCGETS2, settings) == 0;
}

}  // namespace

bool SetArbitraryRate(int fd, int32_t baud_rate) {
  if (baud_rate <= 0) {
    return false;
  }
  struct termios2 settings {};
  if (!GetSettings(fd, &settings)) {
    return false;
  }
  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = static_cast<speed_t>(baud_rate);
  settings.c_ospeed = static_cast<speed_t>(baud_rate);
  return ::ioctl(fd, TCSETS2, &settings) == 0;
}

int32_t ReadOutputRate(int fd) {
  struct termios2 settings {};
  return GetSettings(fd, &settings) ? static_cast<int32_t>(settings.c_ospeed) : 0;
}

int32_t ReadInputRate(int fd) {
  struct termios2 settings {};
  return GetSettings(fd, &settings) ? static_cast<int32_t>(settings.c_ispeed) : 0;
}

}  // namespace velmar::platform
