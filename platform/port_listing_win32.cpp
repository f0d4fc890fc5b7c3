#include "platform/port_listing.h"
#include "platform/serial_line.h"

namespace velmar::platform {

// The registry's port list names each port and nothing more of it.
std::vector<PortDetails> ListPortDetails(const PortRoots&) {
  std::vector<PortDetails> ports;
  for (std::string& name : ListPorts()) {
    PortDetails port;
    port.name = std::move(name);
    ports.push_back(std::move(port));
  }
  return ports;
}

bool LoaderLowersLatency() {
  return false;
}

}  // namespace velmar::platform
