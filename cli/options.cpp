#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

#include "engine/load_notification.h"
#include "platform/command_line_text.h"
#include "platform/option_scanner.h"
#include "platform/serial_line.h"

namespace velmar::cli {

namespace {

constexpr int32_t kMaxTcpPort = 65535;
constexpr int32_t kMaxRetries = 1000;
constexpr double kMaxWaitSeconds = 86400;  // a day: longer is a mistake, not a plan
constexpr double kMillisecondsPerSecond = 1000;
constexpr char kBlanks[] = " \t\r";
constexpr char kCommentMark = '#';

enum OptionId {
  kPortId = 'p',
  kBaudId = 'b',
  kHelpId = 'h',
  kHostId = 256,  // past every short option's letter
  kTcpPortId,
  kPortsFromId,
  kRetriesId,
  kWaitId,
  kJsonId,
  kTraceId,
  kTraceDirId,
  kRecordId,
  kInfoId,
  kListPortsId,
  kStationId,
  kVersionId,
  kColorId,
};

const std::vector<platform::OptionRule>& Rules() {
  static const std::vector<platform::OptionRule> rules = {
      {kPortId, "port", 'p', true},        {kBaudId, "baud", 'b', true},
      {kHelpId, "help", 'h', false},       {kHostId, "host", 0, true},
      {kTcpPortId, "tcp-port", 0, true},   {kPortsFromId, "ports-from", 0, true},
      {kRetriesId, "retries", 0, true},    {kWaitId, "wait", 0, true},
      {kJsonId, "json", 0, false},         {kTraceId, "trace", 0, false},
      {kTraceDirId, "trace-dir", 0, true}, {kRecordId, "record", 0, true},
      {kInfoId, "info", 0, false},         {kListPortsId, "list-ports", 0, false},
      {kStationId, "station", 0, false},   {kVersionId, "version", 0, false},
      {kColorId, "color", 0, false, true},
  };
  return rules;
}

std::optional<int32_t> ParseNumber(const std::string& text, int32_t min, int32_t max) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !(seconds >= 0 && seconds <= kMaxWaitSeconds)) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(std::llround(seconds * kMillisecondsPerSecond));
}

// HOST:PORT with PORT all digits ([v6]:PORT) is a TCP target; nullopt: not that form at all;
// an error text: that form, but wrong.
std::optional<std::string> ReadTcpTarget(const std::string& text, Target* target) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size() ||
      !std::all_of(text.begin() + static_cast<ptrdiff_t>(colon) + 1, text.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return text.front() == '[' ? std::optional<std::string>("not [ADDRESS]:PORT: " + text)
                               : std::nullopt;
  }
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.empty() || host.find_first_of("[]:") != std::string::npos) {
    return "not HOST:PORT, an IPv6 address goes in brackets: " + text;
  }
  const auto port = ParseNumber(text.substr(colon + 1), 1, kMaxTcpPort);
  if (!port) {
    return "not a TCP port from 1 to 65535: " + text;
  }
  *target = Target::Tcp(host, *port);
  return std::string();
}

// rfc2217://HOST:PORT or socket://HOST:PORT; nullopt: not a URL at all; an error text: a URL,
// but wrong.
std::optional<std::string> ReadPortUrl(const std::string& text, Target* target) {
  const size_t separator = text.find("://");
  if (separator == std::string::npos) {
    return std::nullopt;
  }
  std::string scheme = text.substr(0, separator);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (scheme != "rfc2217" && scheme != "socket") {
    return "not a port URL (rfc2217://HOST:PORT or socket://HOST:PORT): " + text;
  }
  const std::string rest = text.substr(separator + 3);
  const auto bad = rest.empty() ? std::nullopt : ReadTcpTarget(rest, target);
  if (!bad) {
    return "not " + scheme + "://HOST:PORT: " + text;
  }
  if (!bad->empty()) {
    return *bad;
  }
  target->com_port = scheme == "rfc2217";
  target->url = text;
  return std::string();
}

// A port as -p or a port list names it: a URL, HOST:PORT where `host_port` allows it, or a
// serial port; an error text when it is refused.
std::string ReadPort(const std::string& text, bool host_port, Target* target) {
  *target = Target::Serial(text);
  if (const auto bad = ReadPortUrl(text, target)) {
    return *bad;
  }
  if (host_port) {
    if (const auto bad = ReadTcpTarget(text, target)) {
      return *bad;
    }
  }
  return {};
}

// What names one printer: a serial port's device, whatever the spelling (a by-id link, a bare
// tty name), or HOST:PORT.
std::string Identity(const Target& target) {
  return target.IsTcp() ? "tcp " + target.HostPort()
                        : "serial " + platform::PortIdentity(target.port);
}

// Why `target` may not join `others`; empty when it may.
std::string NamedTwice(const Target& target, std::span<const Target> others) {
  const std::string name = target.Name();
  const std::string identity = Identity(target);
  for (const Target& other : others) {
    if (other.Name() == name) {
      return "port named twice: " + name;
    }
    if (Identity(other) == identity) {
      return "port named twice: " + name + " is " + other.Name();
    }
  }
  return {};
}

// A station's ports are serial ports or patterns of them, each waited for as long as it runs.
std::string CheckStation(const Options& options) {
  if (!options.ports_from.empty() || std::any_of(options.targets.begin(), options.targets.end(),
                                                 [](const Target& t) { return t.IsTcp(); })) {
    return "--station takes serial ports and patterns (-p), not TCP connections or lists";
  }
  if (options.wait.count() > 0) {
    return "--station waits for each port as long as it runs: --wait has no meaning with it";
  }
  if (options.trace && options.trace_dir.empty()) {
    return "--trace with --station needs --trace-dir";
  }
  return {};
}

// Every printer once; the rate is for serial lines, the server's ones included; several traces
// go to files.
std::string CheckTargets(const Options& options) {
  const std::span<const Target> targets(options.targets);
  for (size_t i = 0; i < targets.size(); ++i) {
    if (std::string error = NamedTwice(targets[i], targets.first(i)); !error.empty()) {
      return error;
    }
  }
  if (options.baud_rate && !options.targets.empty() &&
      std::all_of(options.targets.begin(), options.targets.end(),
                  [](const Target& t) { return t.IsTcp() && !t.com_port; })) {
    return "a baud rate has no meaning over TCP";
  }
  if (options.trace && options.trace_dir.empty() && options.targets.size() > 1) {
    return "--trace with several printers needs --trace-dir";
  }
  return options.command == Command::kStation ? CheckStation(options) : "";
}

// Each --host pairs with a --tcp-port, whichever comes first.
class TcpPairs {
 public:
  void AddHost(std::string host, Options* options) {
    if (m_ports.empty()) {
      m_hosts.push_back(std::move(host));
      return;
    }
    options->targets.push_back(Target::Tcp(std::move(host), m_ports.front()));
    m_ports.pop_front();
  }
  void AddPort(int32_t port, Options* options) {
    if (m_hosts.empty()) {
      m_ports.push_back(port);
      return;
    }
    options->targets.push_back(Target::Tcp(std::move(m_hosts.front()), port));
    m_hosts.pop_front();
  }
  std::string Unpaired() const {
    return !m_hosts.empty()   ? "--host needs --tcp-port"
           : !m_ports.empty() ? "--tcp-port needs --host"
                              : "";
  }

 private:
  std::deque<std::string> m_hosts;
  std::deque<int32_t> m_ports;
};

// One option's effect; an error text when its value is refused.
std::string Apply(const platform::OptionScanner& scan, TcpPairs* pairs, Options* options) {
  const std::string& value = scan.Value();
  const std::string& name = scan.Spelling();
  switch (scan.Id()) {
    case kPortId: {
      if (value.empty()) {
        return name + " needs a port name";
      }
      Target target;
      std::string error = ReadPort(value, false, &target);
      if (error.empty()) {
        options->targets.push_back(std::move(target));
      }
      return error;
    }
    case kBaudId:
      options->baud_rate = ParseNumber(value, 1, INT32_MAX);
      return options->baud_rate ? "" : "not a baud rate: " + value;
    case kHostId:
      if (value.empty()) {
        return name + " needs a host name or address";
      }
      pairs->AddHost(value, options);
      return {};
    case kTcpPortId:
      if (const auto port = ParseNumber(value, 1, kMaxTcpPort)) {
        pairs->AddPort(*port, options);
        return {};
      }
      return "not a TCP port from 1 to 65535: " + value;
    case kPortsFromId:
      options->ports_from = value;
      return value.empty() ? name + " needs a file name, or - for standard input" : "";
    case kRetriesId:
      if (const auto retries = ParseNumber(value, 0, kMaxRetries)) {
        options->retries = *retries;
        return {};
      }
      return name + ": not a number from 0 to 1000: " + value;
    case kWaitId:
      if (const auto wait = ParseSeconds(value)) {
        options->wait = *wait;
        return {};
      }
      return name + ": not a number of seconds from 0 to 86400: " + value;
    case kJsonId:
      options->json = true;
      return {};
    case kRecordId:
      if (value.empty()) {
        return name + " needs a file";
      }
      options->record = value;
      return {};
    case kTraceDirId:
      if (value.empty()) {
        return name + " needs a folder";
      }
      options->trace_dir = value;
      options->trace = true;
      return {};
    case kTraceId:
      options->trace = true;
      return {};
    case kInfoId:
      options->command = Command::kInfo;
      return {};
    case kListPortsId:
      options->command = Command::kListPorts;
      return {};
    case kStationId:
      options->command = Command::kStation;
      return {};
    case kColorId:
      // Bare, as GNU ls: always.
      if (const auto when = value.empty() ? ColourWhen::kAlways : ParseColourWhen(value)) {
        options->colour = *when;
        return {};
      }
      return name + ": not auto, always or never: " + value;
  }
  return "unknown option: " + name;
}

std::string MissingValue(const platform::OptionScanner& scan) {
  const std::string& name = scan.Spelling();
  switch (scan.Id()) {
    case kPortId:
      return name + " needs a port name";
    case kBaudId:
      return name + " needs a baud rate";
    case kHostId:
      return name + " needs a host name or address";
    case kTcpPortId:
      return name + " needs a port number";
  }
  return name + " needs a value";
}

}  // namespace

std::string Target::Name() const {
  return !url.empty() ? url : IsTcp() ? HostPort() : port;
}

std::string Target::HostPort() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(tcp_port);
}

const char* UsageText() {
  // Built once: how ports are named is the system's.
  static const std::string text =
      std::string(
          "usage: velmar-load [-p PORT]... [--host HOST --tcp-port N]... [--ports-from FILE|-]\n"
          "                   [-b N] [--retries N] [--wait SECONDS] [--json]\n"
          "                   [--trace [--trace-dir DIR]] [--record FILE] [--color[=WHEN]]\n"
          "                   [--] FILE\n"
          "       velmar-load --station [-p PATTERN]... [-b N] [--retries N] [--json]\n"
          "                   [--trace-dir DIR] [--record FILE] [--color[=WHEN]] [--] FILE\n"
          "       velmar-load --info FILE\n"
          "       velmar-load --list-ports [--json]\n"
          "       velmar-load --help | --version\n"
          "\n"
          "Loads a controller program (*.bin) or a font (*.fnt) into one printer or several at\n"
          "once, over serial lines or TCP connections, block by block, checking every echo.\n"
          "\n"
          "  -p, --port NAME  serial port: ") +
      platform::PortNameHint() +
      "; default: the window's\n"
      "                   saved port, else COM1; give it again for more printers. On a serial\n"
      "                   device server: rfc2217://HOST:PORT (telnet with RFC 2217, the loader\n"
      "                   sets the line) or socket://HOST:PORT (raw TCP, the server's rate)\n"
      "  -b, --baud N     baud rate of every serial port and rfc2217:// port; default: the\n"
      "                   window's saved rate, else 115200\n"
      "      --host HOST  a printer over TCP: its host name or address\n"
      "      --tcp-port N and its TCP port, 1 to 65535; each --host pairs with a --tcp-port\n"
      "      --ports-from FILE  more printers, one a line (PORT, a port URL or HOST:PORT,\n"
      "                   [IPv6]:PORT; '#' starts a comment); - reads standard input\n"
      "      --retries N  start a load again from the wake-up, up to N more times (0 to 1000),\n"
      "                   after a time-out, a lost port, a bad echo or a CRC failure; never after\n"
      "                   \"model not supported\" or \"program for another model\"\n"
      "      --wait SECONDS  keep trying a port that is missing or a printer that is silent\n"
      "                   for up to SECONDS (such as 2.5), for printers connected one by one\n"
      "      --json       one JSON object per event on standard output, human text on\n"
      "                   standard error; the events are in docs/json-events.md\n"
      "      --trace      every frame sent (>) and received (<), in hex with a timestamp,\n"
      "                   on standard error\n"
      "      --trace-dir DIR  with several printers: one trace file a port in DIR\n"
      "      --record FILE  add one JSON line a finished load to FILE (the production\n"
      "                   record), on disk before the result is shown\n"
      "      --station    load every printer as it is connected, until Ctrl+C: each port\n"
      "                   that matches a -p pattern (such as '/dev/ttyUSB*'), else every USB\n"
      "                   serial port, is a slot that loads the printer answering on it, then\n"
      "                   waits until its port goes and comes back, or for \"next [PORT]\" (or\n"
      "                   Enter) on standard input\n"
      "      --info FILE  what the file holds, without sending anything\n"
      "      --list-ports the ports with a device behind them, one a line: the name, a tab,\n"
      "                   what is known of it (adapter, USB ids, serial number, driver);\n"
      "                   with --json one object a line with every field\n"
      "      --color[=WHEN]  colour the board's and the summary's loaded (green) and failed\n"
      "                   (red): auto (the default: on a terminal, unless NO_COLOR is set),\n"
      "                   always (also bare --color) or never; JSON is never coloured\n"
      "  -h, --help       this text\n"
      "      --version    the program's name and version\n"
      "  --               ends the options, for a FILE that starts with '-'\n"
      "\n"
      "Options take their value as --port NAME, --port=NAME, -p NAME or -pNAME. A port may be\n"
      "named once only, under any of its names. Over TCP, a printer that closes the connection\n"
      "shows ERROR #4, and the load ends at once as a lost connection.\n"
      "\n"
      "Exit status: 0 loaded; 2 usage; 3 the file or the port list cannot be opened; 4 not\n"
      "a valid data file; 5 the port cannot be opened or the connection cannot be made;\n"
      "6 several printers, at least one not loaded (the summary says which); 10 no answer\n"
      "in time; 11 controller model not supported; 12 the program is for another model;\n"
      "13 error in a received packet; 14 error in a received command; 15 wrong address\n"
      "echoed; 16 wrong size echoed; 17 data integrity error; 18 no data to load;\n"
      "19 integrity error in a received packet; 20 wrong data echoed; 21 the connection\n"
      "was lost mid-load (the line hung up, the adapter was removed, the peer closed it);\n"
      "130 or 143 interrupted (SIGINT) or told to stop (SIGTERM), after closing every port.\n";
  return text.c_str();
}

std::string UsageError(const std::string& error) {
  return platform::UsageErrorText("velmar-load", error);
}

int FailureStatus(uint32_t notification) {
  return notification == engine::LN_PORT_LOST
             ? kExitPortLost
             : static_cast<int>(notification) - kNotificationExitBase;
}

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  std::vector<std::string> files;
  TcpPairs pairs;
  platform::OptionScanner scan(arguments, Rules());
  for (platform::OptionItem item; (item = scan.Next()) != platform::OptionItem::kEnd;) {
    std::string error;
    switch (item) {
      case platform::OptionItem::kOperand:
        files.push_back(scan.Value());
        break;
      case platform::OptionItem::kMissingValue:
        error = MissingValue(scan);
        break;
      case platform::OptionItem::kUnexpectedValue:
        error = scan.Spelling() + " takes no value";
        break;
      case platform::OptionItem::kUnknown:
        error = "unknown option: " + scan.Spelling();
        break;
      case platform::OptionItem::kOption:
        if (scan.Id() == kHelpId || scan.Id() == kVersionId) {
          options.command = scan.Id() == kHelpId ? Command::kHelp : Command::kVersion;
          return {options, {}};
        }
        error = Apply(scan, &pairs, &options);
        break;
      case platform::OptionItem::kEnd:
        break;
    }
    if (!error.empty()) {
      return {std::nullopt, error};
    }
  }
  if (options.command == Command::kListPorts) {
    return files.empty() ? ParseResult{options, {}}
                         : ParseResult{std::nullopt, "--list-ports takes no file"};
  }
  std::string error = pairs.Unpaired();
  if (error.empty() && (options.ports_from.empty() || options.command == Command::kStation)) {
    error = CheckTargets(options);  // else once the list is in
  }
  if (error.empty() && files.size() != 1) {
    error = files.empty() ? "no file given" : "give one file";
  }
  if (!error.empty()) {
    return {std::nullopt, error};
  }
  options.file = files.front();
  return {options, {}};
}

std::string AddPortList(std::istream& in, Options* options) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string::npos || line[first] == kCommentMark) {
      continue;
    }
    const std::string entry = line.substr(first, line.find_last_not_of(kBlanks) + 1 - first);
    Target target;
    if (const std::string bad = ReadPort(entry, true, &target); !bad.empty()) {
      return "line " + std::to_string(number) + ": " + bad;
    }
    if (std::string error = NamedTwice(target, options->targets); !error.empty()) {
      return "line " + std::to_string(number) + ": " + error;
    }
    options->targets.push_back(target);
  }
  return CheckTargets(*options);
}

}  // namespace velmar::cli
