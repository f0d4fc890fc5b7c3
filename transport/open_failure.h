#pragma once
// Why a transport did not open, as plain data for the texts that say so.
//
// Principles of operation: the kind is what the user can act on; the system's error number and
// its own words for it come along unchanged, for the detail, and so do the port's name and the
// rate asked for, so that the text can say which port and what to choose instead. A transport
// that opened reports kind kNone.

#include <cstdint>
#include <string>

namespace velmar::transport {

enum class OpenFailureKind {
  kNone,
  kNoDevice,         // no such port
  kNoHardware,       // a port with no device behind it
  kAccessDenied,     // the user may not open it
  kBusy,             // another program holds it
  kSettingsRefused,  // the port refused the line settings
  kNoConnection,     // the TCP connection could not be made
  kSystemFailure,    // the system could not give what the port needs
  kServerRefused,    // a serial device server did not set its port up as asked
};

struct OpenFailure {
  OpenFailureKind kind = OpenFailureKind::kNone;
  int system_error = 0;     // errno, GetLastError or WSAGetLastError; 0 when none
  std::string system_text;  // the system's words for it, UTF-8; may be empty
  std::string port;         // the port as the user named it, or HOST:PORT; may be empty
  int32_t baud_rate = 0;    // the rate asked of a serial port; 0 when none
};

}  // namespace velmar::transport
