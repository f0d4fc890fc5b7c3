// The command lines of the loader and of the emulator on any arguments.
//
// Input: a selector byte (bit 0 clear: velmar-load's ParseOptions; set: velmar-printer's), then
// the arguments separated by NUL bytes, at most kMaxArguments of them.
//
// Beside the sanitizers: a parse ends in options or in a reason, never both or neither, and
// options that are accepted are options the program can run with.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "emulator/options.h"
#include "emulator/protocol.h"
#include "fuzz/check.h"
#include "fuzz/fuzz_input.h"

namespace velmar::fuzz {
namespace {

constexpr size_t kMaxArguments = 64;
constexpr int32_t kMaxTcpPort = 65535;
constexpr uint32_t kMaxStart = 0x1FFFF;
constexpr int32_t kMaxBaud = 4000000;

bool Among(const std::vector<std::string>& arguments, const std::string& text) {
  return std::find(arguments.begin(), arguments.end(), text) != arguments.end();
}

void Loader(const std::vector<std::string>& arguments) {
  const cli::ParseResult parsed = cli::ParseOptions(arguments);
  Check(parsed.options.has_value() == parsed.error.empty(), "options or a reason, not both");
  if (!parsed.options) {
    return;
  }
  const cli::Options& o = *parsed.options;
  if (o.command == cli::Command::kHelp || o.command == cli::Command::kVersion ||
      o.command == cli::Command::kListPorts) {
    return;
  }
  Check(Among(arguments, o.file), "the file is one of the arguments");
  Check(!o.baud_rate || *o.baud_rate > 0, "a baud rate is positive");
  Check(o.retries >= 0 && o.wait.count() >= 0, "retries and waiting are not negative");
  bool all_tcp = !o.targets.empty();
  for (auto it = o.targets.begin(); it != o.targets.end(); ++it) {
    Check(it->IsTcp() ? it->port.empty() && it->tcp_port >= 1 && it->tcp_port <= kMaxTcpPort
                      : !it->port.empty() && it->tcp_port == 0,
          "a printer is a named port or a host with its TCP port");
    Check(std::none_of(o.targets.begin(), it,
                       [&](const cli::Target& t) { return t.Name() == it->Name(); }),
          "each printer once");
    all_tcp = all_tcp && it->IsTcp();
  }
  Check(!o.ports_from.empty() || !all_tcp || !o.baud_rate, "TCP has no serial settings");
}

void Printer(const std::vector<std::string>& arguments) {
  emulator::Options o;
  std::string error;
  const emulator::ParseResult result = emulator::ParseOptions(arguments, &o, &error);
  Check((result == emulator::ParseResult::kUsageError) == !error.empty(),
        "a usage error and only a usage error has a reason");
  if (result != emulator::ParseResult::kOk) {
    return;
  }
  const int places = static_cast<int>(!o.link.empty()) + static_cast<int>(!o.com_port.empty()) +
                     static_cast<int>(o.tcp.has_value()) + static_cast<int>(o.line_fd >= 0);
  Check(places == 1, "one place to serve");
  Check(o.line_fd < 0 || (o.line_fd >= 3 && o.line_fd <= 1023),
        "an inherited line is no standard stream");
  Check(!o.tcp || o.tool_rate == 0, "a rate to check needs a pseudo-terminal");
  Check(!o.tcp || !o.tcp->host.empty(), "a TCP endpoint has a host");
  Check(o.loader.model.size() <= emulator::protocol::kMaxModelName, "the model name fits");
  Check(o.loader.start <= kMaxStart, "the start address fits the first reply");
  Check(o.baud >= 0 && o.baud <= kMaxBaud, "a pacing rate is in range");
  Check(o.loads >= 0, "a load count is not negative");
  const emulator::Fault& fault = o.loader.fault;
  Check(fault.kind == emulator::FaultKind::kNone ||
            emulator::MakeFault(fault.kind, fault.block, fault.reply).has_value(),
        "a fault is one the loader can commit");
}

}  // namespace
}  // namespace velmar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmar::fuzz;
  FuzzInput input(data, size);
  const bool printer = (input.Byte() & 1) != 0;
  const std::vector<std::string> arguments = input.Split(kMaxArguments);
  if (printer) {
    Printer(arguments);
  } else {
    Loader(arguments);
  }
  return 0;
}
