#pragma once
// The loader's command line.
//   velmar-load [-p PORT]... [--host H --tcp-port N]... [--ports-from FILE|-] [-b N]
//               [--retries N] [--wait SECONDS] [--json] [--trace [--trace-dir DIR]]
//               [--record FILE] [--color[=WHEN]] FILE
//   velmar-load --station [-p PATTERN]... [-b N] [--retries N] [--json] [--trace-dir DIR]
//               [--record FILE] [--color[=WHEN]] FILE
//   velmar-load --info FILE | --list-ports | --help | --version
//
// Principles of operation: ParseOptions runs getopt_long (glibc, or the mingw-w64 runtime) over
// the arguments, silenced and reset on every call so that it can be called again, and never
// exits nor prints: it returns the parsed options or a usage error text. getopt keeps its state
// in globals, so one thread parses at a time. Options and file names come in any order; "--"
// ends the options. ParseOptions never reads files: the --ports-from list is read by its caller
// and handed to AddPortList, which checks the whole set of printers again.

#include <chrono>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/colour.h"

namespace velmar::cli {

enum class Command { kLoad, kStation, kInfo, kListPorts, kHelp, kVersion };

// One printer to load: a serial port, or a TCP connection, which may lead to a serial device
// server's port that the loader sets up (rfc2217://HOST:PORT).
struct Target {
  std::string port;  // a serial port; empty for TCP
  std::string host;  // set for a TCP connection
  int32_t tcp_port = 0;
  bool com_port = false;  // the server's port control sets the line (RFC 2217)
  std::string url;        // rfc2217://… or socket://… as written; empty when not named so
  static Target Serial(std::string name) {
    Target target;
    target.port = std::move(name);
    return target;
  }
  static Target Tcp(std::string name, int32_t number) {
    Target target;
    target.host = std::move(name);
    target.tcp_port = number;
    return target;
  }
  bool IsTcp() const { return !host.empty(); }
  std::string HostPort() const;  // HOST:PORT ([v6]:PORT)
  std::string Name() const;      // the URL as written, the port, or HOST:PORT
};

struct Options {
  Command command = Command::kLoad;
  std::vector<Target> targets;       // in the order given; empty: the window's saved port (a
                                     // station: every USB serial port); a station's are patterns
  std::optional<int32_t> baud_rate;  // one rate for every serial port and rfc2217:// port
  std::string ports_from;            // --ports-from FILE ("-" standard input); empty: none
  bool trace = false;
  std::string trace_dir;  // --trace-dir DIR; empty: standard error
  bool json = false;
  std::string record;                     // --record FILE; empty: none
  int32_t retries = 0;                    // --retries N, 0..1000
  std::chrono::milliseconds wait{0};      // --wait SECONDS (decimal, e.g. 2.5); 0: no waiting
  ColourWhen colour = ColourWhen::kAuto;  // --color[=WHEN]; bare --color: always
  std::string file;
};

struct ParseResult {
  std::optional<Options> options;
  std::string error;  // set when options is empty
};

ParseResult ParseOptions(const std::vector<std::string>& arguments);
// Adds the port list's entries to options->targets: one a line, surrounding blanks trimmed,
// empty lines and lines starting with '#' skipped; HOST:PORT (PORT all digits, [v6]:PORT) and
// socket://HOST:PORT are TCP targets, rfc2217://HOST:PORT a serial device server's port,
// anything else a serial port. Returns an error text (a port named twice, a bad
// line with its number, a combination the whole set refuses), empty when all is well.
std::string AddPortList(std::istream& in, Options* options);
const char* UsageText();
// A usage error as the loader tells it: what was wrong, then where the usage is.
std::string UsageError(const std::string& error);
int FailureStatus(uint32_t notification);

// Exit statuses; FailureStatus gives a failure notification's.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCannotOpenFile = 3;
inline constexpr int kExitBadFile = 4;
inline constexpr int kExitPortUnavailable = 5;
// Several printers: at least one was not loaded (each printer's own result is in the summary).
inline constexpr int kExitSomeFailed = 6;
// A failure notification ends the loader with its number minus this (10 to 20), but for a
// connection lost mid-load, whose message lies apart from the others.
inline constexpr int kNotificationExitBase = 1024;
inline constexpr int kExitPortLost = 21;

}  // namespace velmar::cli
