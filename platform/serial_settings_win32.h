#pragma once
// The serial line's settings on Windows, as plain data, apart from the handle that takes them.
//
// Principles of operation: the line is 8N1 with no flow control, DTR and RTS on, and the driver
// is told to fail reads and writes after a line error until ClearCommError is called. fErrorChar
// is set, as the line has always set it, but replaces nothing: the driver replaces only bytes
// with a parity error, and without fParity there are none. Only the members named below are
// written; the rest of the DCB keeps what the driver reported. Port names: COM1 to COM9 are DOS
// device names that CreateFileA takes as they are; COM10 and above exist only in the device
// namespace, "\\.\COMn". A failed read, write or ClearCommError is judged by kLineErrors:
// a device that has gone (pulled from USB, its driver stopped) fails with errors of its own; any
// other failure is first taken for a line error, which ClearCommError clears, and counts as
// gone only when it comes again after the clear.
//   ApplyLineSettings  writes the line's members into `dcb` at `baud_rate`.
//   SameLineSettings   whether the driver kept what ApplyLineSettings wrote.
//   DeviceName         the name to open for a port name.
//   SortedPorts        COMn by number, then every other name in byte order, each once.
//   PortKey            the same for every spelling of one port ("com4", "COM4", "\\.\COM4").
//   LockName           the name of the lock that keeps a port to one opener, from PortKey.
//   ClassifyLineError  what a failure's error code means, from kLineErrors.

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

enum class LineError {
  kClearAndRetry,  // a line error that fAbortOnError turns into failed calls, or unknown
  kGone,           // the device has gone; ClearCommError does not bring it back
};

struct LineErrorClass {
  DWORD error;
  LineError kind;
};

// What a failed call's error means; an error not listed is cleared and retried.
// ERROR_OPERATION_ABORTED is how fAbortOnError fails calls after a line error, and also what a
// pulled adapter's calls fail with: only its return after the clear means the device has gone.
inline constexpr LineErrorClass kLineErrors[] = {
    {ERROR_OPERATION_ABORTED, LineError::kClearAndRetry},
    {ERROR_DEVICE_REMOVED, LineError::kGone},
    {ERROR_BAD_COMMAND, LineError::kGone},    // usbser.sys, once its device is gone
    {ERROR_ACCESS_DENIED, LineError::kGone},  // a pulled adapter's driver, to a handle still open
    {ERROR_GEN_FAILURE, LineError::kGone},
    {ERROR_DEVICE_NOT_CONNECTED, LineError::kGone},
    {ERROR_DEV_NOT_EXIST, LineError::kGone},
    {ERROR_INVALID_HANDLE, LineError::kGone},
    // Wine, once the far end of a pseudo-terminal has closed: ClearCommError and writes (EIO)...
    {ERROR_NOT_READY, LineError::kGone},
    // ...and reads (end of file).
    {ERROR_BROKEN_PIPE, LineError::kGone},
};

void ApplyLineSettings(DCB* dcb, int32_t baud_rate);
bool SameLineSettings(const DCB& wanted, const DCB& actual);
std::string DeviceName(const std::string& name);
std::vector<std::string> SortedPorts(std::vector<std::string> names);
std::string PortKey(const std::string& name);
std::string LockName(const std::string& name);
LineError ClassifyLineError(DWORD error);

}  // namespace velmar::platform
