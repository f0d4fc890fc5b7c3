#pragma once
// The system's own words for its error numbers, for messages that say why something failed.
//
// Principles of operation: the number is the one the failed call left (errno on POSIX,
// GetLastError or WSAGetLastError on Windows); the text is the system's, in UTF-8, one line,
// without the closing full stop or line break the system may add, so that it can follow a
// text of ours. One file per system: system_error_posix.cpp (strerror_r) and
// system_error_win32.cpp (FormatMessageW).

#include <string>

namespace velmar::platform {

// The system's message for `error`; empty for 0 or a number it has no message for.
std::string SystemErrorText(int error);

}  // namespace velmar::platform
