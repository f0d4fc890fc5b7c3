#include "cli/options.h"

#include <charconv>

namespace velmar::cli {

namespace {

std::optional<int32_t> ParseBaud(const std::string& text) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

const char* UsageText() {
  return "usage: velmar-load [-p|--port NAME] [-b|--baud N] [--trace] FILE\n"
         "       velmar-load --info FILE\n"
         "       velmar-load --list-ports\n"
         "\n"
         "Loads a controller program (*.bin) or a font (*.fnt) into a printer over a serial\n"
         "line, block by block, checking every echo.\n"
         "\n"
         "  -p, --port NAME  serial port: a device path, or COMn (the link ports/COMn in\n"
         "                   ~/.config/velmar, else /dev/ttyS<n-1>); default: the window's\n"
         "                   saved port, else COM1\n"
         "  -b, --baud N     baud rate; default: the window's saved rate, else 115200\n"
         "      --trace      every frame sent (>) and received (<), in hex with a timestamp,\n"
         "                   on standard error\n"
         "      --info FILE  what the file holds, without sending anything\n"
         "      --list-ports the ports that exist, one a line\n"
         "  -h, --help       this text\n"
         "\n"
         "Exit status: 0 loaded; 2 usage; 3 the file cannot be opened; 4 not a valid data\n"
         "file; 5 the port cannot be opened; 10 no answer in time; 11 controller model not\n"
         "supported; 12 the program is for another model; 13 error in a received packet;\n"
         "14 error in a received command; 15 wrong address echoed; 16 wrong size echoed;\n"
         "17 data integrity error; 18 no data to load; 19 integrity error in a received\n"
         "packet; 20 wrong data echoed.\n";
}

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
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
      options.port = text;
    } else if (arg == "-b" || arg == "--baud") {
      if (!value(&text)) {
        return {std::nullopt, arg + " needs a baud rate"};
      }
      options.baud_rate = ParseBaud(text);
      if (!options.baud_rate) {
        return {std::nullopt, "not a baud rate: " + text};
      }
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
  if (files.size() != 1) {
    return {std::nullopt, files.empty() ? "no file given" : "give one file"};
  }
  options.file = files.front();
  return {options, {}};
}

}  // namespace velmar::cli
