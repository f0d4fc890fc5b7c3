#include "bench/ser2net_bench.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/emulator_report.h"
#include "tests/integration/child_process.h"
#include "tests/ser2net/ser2net_server.h"

namespace velmar::bench {

namespace {

using test::Accepter;
using test::ChildProcess;
using test::Ser2netConnection;
using test::Ser2netServer;
using namespace std::chrono_literals;

struct Size {
  const char* name;
  size_t program_bytes;
  int baud;
};

// How the loader reaches the printer.
struct Path {
  const char* name;
  bool ser2net;  // false: straight to the emulator's own TCP port
  Accepter accepter;
  bool chardelay;
  bool nodelay;
  const char* goal;  // elapsed over line time at most
};

struct Measured {
  double elapsed = 0;
  double line = 0;
  double printer = 0;
};

// Where the printer or ser2net listens, as the loader is given it.
std::string Url(Accepter accepter, const std::string& host_port) {
  return (accepter == Accepter::kRfc2217 ? "rfc2217://" : "socket://") + host_port;
}

bool RunRow(const Size& size, const Path& path, const std::filesystem::path& dir,
            Measured* measured) {
  std::filesystem::create_directories(dir);
  ChildProcess make;
  make.Start({VELMAR_MAKE_SAMPLES, dir.string(), std::to_string(size.program_bytes), "1"});
  make.Wait(60s);
  const std::string baud = std::to_string(size.baud);
  const std::string link = (dir / "printer").string();
  ChildProcess printer;
  std::vector<std::string> printer_argv = {VELMAR_PRINTER, "--baud", baud, "--loads", "1"};
  printer_argv.insert(printer_argv.end(),
                      {path.ser2net ? "--link" : "--tcp", path.ser2net ? link : "127.0.0.1:0"});
  if (path.ser2net) {
    printer_argv.insert(printer_argv.end(), {"--tool-rate", baud});
  }
  printer.Start(printer_argv);
  if (!printer.WaitForOutput("\n", 20s)) {
    std::fprintf(stderr, "the emulator did not start: %s\n", printer.Err().c_str());
    return false;
  }
  std::vector<std::string> loader_argv = {VELMAR_LOAD};
  Ser2netServer server;
  if (path.ser2net) {
    // Telnet starts the line at another rate, so that the loader's request is what sets it.
    const bool telnet = path.accepter == Accepter::kRfc2217;
    const int32_t opened_at = !telnet ? size.baud : size.baud == 9600 ? 115200 : 9600;
    Ser2netConnection line{path.accepter, link, opened_at, {}, path.nodelay, size.baud};
    if (!path.chardelay) {
      line.options.push_back("chardelay: false");
    }
    if (!server.Start(dir, {line}, 20s)) {
      std::fprintf(stderr, "%s\n", server.Error().c_str());
      return false;
    }
    if (telnet) {
      loader_argv.insert(loader_argv.end(), {"-b", baud});
    }
    loader_argv.push_back("-p");
    loader_argv.push_back(Url(path.accepter, "127.0.0.1:" + std::to_string(server.Port(0))));
  } else {
    const std::string& out = printer.Out();
    loader_argv.insert(loader_argv.end(),
                       {"-p", Url(Accepter::kRaw, out.substr(0, out.find('\n')))});
  }
  loader_argv.push_back((dir / "sample.bin").string());
  ChildProcess loader;
  loader.Start(loader_argv);
  loader.Wait(3600s);
  printer.Wait(60s);
  measured->elapsed = loader.ElapsedSeconds();
  measured->line = LineSeconds(printer.Out());
  measured->printer = PrinterSeconds(printer.Out());
  if (loader.ExitStatus() != 0) {
    std::fprintf(stderr, "%s, %s: the load failed (%d): %s\n%s", size.name, path.name,
                 loader.ExitStatus(), loader.Err().c_str(), server.Log().c_str());
    return false;
  }
  return true;
}

}  // namespace

bool RunSer2netRows(bool quick) {
  if (Ser2netServer::Program().empty()) {
    std::printf("\nser2net is not installed: no rows through a serial device server.\n");
    return true;
  }
  const std::vector<Size> sizes =
      quick ? std::vector<Size>{{"4 KiB program", 4096, 115200}}
            : std::vector<Size>{{"64 KiB program", 65536, 115200}, {"4 KiB program", 4096, 9600}};
  std::vector<Path> paths = {
      {"(a) straight to the printer's TCP port", false, Accepter::kRaw, false, false, "1.03"},
      {"(b) ser2net raw, chardelay false", true, Accepter::kRaw, false, false, "1.05"},
      {"(c) ser2net raw, its defaults", true, Accepter::kRaw, true, false, "1.25"},
      {"(d) ser2net rfc2217, chardelay false", true, Accepter::kRfc2217, false, false, "-"},
  };
  const char* all = std::getenv("VELMAR_SER2NET_BENCH_ALL");
  if (all != nullptr && std::string(all) == "1") {
    paths.push_back(
        {"(e) ser2net raw, chardelay false, nodelay", true, Accepter::kRaw, false, true, "-"});
    paths.push_back(
        {"(f) ser2net raw, its defaults, nodelay", true, Accepter::kRaw, true, true, "-"});
  }
  const auto dir = std::filesystem::temp_directory_path() /
                   ("velmar-ser2net-bench-" + std::to_string(::getpid()));
  std::printf(
      "\n| case | path | baud | elapsed s | line s | line/elapsed | elapsed/line | goal | "
      "printer's elapsed s |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  bool ok = true;
  int row = 0;
  for (const Size& size : sizes) {
    for (const Path& path : paths) {
      Measured m;
      ok &= RunRow(size, path, dir / std::to_string(row++), &m);
      std::printf("| %s | %s | %d | %.2f | %.2f | %.3f | %.3f | %s | %.2f |\n", size.name,
                  path.name, size.baud, m.elapsed, m.line, m.elapsed > 0 ? m.line / m.elapsed : 0,
                  m.line > 0 ? m.elapsed / m.line : 0, path.goal, m.printer);
      std::fflush(stdout);
    }
  }
  std::filesystem::remove_all(dir);
  return ok;
}

}  // namespace velmar::bench
