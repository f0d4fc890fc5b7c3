#pragma once
// Debian's own kernel under QEMU (TCG), its serial devices on pseudo-terminals the test holds.
//
// Principles of operation: Boot starts qemu-system-x86_64 with the installed kernel whose
// modules exist, the initramfs given and 256 MiB, and wires:
//   ttyS0    the kernel's console, into a file that only ConsoleTail reads (for a failure)
//   ttyS1    the control line, on the pseudo-terminal `control`
//   ttyS2    a 16550A UART, on `uart`
//   ttyS3    nothing: 8250 makes the node with no UART behind it
//   ttyUSB0  QEMU's FTDI adapter "a1" (serial SN1) on xHCI port 1, on `adapter`
//   ttyUSB1  a second one, "a2" (serial SN7) on port 2, on `adapter2`
// The test holds the masters for the whole boot, so that each line outlives every printer run
// on it (a master that closes hangs QEMU's chardev up for good). QEMU's chardev sets the host
// end to the nearest standard rate at or above 10/11 of the device's, so the exact rate the
// guest's driver gave the emulated device is read from QEMU's trace instead (DeviceRates).
// Unplug and Plug drive an adapter through the human monitor on a unix socket; Plug may give
// it another serial number, which makes it a new adapter to the guest.
//   KernelRelease  the newest /boot/vmlinuz-* with /lib/modules of its own; empty: none.
//   TraceMark      where the trace ends now; DeviceRates reads what was logged after a mark.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/support/pty_pair.h"

namespace velmar::test {

enum class Device { kUart, kAdapter };

struct UsbAdapter {
  const char* id;
  const char* chardev;
  const char* xhci_port;
  const char* serial;  // the boot's
  const char* node;    // while the adapters are plugged in in their order
};
inline constexpr UsbAdapter kAdapters[] = {{"a1", "f1", "1", "SN1", "/dev/ttyUSB0"},
                                           {"a2", "f2", "2", "SN7", "/dev/ttyUSB1"}};
inline constexpr size_t kAdapterCount = std::size(kAdapters);

struct MachineLines {
  PtyPair* control;
  PtyPair* uart;
  PtyPair* adapters[kAdapterCount];
};

class QemuMachine {
 public:
  explicit QemuMachine(std::filesystem::path dir) : m_dir(std::move(dir)) {}

  static std::string KernelRelease();

  // QEMU is ended after `lifetime` whatever becomes of the test.
  bool Boot(const std::string& release, const std::string& initramfs, const MachineLines& lines,
            std::chrono::seconds lifetime);
  // False when the monitor refused or did not answer; *answer holds what it said.
  bool Unplug(size_t adapter, std::string* answer);
  bool Plug(size_t adapter, const std::string& serial, std::string* answer);
  // Gives QEMU `grace` to end by itself (the guest powering off), then ends it.
  void Stop(std::chrono::milliseconds grace);

  std::uintmax_t TraceMark() const;
  std::vector<int32_t> DeviceRates(Device device, std::uintmax_t mark) const;
  std::string ConsoleTail(size_t lines) const;
  const std::string& Failure() const { return m_failure; }

 private:
  bool Monitor(const std::string& command, std::string* answer);

  std::filesystem::path m_dir;
  ChildProcess m_qemu;
  bool m_running = false;
  std::string m_failure;
};

}  // namespace velmar::test
