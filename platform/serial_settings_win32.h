#pragma once
// The serial line's settings on Windows, as plain data, apart from the handle that takes them.
//
// Principles of operation: the line is 8N1 with no flow control, DTR and RTS on, and the driver
// is told to replace bytes received with a parity error and to fail reads and writes after a
// line error until ClearCommError is called. Only the members named below are written; the rest
// of the DCB keeps what the driver reported. Port names: COM1 to COM9 are DOS device names that
// CreateFileA takes as they are; COM10 and above exist only in the device namespace, "\\.\COMn".
//   ApplyLineSettings  writes the line's members into `dcb` at `baud_rate`.
//   SameLineSettings   whether the driver kept what ApplyLineSettings wrote.
//   DeviceName         the name to open for a port name.
//   SortedPorts        COMn by number, then every other name in byte order, each once.
//   LockName           the name of the lock that keeps a port to one opener: the same for every
//                      spelling of one port ("com4", "COM4", "\\.\COM4").

#include <windows.h>

#include "platform/com_port_name.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::platform {

// Driver queues, bytes.
inline constexpr DWORD kInputQueueSize = 1024;
inline constexpr DWORD kOutputQueueSize = 1024;
// A read returns what is queued within the interval; the totals bound a read or write that the
// driver cannot finish, in milliseconds (per byte, plus a constant).
inline constexpr COMMTIMEOUTS kLineTimeouts = {
    65535,  // ReadIntervalTimeout
    1,      // ReadTotalTimeoutMultiplier
    5000,   // ReadTotalTimeoutConstant
    1,      // WriteTotalTimeoutMultiplier
    5000,   // WriteTotalTimeoutConstant
};

void ApplyLineSettings(DCB* dcb, int32_t baud_rate);
bool SameLineSettings(const DCB& wanted, const DCB& actual);
std::string DeviceName(const std::string& name);
std::vector<std::string> SortedPorts(std::vector<std::string> names);
std::string LockName(const std::string& name);

}  // namespace velmar::platform
