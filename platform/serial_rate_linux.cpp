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
  // Raw 8N1, receiver on, modem status ignored, no flow control, reads never wait: all in one
  // request, so that no second call can undo the exact rate.
  settings.c_iflag &=
      ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
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
