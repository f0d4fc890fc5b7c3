#include "transport/transport_factory.h"

#include "transport/serial_transport.h"

namespace velmar::transport {

namespace {
// Stands in for the network transport until it exists: it never opens, so the window reports
// the connection as unavailable instead of loading.
class UnavailableTransport final : public Transport {
 public:
  bool IsOpen() const override { return false; }
  bool OpenConnection() override { return false; }
  bool CloseConnection() override { return false; }
  bool Write(const uint8_t*, int32_t) override { return false; }
  int32_t Read(uint8_t*, int32_t) override { return 0; }
};
}  // namespace

std::unique_ptr<Transport> MakeTransport(ReceiveSink* owner, const std::string& connection_type,
                                         const std::string& /*host*/, int32_t /*port_number*/,
                                         const std::string& port_name, int32_t baud_rate) {
  if (connection_type == kSerialConnectionType) {
    return std::make_unique<SerialTransport>(owner, port_name, baud_rate);
  }
  return std::make_unique<UnavailableTransport>();
}

}  // namespace velmar::transport
