#include "cli/options.h"

#include <charconv>
#include <cstdlib>
#include <cstdint>
#include <istream>
#include <string>

#include "platform/serial_line.h"

namespace velmar::cli {

namespace {

constexpr int32_t kMaxTcpPort = 65535;

std::optional<int32_t> ParsePositive(const std::string& text, int32_t max) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0 || value > max) {
    return std::nullopt;
  }
  return value;
}

// Interim: the parser proper comes on getopt_long.
std::optional<std::string> g_host;
std::optional<int32_t> g_tcp_port;
std::string CheckConnection(Options& options) {
  if (g_host.has_value() != g_tcp_port.has_value()) {
    return g_host ? "--host needs --tcp-port" : "--tcp-port needs --host";
  }
  if (g_host) {
    options.targets.push_back({"", *g_host, *g_tcp_port});
  }
  return {};
}

}  // namespace

const char* UsageText() {
  // Built once: how ports are named is the system's.
  static const std::string text =
      std::string(
          "usage: velmar-load [-p|--port NAME] [-b|--baud N] [--trace] FILE\n"
          "       velmar-load --host HOST --tcp-port N [--trace] FILE\n"
          "       velmar-load --info FILE\n"
          "       velmar-load --list-ports\n"
          "\n"
          "Loads a controller program (*.bin) or a font (*.fnt) into a printer over a serial\n"
          "line or a TCP connection, block by block, checking every echo.\n"
          "\n"
          "  -p, --port NAME  serial port: ") +
      platform::PortNameHint() +
      "; default: the window's\n"
      "                   saved port, else COM1\n"
      "  -b, --baud N     baud rate; default: the window's saved rate, else 115200\n"
      "      --host HOST  load over TCP instead: the printer's host name or address\n"
      "      --tcp-port N and its TCP port, 1 to 65535; both or neither, never with -p or -b\n"
      "      --trace      every frame sent (>) and received (<), in hex with a timestamp,\n"
      "                   on standard error\n"
      "      --info FILE  what the file holds, without sending anything\n"
      "      --list-ports the ports that exist, one a line\n"
      "  -h, --help       this text\n"
      "\n"
      "Over TCP, a printer that closes the connection shows ERROR #4 and the load ends\n"
      "by the time-out.\n"
      "\n"
      "Exit status: 0 loaded; 2 usage; 3 the file cannot be opened; 4 not a valid data\n"
      "file; 5 the port cannot be opened or the connection cannot be made; 10 no answer\n"
      "in time; 11 controller model not supported; 12 the program is for another model;\n"
      "13 error in a received packet; 14 error in a received command; 15 wrong address\n"
      "echoed; 16 wrong size echoed; 17 data integrity error; 18 no data to load;\n"
      "19 integrity error in a received packet; 20 wrong data echoed; 130 or 143\n"
      "interrupted (SIGINT) or told to stop (SIGTERM), after closing the port.\n";
  return text.c_str();
}

std::string Target::Name() const {
  return IsTcp() ? host + ":" + std::to_string(tcp_port) : port;
}

std::string AddPortList(std::istream& in, Options* options) {
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') {
      options->targets.push_back({line, "", 0});
    }
  }
  return {};
}

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
  g_host.reset();
  g_tcp_port.reset();
  Options options;
  std::vector<std::string> files;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= arguments.size()) {
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    std::string text;
    if (arg == "-h" || arg == "--help") {
      options.command = Command::kHelp;
      return {options, {}};
    } else if (arg == "-p" || arg == "--port") {
      if (!value(&text) || text.empty()) {
        return {std::nullopt, arg + " needs a port name"};
      }
      options.targets.push_back({text, "", 0});
    } else if (arg == "-b" || arg == "--baud") {
      if (!value(&text)) {
        return {std::nullopt, arg + " needs a baud rate"};
      }
      options.baud_rate = ParsePositive(text, INT32_MAX);
      if (!options.baud_rate) {
        return {std::nullopt, "not a baud rate: " + text};
      }
    } else if (arg == "--host") {
      if (!value(&text) || text.empty()) {
        return {std::nullopt, arg + " needs a host name or address"};
      }
      g_host = text;
    } else if (arg == "--tcp-port") {
      if (!value(&text)) {
        return {std::nullopt, arg + " needs a port number"};
      }
      g_tcp_port = ParsePositive(text, kMaxTcpPort);
      if (!g_tcp_port) {
        return {std::nullopt, "not a TCP port from 1 to 65535: " + text};
      }
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--retries") {
      value(&text);
      options.retries = std::atoi(text.c_str());
    } else if (arg == "--wait") {
      value(&text);
      options.wait = std::chrono::milliseconds(std::atoi(text.c_str()) * 1000);
    } else if (arg == "--trace-dir") {
      value(&text);
      options.trace = true;
      options.trace_dir = text;
    } else if (arg == "--trace") {
      options.trace = true;
    } else if (arg == "--info") {
      options.command = Command::kInfo;
    } else if (arg == "--list-ports") {
      options.command = Command::kListPorts;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return {std::nullopt, "unknown option: " + arg};
    } else {
      files.push_back(arg);
    }
  }
  if (options.command == Command::kListPorts) {
    return files.empty() ? ParseResult{options, {}}
                         : ParseResult{std::nullopt, "--list-ports takes no file"};
  }
  if (const std::string conflict = CheckConnection(options); !conflict.empty()) {
    return {std::nullopt, conflict};
  }
  if (files.size() != 1) {
    return {std::nullopt, files.empty() ? "no file given" : "give one file"};
  }
  options.file = files.front();
  return {options, {}};
}

}  // namespace velmar::cli
