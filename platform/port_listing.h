#pragma once
// The serial ports of this machine with what is known of each: the one listing that the
// loader's --list-ports, the windows' port lists and the ports' details share.
//
// Principles of operation: Linux reads sysfs (/sys/class/tty), never opening a port, since
// opening raises DTR and resets some controllers. A tty is a port only when a device stands
// behind it (virtual consoles and pseudo-terminals have none), and an 8250 node whose UART type
// is unknown (0) is left out: the driver makes such nodes for every legacy address, most with
// nothing there. USB details come from the nearest USB device above the tty's interface. The
// /dev/serial/by-id link that udev made for a port, if any, is found by resolving each link.
// Windows reads the registry's port list. Ports come in natural order: ttyUSB2 before ttyUSB10,
// COM2 before COM10.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::platform {

struct PortDetails {
  std::string name;           // what opens it: /dev/ttyUSB0, COM3
  std::string by_id;          // /dev/serial/by-id/… leading to it; empty: none
  std::string driver;         // ftdi_sio, cp210x, serial8250; empty: not known
  std::string description;    // the USB product's name, or the system's name for the port
  std::string manufacturer;   // the USB manufacturer's name
  std::string serial_number;  // the USB device's serial number
  int32_t vendor_id = -1;     // USB ids; -1 when the port is not on USB
  int32_t product_id = -1;
  int32_t latency_timer_ms = -1;  // an FTDI adapter's latency timer where it can be read; -1
  bool IsUsb() const { return vendor_id >= 0; }
};

// Where the Linux listing looks; tests point it at a tree of their own.
struct PortRoots {
  std::string sys = "/sys";
  std::string dev = "/dev";
};

std::vector<PortDetails> ListPortDetails();
std::vector<PortDetails> ListPortDetails(const PortRoots& roots);

// Compares names as a person counts: runs of digits by their value, the rest byte by byte.
bool NaturalLess(std::string_view left, std::string_view right);
// "0403:6001", or empty for a port not on USB.
std::string UsbIds(const PortDetails& port);
// One USB id as four hex digits ("0403"); empty for -1.
std::string UsbId(int32_t id);
// The details of the port `name` leads to (see PortIdentity); nullptr when none is listed.
const PortDetails* FindPort(const std::vector<PortDetails>& ports, const std::string& name);

// Whether the loader itself lowers an adapter's latency timer for the load (Linux); where it
// cannot, a timer above kSlowLatencyMs costs much of the line's speed.
bool LoaderLowersLatency();
inline constexpr int32_t kSlowLatencyMs = 2;

}  // namespace velmar::platform
