#include "platform/serial_settings_win32.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <tuple>

namespace velmar::platform {

namespace {

constexpr std::string_view kDeviceNamespace = "\\\\.\\";
// In the session's namespace: a port is opened by the user at the console.
constexpr std::string_view kLockPrefix = "Local\\velmar-serial-";
// The DOS device names stop at COM9.
constexpr int kHighestDosComPort = 9;
constexpr BYTE kDataBits = 8;
constexpr char kXonChar = 0x11;
constexpr char kXoffChar = 0x13;
constexpr WORD kXonLimit = 150;
constexpr WORD kXoffLimit = 150;

}  // namespace

static_assert(sizeof(DCB) == 28, "the DCB the drivers know");

void ApplyLineSettings(DCB* dcb, int32_t baud_rate) {
  dcb->DCBlength = sizeof(DCB);
  dcb->BaudRate = static_cast<DWORD>(baud_rate);
  dcb->fBinary = 1;
  dcb->fParity = 0;
  dcb->fOutxCtsFlow = 0;
  dcb->fOutxDsrFlow = 0;
  dcb->fDtrControl = DTR_CONTROL_ENABLE;
  dcb->fDsrSensitivity = 0;
  dcb->fTXContinueOnXoff = 0;
  dcb->fOutX = 0;
  dcb->fInX = 0;
  dcb->fErrorChar = 1;  // as the line always set it; without fParity it replaces nothing
  dcb->fNull = 0;
  dcb->fRtsControl = RTS_CONTROL_ENABLE;
  dcb->fAbortOnError = 1;
  dcb->XonLim = kXonLimit;
  dcb->XoffLim = kXoffLimit;
  dcb->ByteSize = kDataBits;
  dcb->Parity = NOPARITY;
  dcb->StopBits = ONESTOPBIT;
  dcb->XonChar = kXonChar;
  dcb->XoffChar = kXoffChar;
}

bool SameLineSettings(const DCB& wanted, const DCB& actual) {
  return wanted.BaudRate == actual.BaudRate && wanted.ByteSize == actual.ByteSize &&
         wanted.Parity == actual.Parity && wanted.StopBits == actual.StopBits &&
         wanted.fOutxCtsFlow == actual.fOutxCtsFlow && wanted.fOutX == actual.fOutX &&
         wanted.fInX == actual.fInX;
}

std::string DeviceName(const std::string& name) {
  return ComNumber(name, ComLetters::kAnyCase) > kHighestDosComPort
             ? std::string(kDeviceNamespace) + name
             : name;
}

std::vector<std::string> SortedPorts(std::vector<std::string> names) {
  // COM ports first by number (COM2 before COM10); a name that is no COMn counts as number
  // "infinity" and goes after them in byte order.
  const auto key = [](const std::string& name) {
    const int number = ComNumber(name, ComLetters::kAnyCase);
    return std::make_tuple(number == 0, number, name);
  };
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::string PortKey(const std::string& name) {
  std::string_view port = name;
  if (port.substr(0, kDeviceNamespace.size()) == kDeviceNamespace) {
    port.remove_prefix(kDeviceNamespace.size());
  }
  std::string key;
  for (const char c : port) {
    key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return key;
}

std::string LockName(const std::string& name) {
  std::string port = PortKey(name);
  // Object names take no backslash after the namespace.
  std::replace(port.begin(), port.end(), '\\', '/');
  return std::string(kLockPrefix) + port;
}

LineError ClassifyLineError(DWORD error) {
  const auto found =
      std::find_if(std::begin(kLineErrors), std::end(kLineErrors),
                   [error](const LineErrorClass& row) { return row.error == error; });
  return found != std::end(kLineErrors) ? found->kind : LineError::kClearAndRetry;
}

}  // namespace velmar::platform
