#pragma once
// The loader's command line.
//   velmar-load [-p|--port NAME] [-b|--baud N] [--trace] FILE
//   velmar-load --host HOST --tcp-port N [--trace] FILE
//   velmar-load --info FILE | --list-ports | --help
// ParseOptions never exits: it returns the parsed options or a usage error text.

#include <chrono>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace velmar::cli {

enum class Command { kLoad, kInfo, kListPorts, kHelp };

struct Target {
  std::string port;  // a serial port; empty for TCP
  std::string host;  // set for a TCP connection
  int32_t tcp_port = 0;
  bool IsTcp() const { return !host.empty(); }
  std::string Name() const;  // the port, or HOST:PORT ([v6]:PORT)
};

struct Options {
  Command command = Command::kLoad;
  std::vector<Target> targets;  // in the order given; empty: the window's saved port
  std::optional<int32_t> baud_rate;
  std::string ports_from;  // --ports-from FILE ("-" standard input); empty: none
  bool trace = false;
  std::string trace_dir;  // empty: standard error
  bool json = false;
  int32_t retries = 0;
  std::chrono::milliseconds wait{0};
  std::string file;
};

struct ParseResult {
  std::optional<Options> options;
  std::string error;  // set when options is empty
};

ParseResult ParseOptions(const std::vector<std::string>& arguments);
std::string AddPortList(std::istream& in, Options* options);
const char* UsageText();

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCannotOpenFile = 3;
inline constexpr int kExitBadFile = 4;
inline constexpr int kExitPortUnavailable = 5;
// Several printers: at least one was not loaded (each printer's own result is in the summary).
inline constexpr int kExitSomeFailed = 6;
// A failure notification ends the loader with its number minus this.
inline constexpr int kNotificationExitBase = 1024;

}  // namespace velmar::cli
