// Loads programs and fonts into the emulated printer at a paced line rate and compares the
// elapsed time with the line's own time for every byte both ways.
//   velmar-bench [--quick]
// Prints a Markdown table: case, elapsed, line time, ratio, loader CPU, loader peak memory.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"

namespace {

using velmar::test::ChildProcess;
using namespace std::chrono_literals;

struct Case {
  const char* name;
  const char* file;  // sample.bin or sample.fnt
  size_t program_bytes;
  size_t font_bytes;
  int baud;
};

// The line's time for `bytes` at `baud`, 10 bits a byte.
double LineSeconds(double bytes, int baud) {
  return bytes * 10.0 / baud;
}

// Bytes on the wire for one load, both ways, as the boot protocol frames them.
double WireBytes(const Case& c, const std::string& model) {
  const bool font = std::string(c.file) == "sample.fnt";
  const size_t data = font ? c.font_bytes : c.program_bytes;
  const size_t blocks =
      (data + 255) / 256;  // the emulator starts fonts at 0, so all blocks are full
  double bytes = 5 + 1 + 1 + model.size() + 6;       // wake-up, its reply, ack, identification
  bytes += 2.0 * data + blocks * (25.0 + 25.0) - 5;  // five exchanges a block, no last "SM"
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const std::vector<Case> cases =
      quick ? std::vector<Case>{{"4 KiB program", "sample.bin", 4096, 1, 115200}}
            : std::vector<Case>{
                  {"64 KiB program", "sample.bin", 65536, 1, 115200},
                  {"256 KiB program", "sample.bin", 262144, 1, 115200},
                  {"64 KiB font", "sample.fnt", 1, 65536, 115200},
                  {"4 KiB program", "sample.bin", 4096, 1, 9600},
              };
  const auto dir =
      std::filesystem::temp_directory_path() / ("velmar-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::printf(
      "| case | baud | elapsed s | line s | line/elapsed | loader CPU s | CPU %% | peak KiB |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  int status = 0;
  for (const Case& c : cases) {
    ChildProcess make;
    make.Start({VELMAR_MAKE_SAMPLES, dir.string(), std::to_string(c.program_bytes),
                std::to_string(c.font_bytes)});
    make.Wait(60s);
    const std::string link = (dir / "printer").string();
    ChildProcess printer;
    printer.Start(
        {VELMAR_PRINTER, "--link", link, "--baud", std::to_string(c.baud), "--loads", "1"});
    if (!printer.WaitForOutput(link, 20s)) {
      std::fprintf(stderr, "the emulator did not start: %s\n", printer.Err().c_str());
      return 1;
    }
    ChildProcess loader;
    loader.Start({VELMAR_LOAD, "-p", link, "-b", std::to_string(c.baud), (dir / c.file).string()});
    loader.Wait(3600s);
    printer.Wait(60s);
    const double line = LineSeconds(WireBytes(c, "TEST"), c.baud);
    const double elapsed = loader.ElapsedSeconds();
    std::printf("| %s | %d | %.2f | %.2f | %.3f | %.3f | %.2f | %ld |\n", c.name, c.baud, elapsed,
                line, line / elapsed, loader.CpuSeconds(), 100.0 * loader.CpuSeconds() / elapsed,
                loader.PeakKilobytes());
    std::fflush(stdout);
    if (loader.ExitStatus() != 0) {
      std::fprintf(stderr, "%s: the load failed (%d): %s\n", c.name, loader.ExitStatus(),
                   loader.Err().c_str());
      status = 1;
    }
    std::fprintf(stderr, "emulator: %s", printer.Out().c_str());
  }
  std::filesystem::remove_all(dir);
  return status;
}
