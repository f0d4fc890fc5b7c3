#pragma once
// velmar-printer's command line.
//
// ParseOptions reads the arguments after the program name. kUsageError leaves a one-line
// reason in `error`; kHelp asks for UsageText. Numbers are decimal or 0x-prefixed hex.

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/boot_loader.h"

namespace velmar::emulator {

struct Options {
  std::string link;      // --link: the path of the link to the line
  std::string com_port;  // --as: "COMn", a link in the configuration folder
  BootLoaderConfig loader;
  int32_t baud = 0;  // 0: no pacing
  bool drip = false;
  std::string image;  // Intel HEX written after each complete load; empty: none
  int32_t loads = 0;  // 0: until a signal
};

enum class ParseResult { kOk, kHelp, kUsageError };

ParseResult ParseOptions(const std::vector<std::string>& args, Options* options,
                         std::string* error);
std::string UsageText();

}  // namespace velmar::emulator
