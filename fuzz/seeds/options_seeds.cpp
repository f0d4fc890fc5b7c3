// The option tests' command lines, accepted and refused, for the loader (selector 0) and the
// emulator (selector 1).

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/seeds/seeds.h"

namespace velmar::fuzz::seeds {

namespace {

using Arguments = std::vector<std::string>;

constexpr uint8_t kLoader = 0;
constexpr uint8_t kPrinter = 1;

const std::vector<Arguments>& LoaderLines() {
  static const std::vector<Arguments> lines{
      {"-p", "/dev/ttyUSB0", "--baud", "9600", "--trace", "f.bin"},
      {"f.fnt"},
      {"--host", "printer.local", "--tcp-port", "9100", "f.bin"},
      {"--tcp-port", "1", "--host", "127.0.0.1", "--trace", "f.fnt"},
      {"--host", "::1", "--tcp-port", "65535", "f.bin"},
      {"--info", "f.bin"},
      {"--list-ports"},
      {"-h"},
      {"--bogus", "--help"},
      {"-p", "COM1", "--version"},
      {"--color", "f.bin"},
      {"--color=never", "--station", "f.bin"},
      {"--color=sometimes", "f.bin"},
      {},
      {"a.bin", "b.bin"},
      {"-p"},
      {"-p", "", "f.bin"},
      {"-b", "fast", "f.bin"},
      {"-b", "0", "f.bin"},
      {"-b", "-9600", "f.bin"},
      {"-b", "9600x", "f.bin"},
      {"-b", "99999999999", "f.bin"},
      {"--list-ports", "f.bin"},
      {"--info"},
      {"-x", "f.bin"},
      {"--host", "h", "f.bin"},
      {"--tcp-port", "9100", "f.bin"},
      {"--host", "h", "--tcp-port", "9100", "-p", "/dev/ttyS0", "f.bin"},
      {"-p", "COM1", "--host", "h", "--tcp-port", "9100", "f.bin"},
      {"--host", "h", "--tcp-port", "9100", "-b", "9600", "f.bin"},
      {"--host", "h", "--tcp-port", "0", "f.bin"},
      {"--host", "h", "--tcp-port", "65536", "f.bin"},
      {"--host", "h", "--tcp-port", "12x", "f.bin"},
      {"--host", "h", "--tcp-port", "-1", "f.bin"},
      {"--host", "h", "--tcp-port", "", "f.bin"},
      {"--host", "", "--tcp-port", "9100", "f.bin"},
      {"--host", "h", "f.bin", "--tcp-port"},
      {"--tcp-port", "9100", "f.bin", "--host"},
  };
  return lines;
}

const std::vector<Arguments>& PrinterLines() {
  static const std::vector<Arguments> lines{
      {"--as", "COM3", "--wake", "0xA1", "--status", "5", "--result", "0X10", "--start", "0x11234",
       "--fault", "status-error", "--fault-block", "3", "--fault-reply", "SM"},
      {"--tcp", "192.168.1.20:9100", "--loads", "1"},
      {"--tcp", "printer.local:9100", "--loads", "1"},
      {"--tcp", ":9100", "--loads", "1"},
      {"--tcp", "9100", "--loads", "1"},
      {"--tcp", ":0", "--loads", "1"},
      {"--tcp", "[::1]:65535", "--loads", "1"},
      {"--tcp", "[::]:1", "--loads", "1"},
      {"--link", "/tmp/printer", "--model", "CTRL-9", "--baud", "115200", "--drip", "--image",
       "out.hex", "--fault", "hangup"},
      {"--link", "a", "--as", "COM1"},
      {"--line-fd", "3", "--tool-rate", "9600", "--marks", "--loads", "1"},
      {"--line-fd", "2"},
      {"--tcp", ":0", "--tool-rate", "9600"},
      {"--as", "COM0"},
      {"--as", "COM"},
      {"--as", "ttyS0"},
      {"--link", "a", "--wake", "256"},
      {"--link", "a", "--wake", "0x"},
      {"--link", "a", "--wake", "-1"},
      {"--link", "a", "--status", "012x"},
      {"--link", "a", "--start", "0x20000"},
      {"--link", "a", "--baud", "0"},
      {"--link", "a", "--loads", "0"},
      {"--link", "a", "--model", std::string(260, 'M')},
      {"--link", "a", "--fault", "gremlins"},
      {"--link", "a", "--fault-block", "2"},
      {"--link", "a", "--fault", "status-error", "--fault-reply", "echo"},
      {"--link", "a", "--fault", "bad-crc", "--fault-block", "0"},
      {"--link", "a", "--fault", "silent", "--fault-reply", "later"},
      {"--link", "a", "--verbose"},
      {"--link"},
      {"--link", "a", "--tcp", ":0"},
      {"--tcp", ""},
      {"--tcp", "host:65536"},
      {"--tcp", "host:0x10"},
      {"--tcp", "::1:9100"},
      {"--tcp", "[::1]"},
      {"--tcp", "[]:9100"},
      {"--tcp", "a[b]:9100"},
  };
  return lines;
}

void AddLines(SeedWriter& seeds, const std::string& name, uint8_t selector,
              const std::vector<Arguments>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    Bytes input{selector};
    const Bytes joined = JoinArguments(lines[i]);
    input.insert(input.end(), joined.begin(), joined.end());
    seeds.Add(name + "-" + std::to_string(i), input);
  }
}

}  // namespace

bool AddOptionsSeeds(const std::string& dir) {
  SeedWriter seeds(dir, "options");
  AddLines(seeds, "loader", kLoader, LoaderLines());
  AddLines(seeds, "printer", kPrinter, PrinterLines());
  return seeds.Ok();
}

}  // namespace velmar::fuzz::seeds
