#pragma once
// The loader's command line.
//   velmar-load [-p|--port NAME] [-b|--baud N] [--trace] FILE
//   velmar-load --host HOST --tcp-port N [--trace] FILE
//   velmar-load --info FILE | --list-ports | --help
// ParseOptions never exits: it returns the parsed options or a usage error text.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmar::cli {

enum class Command { kLoad, kInfo, kListPorts, kHelp };

struct Options {
  Command command = Command::kLoad;
  std::optional<std::string> port;  // absent: the window's saved setting, else COM1
  std::optional<int32_t> baud_rate;
  // Both set: the load goes over TCP to this host and port instead of a serial line.
  std::optional<std::string> host;
  std::optional<int32_t> tcp_port;
  bool trace = false;
  std::string file;
};

struct ParseResult {
  std::optional<Options> options;
  std::string error;  // set when options is empty
};

ParseResult ParseOptions(const std::vector<std::string>& arguments);
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
