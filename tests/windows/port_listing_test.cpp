// velmar-load.exe --list-ports on USB adapters registered in the Ports class as their drivers
// leave them: "Device Parameters", the device's properties and its line in SERIALCOMM.

#include <windows.h>

#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "texts/string_table.h"

namespace velmar::test {
namespace {

constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct Adapter {
  const wchar_t* instance_id;
  const wchar_t* port;
  const wchar_t* friendly_name;
  const wchar_t* manufacturer;
  const wchar_t* service;
  DWORD latency_timer_ms;  // 0: the driver keeps none
  std::string line;        // what --list-ports prints for it
  std::string json;        // the end of its --json line
};

const std::string kSlow = texts::FormatText(texts::IDS_SLOW_LATENCY, "16");

// COM12 comes first in the registry, so that the listing's order is its own. A Prolific chip
// has no serial number: Windows makes up its instance id, with '&'.
const std::vector<Adapter> kAdapters = {
    {L"FTDIBUS\\VID_0403+PID_6001+A10K3XYZA\\0000", L"COM12", L"USB Serial Port (COM12)", L"FTDI",
     L"FTSER2K", 16,
     "COM12\tUSB Serial Port (COM12), 0403:6001, serial A10K3XYZ, FTSER2K, " + kSlow,
     "\"manufacturer\":\"FTDI\",\"serial_number\":\"A10K3XYZ\",\"vendor_id\":\"0403\",\"product_"
     "id\":\"6001\",\"latency_timer_ms\":16,\"latency_warning\":\"" +
         kSlow + "\",\"access\":\"unknown\"}"},
    {L"USB\\VID_067B&PID_2303\\5&2C7A3F1&0&2", L"COM3", L"Prolific USB-to-Serial (COM3)",
     L"Prolific", L"Ser2pl", 0, "COM3\tProlific USB-to-Serial (COM3), 067b:2303, Ser2pl",
     "\"manufacturer\":\"Prolific\",\"serial_number\":null,\"vendor_id\":\"067b\",\"product_id\":"
     "\"2303\",\"latency_timer_ms\":null,\"latency_warning\":null,\"access\":\"unknown\"}"},
};

const BYTE* Bytes(const void* data) {
  return static_cast<const BYTE*>(data);
}
DWORD Size(const wchar_t* text) {  // with the terminating null
  return static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
}

class PortListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_set = ::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &m_comm, nullptr),
              ERROR_SUCCESS);
    for (const Adapter& a : kAdapters) {
      SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
      // One left by an interrupted run goes first, through a set of its own: under Wine a
      // removed device stays in its set, where no device of its id can then be made.
      const HDEVINFO leftovers = ::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
      if (::SetupDiOpenDeviceInfoW(leftovers, a.instance_id, nullptr, 0, &device)) {
        ::SetupDiRemoveDevice(leftovers, &device);
      }
      ::SetupDiDestroyDeviceInfoList(leftovers);
      ASSERT_TRUE(::SetupDiCreateDeviceInfoW(m_set, a.instance_id, &kPortsClass, nullptr, nullptr,
                                             0, &device) &&
                  ::SetupDiRegisterDeviceInfo(m_set, &device, 0, nullptr, nullptr, nullptr))
          << ::GetLastError();
      m_devices.push_back(device);
      const HKEY key = ::SetupDiCreateDevRegKeyW(m_set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                 nullptr, nullptr);
      ASSERT_NE(key, INVALID_HANDLE_VALUE);
      ::RegSetValueExW(key, L"PortName", 0, REG_SZ, Bytes(a.port), Size(a.port));
      if (a.latency_timer_ms != 0) {
        ::RegSetValueExW(key, L"LatencyTimer", 0, REG_DWORD, Bytes(&a.latency_timer_ms), 4);
      }
      ::RegCloseKey(key);
      for (const auto& [property, text] : {std::pair{SPDRP_FRIENDLYNAME, a.friendly_name},
                                           {SPDRP_MFG, a.manufacturer},
                                           {SPDRP_SERVICE, a.service}}) {
        EXPECT_TRUE(
            ::SetupDiSetDeviceRegistryPropertyW(m_set, &device, property, Bytes(text), Size(text)));
      }
      // SERIALCOMM's value names are the drivers' own; the listing reads only the data.
      ::RegSetValueExW(m_comm, a.service, 0, REG_SZ, Bytes(a.port), Size(a.port));
    }
  }
  void TearDown() override {
    for (size_t i = 0; i < m_devices.size(); ++i) {
      EXPECT_TRUE(::SetupDiRemoveDevice(m_set, &m_devices[i])) << ::GetLastError();
      ::RegDeleteValueW(m_comm, kAdapters[i].service);
    }
    ::RegCloseKey(m_comm);
    ::SetupDiDestroyDeviceInfoList(m_set);
  }

  HDEVINFO m_set = INVALID_HANDLE_VALUE;
  HKEY m_comm = nullptr;
  std::vector<SP_DEVINFO_DATA> m_devices;
};

// The loader's standard output, each line after a "\n".
std::string ListPorts(const char* options) {
  std::string command = "\"Z:" + std::string(VELMAR_LOAD_EXE) + "\" --list-ports " + options;
  for (char& c : command) {
    c = c == '/' ? '\\' : c;
  }
  std::string out = "\n";
  FILE* pipe = ::_popen(command.c_str(), "r");  // text mode: "\r\n" becomes "\n"
  char chunk[4096];
  for (size_t got; pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
    out.append(chunk, got);
  }
  EXPECT_TRUE(pipe != nullptr && ::_pclose(pipe) == 0) << command;
  return out;
}

TEST_F(PortListingTest, ShowsWhatTheDriversLeft) {
  const std::string lines = ListPorts("");
  const std::string json = ListPorts("--json");
  for (const Adapter& a : kAdapters) {
    EXPECT_NE(lines.find("\n" + a.line + "\n"), std::string::npos) << lines;
    EXPECT_NE(json.find(a.json + "\n"), std::string::npos) << json;
  }
  EXPECT_LT(lines.find("\nCOM3\t"), lines.find("\nCOM12\t")) << lines;
}

}  // namespace
}  // namespace velmar::test
