#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/port_listing.h"

namespace velmar::platform {

namespace {

namespace fs = std::filesystem;

// A sysfs attribute's first line; empty when it cannot be read.
std::string Attribute(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

int32_t HexAttribute(const fs::path& path) {
  const std::string text = Attribute(path);
  if (text.empty() || text.size() > 4 ||
      text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return -1;
  }
  return static_cast<int32_t>(std::stoul(text, nullptr, 16));
}

void AddUsbDetails(const fs::path& device, const fs::path& sys, PortDetails* port) {
  std::error_code error;
  const fs::path root = fs::weakly_canonical(sys, error);
  // The tty's device is the interface's port (usb-serial) or the interface (cdc_acm); the USB
  // device with its ids is the nearest folder above that has them.
  for (fs::path folder = device;
       !folder.empty() && folder != root && folder != folder.parent_path();
       folder = folder.parent_path()) {
    if (!fs::exists(folder / "idVendor", error)) {
      continue;
    }
    port->vendor_id = HexAttribute(folder / "idVendor");
    port->product_id = HexAttribute(folder / "idProduct");
    if (port->vendor_id < 0 || port->product_id < 0) {
      port->vendor_id = port->product_id = -1;
      return;
    }
    port->serial_number = Attribute(folder / "serial");
    port->description = Attribute(folder / "product");
    port->manufacturer = Attribute(folder / "manufacturer");
    return;
  }
}

}  // namespace

std::vector<PortDetails> ListPortDetails(const PortRoots& roots) {
  std::vector<PortDetails> ports;
  std::error_code error;
  const fs::path dev(roots.dev);
  for (const auto& entry : fs::directory_iterator(fs::path(roots.sys) / "class/tty", error)) {
    const fs::path tty = entry.path();
    const std::string name = tty.filename().string();
    // One lstat first: most entries are virtual, and resolving a path is many system calls.
    if (!fs::is_symlink(tty / "device", error)) {
      error.clear();
      continue;
    }
    const fs::path device = fs::canonical(tty / "device", error);
    if (error) {
      error.clear();
      continue;  // a virtual console or a pseudo-terminal: nothing stands behind it
    }
    const std::string type = Attribute(tty / "type");
    if (type == "0") {
      continue;  // an 8250 node with no UART at its address
    }
    if (!fs::exists(fs::symlink_status(dev / name, error))) {
      continue;
    }
    PortDetails port;
    port.name = (dev / name).string();
    const fs::path driver = fs::canonical(device / "driver", error);
    if (!error) {
      port.driver = driver.filename().string();
    }
    error.clear();
    AddUsbDetails(device, roots.sys, &port);
    const std::string latency = Attribute(device / "latency_timer");
    if (!latency.empty() && latency.size() < 4 &&
        latency.find_first_not_of("0123456789") == std::string::npos) {
      port.latency_timer_ms = std::stoi(latency);
    }
    ports.push_back(std::move(port));
  }
  std::vector<fs::path> links;
  for (const auto& entry : fs::directory_iterator(dev / "serial/by-id", error)) {
    links.push_back(entry.path());
  }
  std::sort(links.begin(), links.end());  // one port's two links: always the same one shown
  for (const fs::path& link : links) {
    const fs::path target = fs::canonical(link, error);
    if (error) {
      error.clear();
      continue;
    }
    for (PortDetails& port : ports) {
      if (port.by_id.empty() && fs::equivalent(target, port.name, error)) {
        port.by_id = link.string();
      }
      error.clear();
    }
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortDetails& a, const PortDetails& b) { return NaturalLess(a.name, b.name); });
  return ports;
}

bool LoaderLowersLatency() {
  return true;
}

}  // namespace velmar::platform
