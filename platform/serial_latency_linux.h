#pragma once
// Low-latency reception on Linux serial drivers that offer it. USB serial adapters hold short
// input in a latency timer (16 ms by default on common ones) before passing it on; asking for
// low latency makes them pass it on at once. Drivers that have no such setting (a
// pseudo-terminal, most built-in UARTs) refuse the request, and nothing changes.

namespace velmar::platform {

// What LowerLatency changed, to be put back by RestoreLatency.
struct LatencySetting {
  bool changed = false;
  int flags = 0;  // the driver's flags before the change
};

// Asks the driver of the open line `fd` for low-latency reception; silent when it cannot.
LatencySetting LowerLatency(int fd);
// Puts back what LowerLatency changed; does nothing when it changed nothing.
void RestoreLatency(int fd, const LatencySetting& setting);

}  // namespace velmar::platform
