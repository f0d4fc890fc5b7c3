#include "platform/port_listing.h"
#include "platform/port_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

namespace velmar::platform {
namespace {

namespace fs = std::filesystem;

// A sysfs and /dev laid out as the kernel and udev lay them out for each kind of port.
class FakeMachine {
 public:
  FakeMachine()
      : m_root(fs::temp_directory_path() / ("velmar-ports-" + std::to_string(::getpid()))),
        m_sys(m_root / "sys"),
        m_dev(m_root / "dev") {
    fs::remove_all(m_root);
    fs::create_directories(m_sys / "class/tty");
    fs::create_directories(m_dev / "serial/by-id");
    fs::create_directories(m_sys / "bus/usb-serial/drivers");
  }
  ~FakeMachine() {
    std::error_code error;
    fs::remove_all(m_root, error);
  }
  PortRoots Roots() const { return {m_sys.string(), m_dev.string()}; }

  // A USB adapter: the USB device (ids), its interface, the tty's device below it.
  void Usb(const std::string& tty, const std::string& driver, const std::string& ids,
           const std::string& serial, bool port_below_interface) {
    const fs::path usb = m_sys / "devices/pci0000:00/usb1" / ("1-" + tty);
    Write(usb / "idVendor", ids.substr(0, 4));
    Write(usb / "idProduct", ids.substr(5));
    if (!serial.empty()) {
      Write(usb / "serial", serial);
    }
    Write(usb / "product", "Adapter " + tty);
    Write(usb / "manufacturer", "Maker");
    const fs::path interface = usb / "1-1:1.0";
    Device(tty, port_below_interface ? interface / tty : interface, driver);
  }
  // A tty whose device is `device`, bound to `driver`; its /dev node exists unless told.
  void Device(const std::string& tty, const fs::path& device, const std::string& driver,
              bool node = true) {
    fs::create_directories(device);
    fs::create_directories(m_sys / "drivers" / driver);
    fs::create_directory_symlink(m_sys / "drivers" / driver, device / "driver");
    fs::create_directories(m_sys / "class/tty" / tty);
    fs::create_directory_symlink(device, m_sys / "class/tty" / tty / "device");
    if (node) {
      Write(m_dev / tty, "");
    }
  }
  void Virtual(const std::string& tty) {
    fs::create_directories(m_sys / "class/tty" / tty);
    Write(m_dev / tty, "");
  }
  void TtyAttribute(const std::string& tty, const std::string& name, const std::string& value) {
    Write(m_sys / "class/tty" / tty / name, value);
  }
  void DeviceAttribute(const std::string& tty, const std::string& name, const std::string& value) {
    Write(m_sys / "class/tty" / tty / "device" / name, value);
  }
  void ById(const std::string& link, const std::string& tty) {
    fs::create_symlink("../../" + tty, m_dev / "serial/by-id" / link);
  }

 private:
  static void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
  }

  fs::path m_root;
  fs::path m_sys;
  fs::path m_dev;
};

TEST(PortListingTest, ListsPortsWithADeviceInNaturalOrderWithTheirDetails) {
  FakeMachine machine;
  machine.Usb("ttyUSB10", "ftdi_sio", "0403:6001", "A10", true);
  machine.DeviceAttribute("ttyUSB10", "latency_timer", "16");
  machine.ById("usb-Maker_Adapter_A10-if00-port0", "ttyUSB10");
  machine.ById("usb-Maker_Adapter_A10-if00-port0-alias", "ttyUSB10");
  machine.Usb("ttyUSB2", "cp210x", "10c4:ea60", "", true);
  machine.Usb("ttyACM0", "cdc_acm", "2341:0043", "55", false);
  machine.Device("ttyS0", machine.Roots().sys + "/devices/pnp0/00:04", "serial");
  machine.TtyAttribute("ttyS0", "type", "4");
  machine.Device("ttyS3", machine.Roots().sys + "/devices/platform/serial8250", "serial8250");
  machine.TtyAttribute("ttyS3", "type", "0");  // no UART at its address
  machine.Virtual("tty1");
  machine.Usb("ttyUSB5", "ftdi_sio", "0403:6015", "GONE", true);
  fs::remove(machine.Roots().dev + "/ttyUSB5");  // unplugged while sysfs was read

  const std::string dev = machine.Roots().dev + "/";
  struct Row {
    std::string name, by_id, driver, ids, serial, description;
    int32_t latency;
  };
  // clang-format off
  const std::vector<Row> rows = {
      {dev + "ttyACM0",  "", "cdc_acm", "2341:0043", "55", "Adapter ttyACM0", -1},
      {dev + "ttyS0",    "", "serial", "", "", "", -1},
      {dev + "ttyUSB2",  "", "cp210x", "10c4:ea60", "", "Adapter ttyUSB2", -1},
      {dev + "ttyUSB10", dev + "serial/by-id/usb-Maker_Adapter_A10-if00-port0", "ftdi_sio",
       "0403:6001", "A10", "Adapter ttyUSB10", 16},
  };
  // clang-format on
  const std::vector<PortDetails> ports = ListPortDetails(machine.Roots());
  ASSERT_EQ(ports.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(ports[i].name, rows[i].name);
    EXPECT_EQ(ports[i].by_id, rows[i].by_id);
    EXPECT_EQ(ports[i].driver, rows[i].driver);
    EXPECT_EQ(UsbIds(ports[i]), rows[i].ids);
    EXPECT_EQ(ports[i].serial_number, rows[i].serial);
    EXPECT_EQ(ports[i].description, rows[i].description);
    EXPECT_EQ(ports[i].latency_timer_ms, rows[i].latency);
  }
  EXPECT_EQ(FindPort(ports, ports[3].by_id), &ports[3]);
  EXPECT_EQ(FindPort(ports, dev + "ttyUSB5"), nullptr);
  EXPECT_TRUE(ListPortDetails({"/nonexistent/sys", "/nonexistent/dev"}).empty());
}

TEST(PortListingTest, NaturalOrderCountsDigitRunsByValue) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> less = {
      {"ttyUSB2", "ttyUSB10"}, {"COM9", "COM10"}, {"ttyACM9", "ttyS0"}, {"COM1", "COM01a"},
      {"ttyUSB", "ttyUSB0"}, {"a2b3", "a2b10"}, {"x007", "x8"},
  };
  // clang-format on
  for (const auto& [left, right] : less) {
    EXPECT_TRUE(NaturalLess(left, right)) << left << " < " << right;
    EXPECT_FALSE(NaturalLess(right, left)) << right << " !< " << left;
  }
  EXPECT_FALSE(NaturalLess("ttyUSB1", "ttyUSB1"));
}

// Each step changes the watched folder (or nothing) and says what the next Wait must give.
TEST(PortWatchTest, NamesThatComeOrGoEndTheWaitAndNothingElseDoes) {
  const fs::path root = fs::temp_directory_path() / ("velmar-watch-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  const fs::path later = root / "later";  // not there when the watch starts
  PortWatch watch({root.string(), later.string()});
  EXPECT_NE(watch.Sources(), "polling");
  struct Step {
    const char* what;
    std::function<void()> act;
    PortWatchWait expected;
  };
  constexpr auto kLong = std::chrono::seconds(20);
  // clang-format off
  const std::vector<Step> steps = {
      {"nothing", [] {}, PortWatchWait::kTimedOut},
      {"a link appears", [&] { fs::create_symlink("/dev/null", root / "printer0"); },
       PortWatchWait::kChanged},
      {"it goes", [&] { fs::remove(root / "printer0"); }, PortWatchWait::kChanged},
      {"a missing folder comes", [&] { fs::create_directory(later); }, PortWatchWait::kChanged},
      {"a name in it", [&] { std::ofstream(later / "ttyX"); }, PortWatchWait::kChanged},
      {"woken", [&] { watch.Wake(); }, PortWatchWait::kWoken},
  };
  // clang-format on
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    const auto limit =
        step.expected == PortWatchWait::kTimedOut ? std::chrono::milliseconds(200) : kLong;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(watch.Wait(limit), step.expected);
    if (step.expected != PortWatchWait::kTimedOut) {
      EXPECT_LT(std::chrono::steady_clock::now() - start, kLong / 2);
    }
    // What one change raised more than once is taken before the next step.
    for (int i = 0; i < 10 && step.expected == PortWatchWait::kChanged &&
                    watch.Wait(std::chrono::milliseconds(50)) == PortWatchWait::kChanged;
         ++i) {
    }
  }
  fs::remove_all(root);
}

}  // namespace
}  // namespace velmar::platform
