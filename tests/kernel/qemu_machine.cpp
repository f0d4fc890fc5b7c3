#include "tests/kernel/qemu_machine.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <deque>
#include <fstream>
#include <thread>

namespace velmar::test {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kMonitorDeadline = std::chrono::seconds(10);
constexpr auto kPlugRetry = std::chrono::milliseconds(50);
constexpr const char* kPrompt = "(qemu) ";

// One event per device kind, and what precedes the rate on its line.
struct RateEvent {
  const char* event;
  const char* before_rate;
};
constexpr RateEvent kUartEvent{"serial_update_parameters", "baudrate="};
constexpr RateEvent kAdapterEvent{"usb_serial_set_baud", "baud rate "};

// Reads from `fd` into *text until it ends with the prompt; false at the deadline or an end.
bool ReadToPrompt(int fd, std::string* text, Clock::time_point until) {
  while (!text->ends_with(kPrompt)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    pollfd ready{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      return false;
    }
    char buffer[1024];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) {
      return false;
    }
    text->append(buffer, static_cast<size_t>(got));
  }
  return true;
}

std::string AdapterDevice(size_t adapter, const std::string& serial) {
  const UsbAdapter& a = kAdapters[adapter];
  return std::string("usb-serial,chardev=") + a.chardev + ",id=" + a.id +
         ",bus=xhci.0,port=" + a.xhci_port + ",serial=" + serial;
}

}  // namespace

std::string QemuMachine::KernelRelease() {
  std::vector<std::string> releases;
  std::error_code failure;
  for (const auto& entry : std::filesystem::directory_iterator("/boot", failure)) {
    const std::string name = entry.path().filename().string();
    const std::string release = name.substr(std::strlen("vmlinuz-"));
    if (name.starts_with("vmlinuz-") && std::filesystem::is_directory("/lib/modules/" + release)) {
      releases.push_back(release);
    }
  }
  if (releases.empty()) {
    return {};
  }
  return *std::max_element(releases.begin(), releases.end(), [](const auto& a, const auto& b) {
    return ::strverscmp(a.c_str(), b.c_str()) < 0;
  });
}

bool QemuMachine::Boot(const std::string& release, const std::string& initramfs,
                       const MachineLines& lines, std::chrono::seconds lifetime) {
  const std::string kernel = "/boot/vmlinuz-" + release;
  if (!std::ifstream(kernel)) {
    m_failure = kernel + " cannot be read (it is root's on Debian)";
    return false;
  }
  const auto path = [this](const char* name) { return (m_dir / name).string(); };
  std::filesystem::remove(path("monitor.sock"));
  // timeout(1) ends QEMU even when the test itself is killed; SIGTERM to it reaches QEMU.
  std::vector<std::string> argv = {"/usr/bin/timeout", "--kill-after=10",
                                   std::to_string(lifetime.count()), "/usr/bin/qemu-system-x86_64"};
  const std::vector<std::vector<std::string>> options = {
      {"-accel", "tcg"},
      {"-m", "256"},
      {"-nodefaults"},
      {"-no-user-config"},
      {"-display", "none"},
      {"-no-reboot"},
      {"-kernel", kernel},
      {"-initrd", initramfs},
      {"-append", "console=ttyS0,115200 rdinit=/init panic=-1"},
      {"-serial", "file:" + path("console.log")},
      {"-chardev", "serial,id=ctl,path=" + lines.control->SlavePath()},
      {"-serial", "chardev:ctl"},
      {"-chardev", "serial,id=u1,path=" + lines.uart->SlavePath()},
      {"-serial", "chardev:u1"},
      {"-device", "qemu-xhci,id=xhci"},
      {"-monitor", "unix:" + path("monitor.sock") + ",server,nowait"},
      {"-trace", kUartEvent.event},
      {"-trace", kAdapterEvent.event},
      {"-D", path("trace.log")},
  };
  for (const auto& option : options) {
    argv.insert(argv.end(), option.begin(), option.end());
  }
  for (size_t i = 0; i < kAdapterCount; ++i) {
    const std::string chardev = std::string("serial,id=") + kAdapters[i].chardev + ",path=";
    argv.insert(argv.end(), {"-chardev", chardev + lines.adapters[i]->SlavePath(), "-device",
                             AdapterDevice(i, kAdapters[i].serial)});
  }
  m_running = m_qemu.Start(argv);
  if (!m_running) {
    m_failure = "qemu-system-x86_64 did not start (is qemu-system-x86 installed?)";
  }
  return m_running;
}

bool QemuMachine::Monitor(const std::string& command, std::string* answer) {
  answer->clear();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (m_dir / "monitor.sock").string();
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const auto until = Clock::now() + kMonitorDeadline;
  std::string text;
  bool done = fd >= 0 &&
              ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
              ReadToPrompt(fd, &text, until);
  if (done) {
    const std::string line = command + "\n";
    text.clear();
    done = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
           ReadToPrompt(fd, &text, until);
  }
  if (fd >= 0) {
    ::close(fd);
  }
  *answer = text;
  return done && text.find("Error") == std::string::npos;
}

bool QemuMachine::Unplug(size_t adapter, std::string* answer) {
  return Monitor(std::string("device_del ") + kAdapters[adapter].id, answer);
}

bool QemuMachine::Plug(size_t adapter, const std::string& serial, std::string* answer) {
  // QEMU lets go of the old adapter's chardev a moment after device_del has returned.
  const auto until = Clock::now() + kMonitorDeadline;
  while (!Monitor("device_add " + AdapterDevice(adapter, serial), answer)) {
    if (answer->find("is in use") == std::string::npos || Clock::now() > until) {
      return false;
    }
    std::this_thread::sleep_for(kPlugRetry);
  }
  return true;
}

void QemuMachine::Stop(std::chrono::milliseconds grace) {
  if (!m_running) {
    return;
  }
  m_running = false;
  // The output pipes end once QEMU and timeout(1) have; a signal to what has ended does nothing.
  m_qemu.WaitUntil([] { return false; }, grace);
  m_qemu.Signal(SIGTERM);
  m_qemu.Wait(kMonitorDeadline);
}

std::uintmax_t QemuMachine::TraceMark() const {
  std::error_code failure;
  const std::uintmax_t size = std::filesystem::file_size(m_dir / "trace.log", failure);
  return failure ? 0 : size;
}

std::vector<int32_t> QemuMachine::DeviceRates(Device device, std::uintmax_t mark) const {
  const RateEvent& wanted = device == Device::kUart ? kUartEvent : kAdapterEvent;
  std::ifstream in(m_dir / "trace.log");
  in.seekg(static_cast<std::streamoff>(mark));
  std::vector<int32_t> rates;
  for (std::string line; std::getline(in, line);) {
    const size_t event = line.find(wanted.event);
    const size_t rate = line.find(wanted.before_rate, event == std::string::npos ? 0 : event);
    if (event != std::string::npos && rate != std::string::npos) {
      rates.push_back(std::atoi(line.c_str() + rate + std::strlen(wanted.before_rate)));
    }
  }
  return rates;
}

std::string QemuMachine::ConsoleTail(size_t count) const {
  std::ifstream in(m_dir / "console.log");
  std::deque<std::string> tail;
  for (std::string line; std::getline(in, line);) {
    tail.push_back(line);
    if (tail.size() > count) {
      tail.pop_front();
    }
  }
  std::string text;
  for (const std::string& line : tail) {
    text += line + "\n";
  }
  return text;
}

}  // namespace velmar::test
