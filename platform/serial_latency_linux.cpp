#include "platform/serial_latency_linux.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace velmar::platform {

LatencySetting LowerLatency(int fd) {
  LatencySetting setting;
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) {
    return setting;
  }
  setting.flags = serial.flags;
  serial.flags |= ASYNC_LOW_LATENCY;
  setting.changed = ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
  return setting;
}

void RestoreLatency(int fd, const LatencySetting& setting) {
  serial_struct serial{};
  if (!setting.changed || ::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
    return;
  }
  // Only our bit goes back: whatever else changed meanwhile is somebody else's.
  serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (setting.flags & ASYNC_LOW_LATENCY);
  ::ioctl(fd, TIOCSSERIAL, &serial);
}

}  // namespace velmar::platform
