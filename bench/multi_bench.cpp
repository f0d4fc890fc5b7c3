#include "bench/multi_bench.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bench/emulator_report.h"
#include "tests/integration/child_process.h"

namespace velmar::bench {

namespace {

using test::ChildProcess;
using namespace std::chrono_literals;

struct MultiCase {
  const char* name;
  int printers;
  size_t program_bytes;
  int baud;
};

// Each printer's printer_end event, by port.
std::map<std::string, nlohmann::json> PrinterEnds(const std::string& stream) {
  std::map<std::string, nlohmann::json> ends;
  std::istringstream lines(stream);
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object() && event.value("event", "") == "printer_end") {
      ends[event.value("port", "")] = event;
    }
  }
  return ends;
}

struct Row {
  double worst_ratio = 0;  // line time over elapsed, of the slowest printer against its line
  double worst_elapsed = 0;
  double worst_line = 0;
  int loaded = 0;
  uintmax_t file_kib = 0;
  double wall = 0;
  double cpu = 0;
  long peak_kb = 0;
};

bool RunCase(const MultiCase& c, const std::filesystem::path& dir, Row* row) {
  std::filesystem::create_directories(dir);
  ChildProcess make;
  make.Start({VELMAR_MAKE_SAMPLES, dir.string(), std::to_string(c.program_bytes), "1"});
  make.Wait(60s);
  const std::string file = (dir / "sample.bin").string();
  row->file_kib = std::filesystem::file_size(file) / 1024;
  std::vector<std::unique_ptr<ChildProcess>> printers;
  std::vector<std::string> links;
  std::vector<std::string> loader_argv = {VELMAR_LOAD, "--json", "-b", std::to_string(c.baud)};
  for (int i = 0; i < c.printers; ++i) {
    links.push_back((dir / ("printer" + std::to_string(i))).string());
    printers.push_back(std::make_unique<ChildProcess>());
    printers.back()->Start(
        {VELMAR_PRINTER, "--link", links.back(), "--baud", std::to_string(c.baud), "--loads", "1"});
    if (!printers.back()->WaitForOutput(links.back(), 20s)) {
      std::fprintf(stderr, "the emulator did not start: %s\n", printers.back()->Err().c_str());
      return false;
    }
    loader_argv.insert(loader_argv.end(), {"-p", links.back()});
  }
  loader_argv.push_back(file);
  ChildProcess loader;
  loader.Start(loader_argv);
  loader.Wait(3600s);
  const auto ends = PrinterEnds(loader.Out());
  row->worst_ratio = 1e9;
  for (int i = 0; i < c.printers; ++i) {
    printers[i]->Wait(60s);
    const auto end = ends.find(links[i]);
    if (end == ends.end() || end->second.value("result", "") != "loaded") {
      continue;
    }
    ++row->loaded;
    const double elapsed = end->second.value("elapsed", 0.0);
    const double line = LineSeconds(printers[i]->Out());
    if (elapsed > 0 && line / elapsed < row->worst_ratio) {
      row->worst_ratio = line / elapsed;
      row->worst_elapsed = elapsed;
      row->worst_line = line;
    }
  }
  row->wall = loader.ElapsedSeconds();
  row->cpu = loader.CpuSeconds();
  row->peak_kb = loader.PeakKilobytes();
  if (loader.ExitStatus() != 0 || row->loaded != c.printers) {
    std::fprintf(stderr, "%s: %d of %d loaded, status %d: %s\n", c.name, row->loaded, c.printers,
                 loader.ExitStatus(), loader.Err().c_str());
    return false;
  }
  return true;
}

}  // namespace

bool RunMultiPrinterRows(bool quick) {
  // The one-printer row first: the base of the memory that more printers add.
  const std::vector<MultiCase> cases =
      quick ? std::vector<MultiCase>{{"1 printer, 4 KiB program", 1, 4096, 115200},
                                     {"4 printers, 4 KiB program", 4, 4096, 115200}}
            : std::vector<MultiCase>{{"1 printer, 64 KiB program", 1, 65536, 115200},
                                     {"16 printers, 64 KiB program", 16, 65536, 115200},
                                     {"64 printers, 2 KiB program", 64, 2048, 9600}};
  const auto dir =
      std::filesystem::temp_directory_path() / ("velmar-multi-bench-" + std::to_string(::getpid()));
  std::printf(
      "\n| case | printers | file KiB | baud | wall s | slowest elapsed s | its line s | "
      "worst line/elapsed | loader CPU s | CPU %% of one core | peak KiB | KiB a printer over "
      "one |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  bool ok = true;
  long one_printer_kb = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const MultiCase& c = cases[i];
    Row row;
    ok &= RunCase(c, dir / std::to_string(i), &row);
    if (c.printers == 1) {
      one_printer_kb = row.peak_kb;
    }
    const std::string per_printer =
        c.printers > 1 && one_printer_kb > 0
            ? std::to_string((row.peak_kb - one_printer_kb) / (c.printers - 1))
            : std::string("-");
    std::printf("| %s | %d | %ju | %d | %.2f | %.2f | %.2f | %.3f | %.3f | %.2f | %ld | %s |\n",
                c.name, c.printers, row.file_kib, c.baud, row.wall, row.worst_elapsed,
                row.worst_line, row.worst_ratio, row.cpu,
                row.wall > 0 ? 100.0 * row.cpu / row.wall : 0.0, row.peak_kb, per_printer.c_str());
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);
  return ok;
}

}  // namespace velmar::bench
