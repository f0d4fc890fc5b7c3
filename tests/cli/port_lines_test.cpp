#include "cli/port_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmar::cli {
namespace {

using platform::PortAccess;
using platform::PortDetails;

PortDetails Adapter() {
  PortDetails port;
  port.name = "/dev/ttyUSB10";
  port.by_id = "/dev/serial/by-id/usb-FTDI_FT232R_A10-if00-port0";
  port.driver = "ftdi_sio";
  port.description = "FT232R \"USB\" UART";
  port.manufacturer = "FTDI";
  port.serial_number = "A10";
  port.vendor_id = 0x0403;
  port.product_id = 0x6001;
  port.latency_timer_ms = 16;
  return port;
}

TEST(PortLinesTest, NameThenATabThenWhatIsKnown) {
  PortDetails bare;
  bare.name = "/dev/ttyS0";
  struct Row {
    PortDetails port;
    PortAccess access;
    std::string line;
  };
  // clang-format off
  const std::vector<Row> rows = {
      {bare, PortAccess::kAllowed, "/dev/ttyS0"},
      {Adapter(), PortAccess::kUnknown,
       "/dev/ttyUSB10\tFT232R \"USB\" UART, 0403:6001, serial A10, ftdi_sio, "
       "/dev/serial/by-id/usb-FTDI_FT232R_A10-if00-port0"},
      {bare, PortAccess::kDenied,
       "/dev/ttyS0\tНет доступа к порту. Доступ дают права группы dialout."},
  };
  // clang-format on
  for (const Row& row : rows) {
    EXPECT_EQ(PortLine(row.port, row.access), row.line);
  }
  // The loader lowers the timer itself here, so there is nothing to advise.
  EXPECT_EQ(LatencyWarning(Adapter()), "");
}

TEST(PortLinesTest, JsonGivesEveryFieldAndNullForWhatIsNotKnown) {
  PortDetails bare;
  bare.name = "/dev/ttyS0";
  EXPECT_EQ(PortJson(bare, PortAccess::kUnknown),
            "{\"port\":\"/dev/ttyS0\",\"by_id\":null,\"driver\":null,\"description\":null,"
            "\"manufacturer\":null,\"serial_number\":null,\"vendor_id\":null,"
            "\"product_id\":null,\"latency_timer_ms\":null,\"latency_warning\":null,"
            "\"access\":\"unknown\"}");
  EXPECT_EQ(PortJson(Adapter(), PortAccess::kDenied),
            "{\"port\":\"/dev/ttyUSB10\",\"by_id\":\"/dev/serial/by-id/"
            "usb-FTDI_FT232R_A10-if00-port0\",\"driver\":\"ftdi_sio\",\"description\":"
            "\"FT232R \\\"USB\\\" UART\",\"manufacturer\":\"FTDI\",\"serial_number\":\"A10\","
            "\"vendor_id\":\"0403\",\"product_id\":\"6001\",\"latency_timer_ms\":16,"
            "\"latency_warning\":null,\"access\":\"denied\"}");
}

}  // namespace
}  // namespace velmar::cli
