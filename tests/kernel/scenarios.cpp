#include "tests/kernel/scenario.h"

namespace velmar::test {

namespace {

constexpr const char* kLost = "Связь с принтером потеряна";
constexpr Outcome kPortLost{21, "port_lost", kLost};
constexpr Outcome kInterrupted{130, "interrupted"};

}  // namespace

// name, port, loader's rate, file, rate the printer sees, rate the device ran at,
// {what at which block}, {exit status, key, text, attempts}, what follows, more options
const std::vector<Scenario>& Scenarios() {
  // One row a line, as far as it fits.
  // clang-format off
  static const std::vector<Scenario> table = {
      // Byte for byte through both drivers at both usual rates.
      {"ProgramOnUartAt9600", Port::kUart, 9600, "short/sample.bin", 9600, 9600},
      {"FontOnUartAt9600", Port::kUart, 9600, "short/sample.fnt", 9600, 9600},
      {"ProgramOnUartAt115200", Port::kUart, 115200, "long/sample.bin", 115200, 115200},
      {"FontOnUartAt115200", Port::kUart, 115200, "long/sample.fnt", 115200, 115200},
      {"ProgramOnAdapterAt9600", Port::kAdapter, 9600, "short/sample.bin", 9600, 9600},
      {"FontOnAdapterAt9600", Port::kAdapter, 9600, "short/sample.fnt", 9600, 9600},
      // 3 MHz / 26, the FTDI divisor nearest 115200, as a real FT232 runs.
      {"ProgramOnAdapterAt115200", Port::kAdapter, 115200, "long/sample.bin", 115200, 115384},
      {"FontOnAdapterAt115200", Port::kAdapter, 115200, "long/sample.fnt", 115200, 115384},
      // Divisors 16 and 8 of the UART's 115200: exact there, a standard rate up on the host end.
      {"ProgramOnUartAt7200", Port::kUart, 7200, "short/sample.bin", 9600, 7200},
      {"FontOnUartAt14400", Port::kUart, 14400, "short/sample.fnt", 19200, 14400},

      {"LowLatencyWhileLoading", Port::kAdapter, 9600, "six/sample.bin", 9600, 9600,
       {During::kReadLatency, 2}},
      {"SecondLoaderRefused", Port::kUart, 9600, "six/sample.bin", 9600, 9600,
       {During::kSecondLoader, 2}},
      {"NoUartBehindTtyS3", Port::kNoUart, 9600, "short/sample.bin", 0, 0, {},
       {5, "port_unavailable", "/dev/ttyS3: За этим портом нет устройства (Input/output error).", 0}},

      // Pulled at the first, a middle and the last block: the load ends at once.
      {"AdapterRemovedAtFirstBlock", Port::kAdapter, 9600, "six/sample.bin", 9600, 9600,
       {During::kUnplug, 1}, kPortLost},
      {"AdapterRemovedAtMiddleBlock", Port::kAdapter, 9600, "six/sample.bin", 9600, 9600,
       {During::kUnplug, 3}, kPortLost},
      {"AdapterRemovedAtLastBlock", Port::kAdapter, 9600, "six/sample.bin", 9600, 9600,
       {During::kUnplug, 6}, kPortLost},
      {"AdapterReplugedBetweenLoads", Port::kAdapter, 115200, "long/sample.fnt", 115200, 115384,
       {}, {}, After::kReplugAndLoadAgain},
      {"RetriedOnceTheAdapterCameBack", Port::kAdapter, 9600, "six/sample.bin", 9600, 9600,
       {During::kUnplugUntilRetry, 2}, {0, "loaded", nullptr, 2}, After::kNothing,
       {"--retries", "2", "--wait", "60"}},

      // Ctrl+C: the port is closed properly, and the next loader opens it at once.
      {"InterruptedOnAdapter", Port::kAdapter, 9600, "six/sample.bin", 9600, 9600,
       {During::kInterrupt, 2}, kInterrupted, After::kLoadAgain},
  };
  // clang-format on
  return table;
}

}  // namespace velmar::test
