// Loads programs and fonts into the emulated printer at a paced line rate and compares the
// elapsed time with the line's own time for every byte both ways.
//   velmar-bench [--quick] [--port NAME --link PATH -- LOADER [ARGUMENTS...]]
// Prints a Markdown table: case, elapsed, line time, ratio, loader CPU, loader peak memory; then,
// through this build's loader, the table of many printers at once (bench/multi_bench.h) and the
// table of one printer behind Debian's ser2net (bench/ser2net_bench.h), then the tables of a
// station's wake-up latency and idle CPU (bench/station_bench.h).
// By default the loader is this build's velmar-load on the emulator's pseudo-terminal. Given a
// loader command (velmar-load.exe under Wine), the emulator's pseudo-terminal is linked at PATH
// and the loader opens NAME; the elapsed time is then the printer's, from the wake-up to the
// last frame, as the start-up of the loader's runtime is no part of the load.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/emulator_report.h"
#include "bench/multi_bench.h"
#include "bench/ser2net_bench.h"
#include "bench/station_bench.h"
#include "tests/integration/child_process.h"

namespace {

using velmar::bench::LineSeconds;
using velmar::bench::PrinterSeconds;
using velmar::test::ChildProcess;
using namespace std::chrono_literals;

struct Case {
  const char* name;
  const char* file;  // sample.bin or sample.fnt
  size_t program_bytes;
  size_t font_bytes;
  int baud;
};

struct Options {
  bool quick = false;
  std::string port;  // empty: the link itself
  std::string link;  // empty: one in the bench's folder
  std::vector<std::string> loader = {VELMAR_LOAD};
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      options->quick = true;
    } else if ((arg == "--port" || arg == "--link") && i + 1 < argc) {
      (arg == "--port" ? options->port : options->link) = argv[++i];
    } else if (arg == "--" && i + 1 < argc) {
      options->loader.assign(argv + i + 1, argv + argc);
      break;
    } else {
      return false;
    }
  }
  return options->port.empty() == options->link.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: velmar-bench [--quick] [--port NAME --link PATH -- LOADER [ARGS...]]\n");
    return 2;
  }
  const bool quick = options.quick;
  const bool own_loader = options.loader.size() == 1 && options.loader[0] == VELMAR_LOAD;
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
      "| case | file KiB | baud | elapsed s | line s | line/elapsed | loader CPU s | CPU %% | "
      "peak KiB |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  int status = 0;
  std::string reports;  // the emulator's own lines, after the table
  for (const Case& c : cases) {
    ChildProcess make;
    make.Start({VELMAR_MAKE_SAMPLES, dir.string(), std::to_string(c.program_bytes),
                std::to_string(c.font_bytes)});
    make.Wait(60s);
    const std::string link = options.link.empty() ? (dir / "printer").string() : options.link;
    const std::string port = options.port.empty() ? link : options.port;
    ChildProcess printer;
    printer.Start(
        {VELMAR_PRINTER, "--link", link, "--baud", std::to_string(c.baud), "--loads", "1"});
    if (!printer.WaitForOutput(link, 20s)) {
      std::fprintf(stderr, "the emulator did not start: %s\n", printer.Err().c_str());
      return 1;
    }
    ChildProcess loader;
    std::vector<std::string> loader_argv = options.loader;
    loader_argv.insert(loader_argv.end(),
                       {"-p", port, "-b", std::to_string(c.baud), (dir / c.file).string()});
    loader.Start(loader_argv);
    loader.Wait(3600s);
    printer.Wait(60s);
    const double line = LineSeconds(printer.Out());
    const auto file_kib = std::filesystem::file_size(dir / c.file) / 1024;
    const double elapsed = own_loader ? loader.ElapsedSeconds() : PrinterSeconds(printer.Out());
    std::printf("| %s | %ju | %d | %.2f | %.2f | %.3f | %.3f | %.2f | %ld |\n", c.name,
                static_cast<uintmax_t>(file_kib), c.baud, elapsed, line, line / elapsed,
                loader.CpuSeconds(), 100.0 * loader.CpuSeconds() / elapsed, loader.PeakKilobytes());
    std::fflush(stdout);
    if (loader.ExitStatus() != 0) {
      std::fprintf(stderr, "%s: the load failed (%d): %s\n", c.name, loader.ExitStatus(),
                   loader.Err().c_str());
      status = 1;
    }
    reports += printer.Out();
  }
  // Several printers at once only through this build's loader: the Wine run has one port.
  if (own_loader && !velmar::bench::RunMultiPrinterRows(quick)) {
    status = 1;
  }
  if (own_loader && !velmar::bench::RunSer2netRows(quick)) {
    status = 1;
  }
  if (own_loader && !velmar::bench::RunStationRows(quick)) {
    status = 1;
  }
  std::fprintf(stderr, "\nThe emulator's lines:\n%s", reports.c_str());
  std::filesystem::remove_all(dir);
  return status;
}
