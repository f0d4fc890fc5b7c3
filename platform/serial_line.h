#pragma once
// The serial line: one open port, raw 8N1, no flow control, DTR and RTS on.
//
// Principles of operation: Open claims the port exclusively (a second opener fails with kBusy)
// and sets the line exactly at the given rate; every rate of the window's list, 7200 and 14400
// included, is set exactly. It asks the driver for low-latency reception where it has such a
// setting, and Close puts the setting back. Modem-control requests that the device does not
// support (a pseudo-terminal, a USB gadget) are skipped. Read never waits for bytes that are
// not queued. WaitForInput blocks the reception thread until input is queued or Wake is called;
// once the other end has hung up it stops watching the line, so the thread sleeps instead of
// spinning until Wake. Wake also ends a Write that waits for room, a Pause and an AwaitInput.
//
// Open discards what is queued from before and then waits for a quiet line: until nothing has
// arrived for kQuietTime (or eight bytes' line time, if longer: 33.3 ms at 2400), discarding
// whatever does, for at most kQuietLimit. A printer still answering a tool that died mid-load
// would otherwise have its answer taken for the reply to the new load's wake-up.
//
// The line is lost once the other end hangs up or the device goes away (a USB adapter pulled),
// as the first wait, read, write or queue count to meet it finds; Lost() then stays true until
// the next Open, and a write gives up at once. A line that merely takes nothing is not lost.
//
// Close first lets what was written leave: it waits until the driver's queue is empty and the
// line has had the time its rate needs for the bytes written last; at most the longer of the
// line time of what is queued and of the last write, plus kDrainMargin, and not at all once
// the line is lost. Then it drops DTR, flushes both queues and releases the port; the
// destructor closes.
//
// Thread use: the reception thread calls WaitForInput, AwaitInput, Pause, QueuedInput and Read; one
// thread at a time calls Write, WriteByte and AwaitSent; Wake and Lost are safe from any thread;
// Open and Close run while no other thread uses the line. After a failed Open the line is closed
// and nothing is held.
//
// One implementation per system: serial_line_posix.cpp (termios, Linux's exact rates and
// low-latency mode) and serial_line_win32.cpp (a COM port with overlapped I/O; there Close
// drops DTR and purges both queues the same way, Pause is good to the millisecond, and
// AwaitInput is one read of the missing bytes, which ends when the last of them arrives). The
// quiet line, the drain and AwaitSent are written once, in serial_line_timing.cpp.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmar::platform {

enum class SerialOpenResult {
  kOk,
  kNoDevice,         // the name names nothing that can be opened
  kNoHardware,       // the name is a port, but no device answers behind it (a ttyS without a UART)
  kAccessDenied,     // the user may not open the device
  kBusy,             // another opener holds the port (on Windows also: access denied)
  kSettingsRefused,  // the device refused the line settings, or the rate is 0
  kSystemFailure,    // the system could not give what a line needs (an event, a descriptor)
};

enum class SerialWait {
  kInput,   // bytes are queued
  kWoken,   // Wake was called
  kHungUp,  // the other end hung up; later waits watch only for Wake
};

class SerialLine {
 public:
  static constexpr std::chrono::milliseconds kWriteRoomTimeout{2000};
  // What Close allows beyond the line time of the queued bytes, for the device's own buffer.
  static constexpr std::chrono::milliseconds kDrainMargin{100};
  static constexpr std::chrono::milliseconds kQuietTime{20};
  static constexpr std::chrono::milliseconds kQuietLimit{1500};

  SerialLine();
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // `name` is a device path, a name under /dev, or "COMn" (see ResolvePortName).
  SerialOpenResult Open(const std::string& name, int32_t baud_rate);
  bool IsOpen() const;
  void Close();
  // The system's error number behind the last failed Open (errno, GetLastError); 0 when the
  // system reported none (a rate of 0, a rate the driver silently changed).
  int OpenError() const;

  // Bytes queued for reading now; 0 on failure.
  int32_t QueuedInput();
  // Reads at most `capacity` of the queued bytes without waiting; 0 on failure or when none.
  int32_t Read(uint8_t* buffer, int32_t capacity);
  // Writes the bytes in order, waiting at most kWriteRoomTimeout each time the driver has no
  // room; returns how many went, fewer on failure, time-out or Wake.
  int32_t Write(const uint8_t* data, int32_t length);
  bool WriteByte(uint8_t byte);
  // Waits until the driver holds none of what was written, at most the line time of what it
  // holds plus kDrainMargin: true once it is empty, even if the other end hangs up right after
  // (a driver with no queue, such as a pty, is empty at once); false when the line was lost while
  // bytes were still queued, or they had not gone by then.
  bool AwaitSent();
  // True once the other end hung up or the device went away, as a wait, read, write or queue
  // count found; until the next Open. Safe from any thread.
  bool Lost() const;

  // How long one byte (start bit, 8 data bits, stop bit) takes on the open line.
  std::chrono::nanoseconds ByteTime() const;

  SerialWait WaitForInput();
  // Lets `count` bytes gather in the input: returns once they are queued, or when the line time
  // of the missing ones has passed (at most `limit`), whichever comes first where the system
  // can tell; false when Wake ended it. Reads nothing away: Read hands out what came.
  bool AwaitInput(int32_t count, std::chrono::nanoseconds limit);
  // Sleeps for `span` unless woken first; false when Wake ended it.
  bool Pause(std::chrono::nanoseconds span);
  // Ends the current or next WaitForInput with kWoken; stays in effect until ClearWake.
  void Wake();
  void ClearWake();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// The name to open for a port name. POSIX: "COMn" becomes the link ports/COMn in the user's
// configuration folder when that link exists, else /dev/ttyS<n-1>; a name containing "/" is
// returned unchanged, as is an empty one; any other name is a device under /dev ("ttyUSB0"
// becomes /dev/ttyUSB0). Windows: COMn are the system's own names and stay as
// they are, except that COM10 and above, which exist only in the device namespace, become
// "\\.\COMn".
std::string ResolvePortName(const std::string& name);
// Equal for two names of one device (a device path and a link to it, say), different for two
// devices. POSIX: the device number (or, for what is no device, file system and inode) of the
// name ResolvePortName gives, and for a name that names nothing that name itself. Windows: the
// COM name upper-cased, without "\\.\".
std::string PortIdentity(const std::string& name);
// Ports that exist. POSIX: serial device paths, /dev/serial/by-id names and the COMn links.
// Windows: the COM ports the registry lists (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), by number.
std::vector<std::string> ListPorts();
enum class PortAccess { kAllowed, kDenied, kUnknown };
// Whether the user may open the port (see ResolvePortName) for reading and writing, asked
// without opening it: opening a port raises DTR, which resets some controllers, and would
// disturb a load another program runs on it. POSIX asks the file's permissions (kUnknown for a
// name that names nothing); Windows cannot tell without opening and says kUnknown.
PortAccess CheckPortAccess(const std::string& name);
// The group whose members may open serial ports ("dialout"), for a hint when access is denied;
// empty where no group grants it (Windows).
const char* PortAccessGroup();
// How port names are taken here, for a help text: one phrase, whose line breaks are followed
// by 19 spaces, so that it lines up in the loader's option list.
const char* PortNameHint();

}  // namespace velmar::platform
