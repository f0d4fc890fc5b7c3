#include "emulator/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

#include "emulator/protocol.h"
#include "platform/option_scanner.h"

namespace velmar::emulator {

namespace {

constexpr uint32_t kMaxByte = 0xFF;
constexpr uint32_t kMaxStart = 0x1FFFF;  // the first "A" reply carries address bits 0 to 16
constexpr uint32_t kMaxBaud = 4000000;
constexpr uint32_t kMaxCount = 1000000;
constexpr uint32_t kMaxTcpPort = 65535;
constexpr uint32_t kMaxSeed = UINT32_MAX;
constexpr uint32_t kMaxFd = 1023;
constexpr std::string_view kHexPrefix = "0x";
constexpr std::string_view kComPrefix = "COM";
constexpr size_t kMaxComDigits = 3;
constexpr int kHexBase = 16;
constexpr int kDecimalBase = 10;
constexpr int kFirstLongId = 256;  // past every short option's letter

// Matched by name below: the id only tells getopt which options exist.
const std::vector<platform::OptionRule>& Rules() {
  static const std::vector<platform::OptionRule> rules = [] {
    const char* const with_value[] = {
        "link",   "as",          "tcp",         "model",      "wake",    "status",
        "result", "start",       "baud",        "loads",      "image",   "noise",
        "fault",  "fault-block", "fault-reply", "noise-seed", "line-fd", "tool-rate"};
    std::vector<platform::OptionRule> made = {{'h', "help", 'h', false},
                                              {kFirstLongId, "drip", 0, false},
                                              {kFirstLongId + 1, "marks", 0, false},
                                              {kFirstLongId + 2, "version", 0, false}};
    for (const char* name : with_value) {
      made.push_back({kFirstLongId + static_cast<int>(made.size()), name, 0, true});
    }
    return made;
  }();
  return rules;
}

bool HasHexPrefix(std::string_view text) {
  return text.size() > kHexPrefix.size() && text[0] == kHexPrefix[0] &&
         (text[1] == kHexPrefix[1] || text[1] == std::toupper(kHexPrefix[1]));
}

std::optional<uint32_t> ParseNumber(std::string_view text, uint32_t max) {
  int base = kDecimalBase;
  if (HasHexPrefix(text)) {
    text.remove_prefix(kHexPrefix.size());
    base = kHexBase;
  }
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || failure != std::errc() || stop != end || value > max) {
    return std::nullopt;
  }
  return value;
}

// A share from 0 to 1; infinities and NaN fall outside.
std::optional<double> ParseFraction(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value);
  if (text.empty() || failure != std::errc() || stop != end || !(value >= 0.0 && value <= 1.0)) {
    return std::nullopt;
  }
  return value;
}

bool IsComName(std::string_view name) {
  if (name.substr(0, kComPrefix.size()) != kComPrefix) {
    return false;
  }
  const std::string_view number = name.substr(kComPrefix.size());
  return !number.empty() && number.size() <= kMaxComDigits && number.front() != '0' &&
         std::all_of(number.begin(), number.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::optional<TcpEndpoint> ParseTcpEndpoint(const std::string& text) {
  std::string_view host;
  std::string_view port = text;
  const size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    host = std::string_view(text).substr(0, colon);
    port = std::string_view(text).substr(colon + 1);
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    if (host.empty()) {
      return std::nullopt;
    }
  } else if (host.find_first_of("[]:") != std::string_view::npos) {
    return std::nullopt;  // an IPv6 address without its brackets, or stray ones
  }
  // Only decimal digits: a port written in hex would be a surprise here.
  if (port.empty() || !std::all_of(port.begin(), port.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
      })) {
    return std::nullopt;
  }
  const auto number = ParseNumber(port, kMaxTcpPort);
  if (!number) {
    return std::nullopt;
  }
  return TcpEndpoint{host.empty() ? std::string(kDefaultTcpHost) : std::string(host),
                     static_cast<uint16_t>(*number)};
}

ParseResult ParseOptions(const std::vector<std::string>& args, Options* options,
                         std::string* error) {
  std::optional<FaultKind> fault;
  std::optional<uint32_t> fault_block;
  std::optional<ReplyKind> fault_reply;
  bool noise = false;
  bool noise_seed = false;
  BootLoaderConfig& loader = options->loader;

  platform::OptionScanner scan(args, Rules());
  for (platform::OptionItem item; (item = scan.Next()) != platform::OptionItem::kEnd;) {
    const std::string& name = scan.Spelling();
    const std::string& value = scan.Value();
    if (item == platform::OptionItem::kOperand) {
      *error = "unexpected " + value;
      return ParseResult::kUsageError;
    }
    if (item != platform::OptionItem::kOption) {
      *error = item == platform::OptionItem::kMissingValue      ? name + " needs a value"
               : item == platform::OptionItem::kUnexpectedValue ? name + " takes no value"
                                                                : "unknown option " + name;
      return ParseResult::kUsageError;
    }
    if (name == "--help" || name == "-h") {
      return ParseResult::kHelp;
    }
    if (name == "--version") {
      return ParseResult::kVersion;
    }
    if (name == "--drip" || name == "--marks") {
      (name == "--drip" ? options->drip : options->marks) = true;
      continue;
    }
    auto number = [&](uint32_t min, uint32_t max) -> std::optional<uint32_t> {
      const auto parsed = ParseNumber(value, max);
      if (!parsed || *parsed < min) {
        *error = name + ": not a number from " + std::to_string(min) + " to " +
                 std::to_string(max) + ": " + value;
        return std::nullopt;
      }
      return parsed;
    };
    auto byte = [&]() { return number(0, kMaxByte); };

    if (name == "--link") {
      options->link = value;
    } else if (name == "--as") {
      if (!IsComName(value)) {
        *error = "--as: not a name COMn: " + value;
        return ParseResult::kUsageError;
      }
      options->com_port = value;
    } else if (name == "--tcp") {
      options->tcp = ParseTcpEndpoint(value);
      if (!options->tcp) {
        *error = "--tcp: not HOST:PORT, :PORT or PORT (0 to 65535): " + value;
        return ParseResult::kUsageError;
      }
    } else if (name == "--line-fd") {
      // 0 to 2 are the report's streams and the input, never a line.
      const auto parsed = number(3, kMaxFd);
      if (!parsed) {
        return ParseResult::kUsageError;
      }
      options->line_fd = static_cast<int>(*parsed);
    } else if (name == "--tool-rate") {
      const auto parsed = number(1, kMaxBaud);
      if (!parsed) {
        return ParseResult::kUsageError;
      }
      options->tool_rate = static_cast<int32_t>(*parsed);
    } else if (name == "--model") {
      if (value.size() > protocol::kMaxModelName) {
        *error = "--model: longer than " + std::to_string(protocol::kMaxModelName) + " bytes";
        return ParseResult::kUsageError;
      }
      loader.model = value;
    } else if (name == "--wake" || name == "--status" || name == "--result") {
      const auto parsed = byte();
      if (!parsed) {
        return ParseResult::kUsageError;
      }
      uint8_t& target = name == "--wake"     ? loader.wake
                        : name == "--status" ? loader.status
                                             : loader.result;
      target = static_cast<uint8_t>(*parsed);
    } else if (name == "--start") {
      const auto parsed = number(0, kMaxStart);
      if (!parsed) {
        return ParseResult::kUsageError;
      }
      loader.start = *parsed;
    } else if (name == "--baud") {
      const auto parsed = number(1, kMaxBaud);
      if (!parsed) {
        return ParseResult::kUsageError;
      }
      options->baud = static_cast<int32_t>(*parsed);
    } else if (name == "--loads") {
      const auto parsed = number(1, kMaxCount);
      if (!parsed) {
        return ParseResult::kUsageError;
      }
      options->loads = static_cast<int32_t>(*parsed);
    } else if (name == "--image") {
      options->image = value;
    } else if (name == "--noise") {
      const auto parsed = ParseFraction(value);
      if (!parsed) {
        *error = "--noise: not a fraction from 0 to 1: " + value;
        return ParseResult::kUsageError;
      }
      options->noise = *parsed;
      noise = true;
    } else if (name == "--noise-seed") {
      const auto parsed = number(0, kMaxSeed);
      if (!parsed) {
        return ParseResult::kUsageError;
      }
      options->noise_seed = *parsed;
      noise_seed = true;
    } else if (name == "--fault") {
      fault = ParseFaultKind(value);
      if (!fault) {
        *error = "--fault: unknown kind " + value;
        return ParseResult::kUsageError;
      }
    } else if (name == "--fault-block") {
      fault_block = number(1, kMaxCount);
      if (!fault_block) {
        return ParseResult::kUsageError;
      }
    } else if (name == "--fault-reply") {
      fault_reply = ParseReplyKind(value);
      if (!fault_reply) {
        *error = "--fault-reply: unknown reply " + value;
        return ParseResult::kUsageError;
      }
    } else {
      *error = "unknown option " + name;
      return ParseResult::kUsageError;
    }
  }

  const int places =
      static_cast<int>(!options->link.empty()) + static_cast<int>(!options->com_port.empty()) +
      static_cast<int>(options->tcp.has_value()) + static_cast<int>(options->line_fd >= 0);
  if (places != 1) {
    *error = "give exactly one of --link PATH, --as COMn, --tcp HOST:PORT and --line-fd N";
    return ParseResult::kUsageError;
  }
  if (options->tcp && options->tool_rate > 0) {
    *error = "--tool-rate needs a pseudo-terminal, not --tcp";
    return ParseResult::kUsageError;
  }
  if (!fault && (fault_block || fault_reply)) {
    *error = "--fault-block and --fault-reply need --fault";
    return ParseResult::kUsageError;
  }
  if (noise_seed && !noise) {
    *error = "--noise-seed needs --noise";
    return ParseResult::kUsageError;
  }
  if (fault) {
    const auto made = MakeFault(*fault, static_cast<int32_t>(fault_block.value_or(1)), fault_reply);
    if (!made) {
      *error = std::string("--fault-reply: ") + FaultKindName(*fault) + " cannot go in " +
               ReplyKindName(*fault_reply);
      return ParseResult::kUsageError;
    }
    loader.fault = *made;
  }
  return ParseResult::kOk;
}

std::string UsageText() {
  return R"(usage: velmar-printer (--link PATH | --as COMn | --tcp HOST:PORT | --line-fd N)
                      [options]
       velmar-printer --help | --version

Plays a printer controller's boot loader on a pseudo-terminal or a TCP port, for velmar-load
to talk to.

  --link PATH        put a link to the line at PATH (printed on standard output)
  --as COMn          put the link at ports/COMn in the configuration folder
  --tcp HOST:PORT    listen on HOST (default 127.0.0.1, as in :PORT or PORT) at PORT (0: any
                     free port) and print the HOST:PORT listened on; one connection is served
                     at a time, the next waits in the listen queue until it closes; a
                     connection that closes ends the load in progress
  --line-fd N        serve on the pseudo-terminal whose master is the inherited descriptor N
                     (3 to 1023) and print its slave's name; the line stays its owner's, so
                     it outlives the run, and the hangup fault only ends the run
  --model NAME       model name reported (default TEST)
  --wake BYTE        wake byte (default 0xA0; the tool takes 0xA0 and 0xA1)
  --status BYTE      status byte of every reply (default 0x01)
  --result BYTE      result byte of every reply (default 0x00)
  --start ADDR       where a font goes, 0 to 0x1FFFF (default 0)
  --baud N           pace both directions as a line at N baud, 10 bits a byte
  --drip             send replies one byte at a time, about 1 ms apart
  --fault KIND       status-error, result-error, bad-command, bad-address, bad-size,
                     bad-crc, bad-data, silent or hangup; it ends each load it falls in
  --fault-block N    the block it falls in, from 1 (default 1)
  --fault-reply R    ident, CA, A, D, echo or SM: where status-error (default CA),
                     result-error (default echo) or bad-command (default CA) goes
  --noise FRACTION   spoil that share of the bytes each way, 0 to 1 (such as 0.001): a byte hit
                     is flipped in one bit, dropped or doubled, with equal odds
  --noise-seed N     seed of the noise, 0 to 4294967295 (default 1): the same seed spoils the
                     same bytes of the same conversation
  --tool-rate N      the rate the tool must have set on its end of the pseudo-terminal; bytes
                     that arrive while it is at another rate are dropped, as a controller at
                     another rate would not make them out, and reported on standard error
  --marks            print "block N of load L" as the tool asks for each block
  --image FILE       write what was loaded as Intel HEX after each complete load
  --loads N          serve N loads, then exit (default: until SIGINT or SIGTERM)
  --help             this text
  --version          the program's name and version

Values go as --NAME VALUE or --NAME=VALUE; options are written in full.
A status byte with bit 2 set makes every load look like a font; one with bits 7 and 1 set
makes every "w" look like the last.
Prints one line per load, and with --noise a last line: the bytes spoilt each way.
Exit status: 0 when every load was well formed and complete, 1 otherwise, 2 for a usage error.
)";
}

}  // namespace velmar::emulator
