#pragma once
// One printer on a serial device server: the same program loaded into the emulated printer
// straight over TCP and through Debian's ser2net in front of its pseudo-terminal, raw and
// telnet with RFC 2217, with ser2net's own delay before it passes the device's bytes on
// (chardelay) off and at its default.
//
// Principles of operation: each row is one velmar-load run, timed from its start to its end,
// set against the time the printer's line needed for every byte both ways (the emulator's
// report); the printer's own time of the load, from the wake-up to the last frame, leaves the
// connection's set-up out. ser2net comes from tests/ser2net/ser2net_server.h, one run per row.
// VELMAR_SER2NET_BENCH_ALL=1 adds the rows with TCP_NODELAY on ser2net's side too.

namespace velmar::bench {

// Prints the table; false when a load failed or a printer or ser2net did not start. Without
// ser2net it says so and returns true. `quick` runs one small program at 115200.
bool RunSer2netRows(bool quick);

}  // namespace velmar::bench
