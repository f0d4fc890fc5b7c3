// velmar-load.exe --list-ports on USB adapters registered in the Ports class, as their drivers
// leave them: the device's "Device Parameters", its properties and its line in SERIALCOMM.

#include <windows.h>

#include <setupapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/wide_text_win32.h"
#include "texts/string_table.h"

namespace velmar::platform {
namespace {

constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const wchar_t* const kSerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct Adapter {
  std::string instance_id;
  std::string port;
  std::string friendly_name;
  std::string manufacturer;
  std::string service;
  DWORD latency_timer_ms;  // 0: the driver has no such setting
  std::string line;        // what --list-ports prints for it
  std::string json;        // and --list-ports --json
};

const std::string kSlow = texts::FormatText(texts::IDS_SLOW_LATENCY, "16");

// COM12 is registered first, so that the listing's order is its own.
const std::vector<Adapter> kAdapters = {
    {"FTDIBUS\\VID_0403+PID_6001+A10K3XYZA\\0000", "COM12", "USB Serial Port (COM12)", "FTDI",
     "FTSER2K", 16, "COM12\tUSB Serial Port (COM12), 0403:6001, serial A10K3XYZ, FTSER2K, " + kSlow,
     "{\"port\":\"COM12\",\"by_id\":null,\"driver\":\"FTSER2K\",\"description\":\"USB Serial Port "
     "(COM12)\",\"manufacturer\":\"FTDI\",\"serial_number\":\"A10K3XYZ\",\"vendor_id\":\"0403\","
     "\"product_id\":\"6001\",\"latency_timer_ms\":16,\"latency_warning\":\"" +
         kSlow + "\",\"access\":\"unknown\"}"},
    // A Prolific chip has no serial number: the instance id is made up, with '&'.
    {"USB\\VID_067B&PID_2303\\5&2C7A3F1&0&2", "COM3", "Prolific USB-to-Serial Comm Port (COM3)",
     "Prolific", "Ser2pl", 0, "COM3\tProlific USB-to-Serial Comm Port (COM3), 067b:2303, Ser2pl",
     "{\"port\":\"COM3\",\"by_id\":null,\"driver\":\"Ser2pl\",\"description\":\"Prolific "
     "USB-to-Serial Comm Port (COM3)\",\"manufacturer\":\"Prolific\",\"serial_number\":null,"
     "\"vendor_id\":\"067b\",\"product_id\":\"2303\",\"latency_timer_ms\":null,"
     "\"latency_warning\":null,\"access\":\"unknown\"}"},
};

bool SetText(HKEY key, const std::string& name, const std::string& text) {
  const std::wstring wide = Widen(text);
  return ::RegSetValueExW(key, Widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const std::string& text) {
  const std::wstring wide = Widen(text);
  return ::SetupDiSetDeviceRegistryPropertyW(
      set, device, property, reinterpret_cast<const BYTE*>(wide.c_str()),
      static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

class PortListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_set = ::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    ASSERT_NE(m_set, INVALID_HANDLE_VALUE);
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_SET_VALUE, nullptr, &m_serial_comm, nullptr),
              ERROR_SUCCESS);
    for (const Adapter& adapter : kAdapters) {
      SP_DEVINFO_DATA device{};
      device.cbSize = sizeof device;
      const std::wstring id = Widen(adapter.instance_id);
      // One left by an interrupted run goes first.
      if (::SetupDiOpenDeviceInfoW(m_set, id.c_str(), nullptr, 0, &device)) {
        ::SetupDiRemoveDevice(m_set, &device);
      }
      ASSERT_TRUE(::SetupDiCreateDeviceInfoW(m_set, id.c_str(), &kPortsClass, nullptr, nullptr, 0,
                                             &device) &&
                  ::SetupDiRegisterDeviceInfo(m_set, &device, 0, nullptr, nullptr, nullptr))
          << adapter.instance_id << ": " << ::GetLastError();
      m_devices.push_back(device);
      const HKEY key = ::SetupDiCreateDevRegKeyW(m_set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                 nullptr, nullptr);
      ASSERT_NE(key, INVALID_HANDLE_VALUE);
      EXPECT_TRUE(SetText(key, "PortName", adapter.port));
      if (adapter.latency_timer_ms != 0) {
        EXPECT_EQ(::RegSetValueExW(key, L"LatencyTimer", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&adapter.latency_timer_ms),
                                   sizeof(DWORD)),
                  ERROR_SUCCESS);
      }
      ::RegCloseKey(key);
      EXPECT_TRUE(SetProperty(m_set, &device, SPDRP_FRIENDLYNAME, adapter.friendly_name));
      EXPECT_TRUE(SetProperty(m_set, &device, SPDRP_MFG, adapter.manufacturer));
      EXPECT_TRUE(SetProperty(m_set, &device, SPDRP_SERVICE, adapter.service));
      EXPECT_TRUE(SetText(m_serial_comm, "\\Device\\Velmar" + adapter.port, adapter.port));
    }
  }
  void TearDown() override {
    for (SP_DEVINFO_DATA& device : m_devices) {
      EXPECT_TRUE(::SetupDiRemoveDevice(m_set, &device)) << ::GetLastError();
    }
    for (const Adapter& adapter : kAdapters) {
      ::RegDeleteValueW(m_serial_comm, Widen("\\Device\\Velmar" + adapter.port).c_str());
    }
    ::RegCloseKey(m_serial_comm);
    ::SetupDiDestroyDeviceInfoList(m_set);
  }

  HDEVINFO m_set = INVALID_HANDLE_VALUE;
  HKEY m_serial_comm = nullptr;
  std::vector<SP_DEVINFO_DATA> m_devices;
};

// The loader's standard output, its lines ending in "\n".
std::string ListPorts(const char* options) {
  std::string command = "\"Z:" + std::string(VELMAR_LOAD_EXE) + "\" --list-ports " + options;
  for (char& c : command) {
    c = c == '/' ? '\\' : c;
  }
  std::string out;
  FILE* pipe = ::_popen(command.c_str(), "r");
  char chunk[4096];
  for (size_t got; pipe != nullptr && (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
    out.append(chunk, got);
  }
  EXPECT_TRUE(pipe != nullptr && ::_pclose(pipe) == 0) << command;
  return out;
}

TEST_F(PortListingTest, ShowsWhatTheDriversLeft) {
  const std::string lines = "\n" + ListPorts("");
  const std::string json = ListPorts("--json");
  for (const Adapter& adapter : kAdapters) {
    EXPECT_NE(lines.find("\n" + adapter.line + "\n"), std::string::npos) << lines;
    EXPECT_NE(json.find(adapter.json + "\n"), std::string::npos) << json;
  }
  EXPECT_LT(lines.find("\nCOM3\t"), lines.find("\nCOM12\t")) << lines;
}

}  // namespace
}  // namespace velmar::platform
