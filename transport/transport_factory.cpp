#include "transport/transport_factory.h"

#include "transport/serial_transport.h"
#include "transport/socket_transport.h"

namespace velmar::transport {

std::unique_ptr<Transport> MakeTransport(ReceiveSink* owner, const std::string& connection_type,
                                         const std::string& host, int32_t port_number,
                                         const std::string& port_name, int32_t baud_rate) {
  if (connection_type == kSerialConnectionType) {
    return std::make_unique<SerialTransport>(owner, port_name, baud_rate);
  }
  return std::make_unique<SocketTransport>(owner, host, port_number);
}

}  // namespace velmar::transport
