#pragma once
// velmar-printer's command line.
//
// ParseOptions reads the arguments after the program name. kUsageError leaves a one-line
// reason in `error`; kHelp asks for UsageText, kVersion for the version line. Numbers are decimal
// or 0x-prefixed hex; the noise's fraction is a decimal from 0 to 1, with or without an exponent
// (0.001, 1e-3). ParseTcpEndpoint reads HOST:PORT, :PORT or PORT (the host then kDefaultTcpHost);
// an IPv6 address goes in brackets, [::1]:PORT.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/boot_loader.h"
#include "emulator/noisy_line.h"

namespace velmar::emulator {

// Where --tcp listens.
struct TcpEndpoint {
  std::string host;   // a name or a numeric address
  uint16_t port = 0;  // 0: any free port
  bool operator==(const TcpEndpoint&) const = default;
};

inline constexpr const char* kDefaultTcpHost = "127.0.0.1";

struct Options {
  std::string link;                // --link: the path of the link to the line
  std::string com_port;            // --as: "COMn", a link in the configuration folder
  std::optional<TcpEndpoint> tcp;  // --tcp: listen for the tool instead of making a line
  int line_fd = -1;                // --line-fd: an inherited pseudo-terminal master; -1: none
  BootLoaderConfig loader;
  int32_t baud = 0;  // 0: no pacing
  bool drip = false;
  std::string image;  // Intel HEX written after each complete load; empty: none
  int32_t loads = 0;  // 0: until a signal
  double noise = 0;   // the share of bytes spoilt each way; 0: a clean line
  uint32_t noise_seed = kDefaultNoiseSeed;
  int32_t tool_rate = 0;  // --tool-rate: the rate the tool's side must be at; 0: any
  bool marks = false;     // --marks: a line as each block begins
};

enum class ParseResult { kOk, kHelp, kVersion, kUsageError };

ParseResult ParseOptions(const std::vector<std::string>& args, Options* options,
                         std::string* error);
std::optional<TcpEndpoint> ParseTcpEndpoint(const std::string& text);
std::string UsageText();

}  // namespace velmar::emulator
