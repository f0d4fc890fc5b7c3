#pragma once
// Chooses a run's transport by its connection type: exactly "RS-232" selects the serial port,
// anything else the network transport.

#include <cstdint>
#include <memory>
#include <string>

#include "transport/transport.h"

namespace velmar::transport {

inline constexpr const char* kSerialConnectionType = "RS-232";

std::unique_ptr<Transport> MakeTransport(ReceiveSink* owner, const std::string& connection_type,
                                         const std::string& host, int32_t port_number,
                                         const std::string& port_name, int32_t baud_rate);

}  // namespace velmar::transport
