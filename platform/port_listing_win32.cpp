#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <string>

#include "platform/port_listing.h"
#include "platform/serial_line.h"
#include "platform/wide_text_win32.h"

namespace velmar::platform {

namespace {

// The Ports (COM and LPT) device class, from devguid.h, written out so that no import library
// must define it.
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::wstring Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t text[512] = {};
  DWORD type = 0;
  if (!::SetupDiGetDeviceRegistryPropertyW(
          set, &device, property, &type, reinterpret_cast<BYTE*>(text), sizeof text - 2, nullptr) ||
      type != REG_SZ) {
    return {};
  }
  return text;
}

// The hex number after `key` ("VID_") in an instance id; -1 when there is none.
int32_t IdAfter(const std::wstring& id, const wchar_t* key) {
  const size_t at = id.find(key);
  if (at == std::wstring::npos || at + 8 > id.size()) {
    return -1;
  }
  const std::wstring digits = id.substr(at + 4, 4);
  if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), ::iswxdigit)) {
    return -1;
  }
  return static_cast<int32_t>(std::wcstol(digits.c_str(), nullptr, 16));
}

// The serial number an instance id carries: USB\VID_0403&PID_6001\A10K3XYZ, or FTDI's own bus,
// FTDIBUS\VID_0403+PID_6001+A10K3XYZA\0000 (its last letter names the port of the chip).
std::string SerialOf(const std::wstring& id) {
  if (id.rfind(L"USB\\", 0) == 0) {
    const size_t last = id.rfind(L'\\');
    const std::wstring serial = id.substr(last + 1);
    // Windows makes up an id with '&' for a device that has no serial number.
    return serial.find(L'&') == std::wstring::npos ? Narrow(serial) : std::string();
  }
  if (id.rfind(L"FTDIBUS\\", 0) == 0) {
    const size_t plus = id.rfind(L'+');
    const size_t slash = id.rfind(L'\\');
    if (plus != std::wstring::npos && slash != std::wstring::npos && slash > plus + 2) {
      return Narrow(id.substr(plus + 1, slash - plus - 2));
    }
  }
  return {};
}

void ReadDeviceParameters(HDEVINFO set, SP_DEVINFO_DATA& device, PortDetails* port) {
  const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) {
    return;
  }
  wchar_t name[64] = {};
  DWORD size = sizeof name - 2;
  DWORD type = 0;
  if (::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) ==
          ERROR_SUCCESS &&
      type == REG_SZ) {
    port->name = Narrow(name);
  }
  DWORD latency = 0;
  size = sizeof latency;
  if (::RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&latency),
                         &size) == ERROR_SUCCESS &&
      type == REG_DWORD) {
    port->latency_timer_ms = static_cast<int32_t>(latency);
  }
  ::RegCloseKey(key);
}

// The Ports class's devices, with what the device manager knows of each.
std::vector<PortDetails> PortsClass() {
  std::vector<PortDetails> ports;
  const HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) {
    return ports;
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    PortDetails port;
    ReadDeviceParameters(set, device, &port);
    if (port.name.empty()) {
      continue;  // no port name; printer ports (LPT1) go below, SERIALCOMM lists none
    }
    port.description = Narrow(Property(set, device, SPDRP_FRIENDLYNAME));
    port.manufacturer = Narrow(Property(set, device, SPDRP_MFG));
    port.driver = Narrow(Property(set, device, SPDRP_SERVICE));
    wchar_t id[512] = {};
    if (::SetupDiGetDeviceInstanceIdW(set, &device, id, 511, nullptr)) {
      const std::wstring instance(id);
      port.vendor_id = IdAfter(instance, L"VID_");
      port.product_id = IdAfter(instance, L"PID_");
      if (port.vendor_id < 0 || port.product_id < 0) {
        port.vendor_id = port.product_id = -1;
      } else {
        port.serial_number = SerialOf(instance);
      }
    }
    ports.push_back(std::move(port));
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return ports;
}

}  // namespace

// The registry's port list is the whole truth of which ports exist; the Ports class adds what
// it knows of those it has.
std::vector<PortDetails> ListPortDetails(const PortRoots&) {
  const std::vector<PortDetails> known = PortsClass();
  std::vector<PortDetails> ports;
  for (std::string& name : ListPorts()) {
    const auto found = std::find_if(known.begin(), known.end(), [&](const PortDetails& port) {
      return PortIdentity(port.name) == PortIdentity(name);
    });
    PortDetails port = found != known.end() ? *found : PortDetails{};
    port.name = std::move(name);
    ports.push_back(std::move(port));
  }
  return ports;
}

bool LoaderLowersLatency() {
  return false;
}

}  // namespace velmar::platform
