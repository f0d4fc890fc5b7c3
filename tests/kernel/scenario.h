#pragma once
// The kernel harness's scenarios, one row each: a load by velmar-load in the guest, on a port
// of the guest's own drivers, into a velmar-printer on the host; what is done to it at the
// printer's mark of a block; how it must end; what follows it.
//
// The printer is paced at the loader's rate. It checks the rate the tool's side set on its
// pseudo-terminal, which QEMU rounds to a standard termios rate (the smallest at or above 10/11
// of the device's: 7200 shows as 9600, 14400 as 19200), so the row says what it can see there,
// and separately the exact rate QEMU's emulated device was set to by the guest's driver.

#include <cstdint>
#include <string>
#include <vector>

namespace velmar::test {

enum class Port {
  kUart,     // /dev/ttyS2, 8250 on a 16550A
  kAdapter,  // /dev/ttyUSB0, ftdi_sio on QEMU's FTDI adapter
  kNoUart,   // /dev/ttyS3: a node with no UART behind it
};

// What happens at the printer's mark of block `at_block`.
enum class During {
  kNothing,
  kReadLatency,       // ftdi_sio's latency_timer must show 1, and its old value after the load
  kSecondLoader,      // another loader on the same port must be refused
  kUnplug,            // the adapter goes; the loss to the load's end is measured
  kUnplugUntilRetry,  // the adapter goes and comes back once the loader retries
  kInterrupt,         // SIGINT to the loader
};

// What follows the row's load; a load that follows must succeed.
enum class After {
  kNothing,
  kLoadAgain,           // at once, on the same port
  kReplugAndLoadAgain,  // the adapter goes and comes back first
};

struct Moment {
  During what = During::kNothing;
  int32_t at_block = 0;  // the printer's mark that sets it off
};

// How the row's load must end.
struct Outcome {
  int exit_status = 0;
  const char* key = "loaded";  // printer_end's key in the JSON stream
  const char* text = nullptr;  // a line of standard error holds it
  int32_t attempts = 1;        // 0 for a port that never opened
};

struct Scenario {
  const char* name;
  Port port;
  int32_t baud;         // the loader's -b
  const char* file;     // under the samples folder: short/, six/ or long/
  int32_t tool_rate;    // what the printer finds on the tool's side; 0: no printer
  int32_t device_rate;  // what the emulated device ran at, from QEMU's trace
  Moment moment = {};
  Outcome outcome = {};
  After after = After::kNothing;
  std::vector<std::string> options = {};  // more for the loader
};

const std::vector<Scenario>& Scenarios();

class KernelGuest;

// One scenario row, run in the shared guest under GoogleTest's expectations.
//
// Principles of operation: the row's printer starts on the line its port leads to, on the
// master the test holds (--line-fd), once what the tool sent after the last row's printer had
// gone is read away; QEMU's trace is marked; the loader starts in the guest; at the printer's
// mark of the row's block the row's moment is acted out; the loader's end (exit status, its
// JSON printer_end, standard error) is held against the row, and what follows is run. Then the
// printer must end having complained of nothing (a wrong rate on the tool's side included),
// with the file's image when the last load succeeded, and the trace must end with the row's
// exact device rate. Stray loaders are killed and the adapter plugged back whatever happened,
// so that the next row finds the guest as the boot left it. Times worth reporting (the loss of
// the port to the load's end, a signal to the end, the row) are printed as "[ measured ]".
void RunScenario(KernelGuest& guest, const Scenario& scenario);

}  // namespace velmar::test
