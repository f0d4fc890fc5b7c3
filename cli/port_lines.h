#pragma once
// The lines --list-ports writes: the port's name first, so that scripts that take the first
// field keep working, then a tab and what is known of it; or with --json one object a line with
// every field (null where nothing is known).
//   PortLine         "/dev/ttyUSB0\tFT232R USB UART, 0403:6001, serial A10, ftdi_sio, …"
//   PortJson         {"port":"/dev/ttyUSB0","by_id":…,"access":"allowed",…}
//   LatencyWarning   the advice for an adapter whose slow latency timer the loader cannot
//                    lower; empty when there is none to give.

#include <string>

#include "platform/port_listing.h"
#include "platform/serial_line.h"

namespace velmar::cli {

std::string PortLine(const platform::PortDetails& port, platform::PortAccess access);
std::string PortJson(const platform::PortDetails& port, platform::PortAccess access);
std::string LatencyWarning(const platform::PortDetails& port);

}  // namespace velmar::cli
