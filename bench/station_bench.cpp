#include "bench/station_bench.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial_line.h"
#include "tests/integration/child_process.h"

namespace velmar::bench {

namespace {

using test::ChildProcess;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using Wall = std::chrono::system_clock;

constexpr int kBaud = 115200;
constexpr auto kDeadline = 30s;
constexpr uint8_t kWakeUpFirst = 0x1B;  // ESC of ESC "BOOT"
// At 115200 eight bytes' line time is far below it, so this is the whole quiet wait.
constexpr double kQuietSeconds =
    std::chrono::duration<double>(platform::SerialLine::kQuietTime).count();
constexpr double kWakeGoal = 0.5 + kQuietSeconds;
constexpr double kIdleGoalPercent = 0.5;
// Before an idle window: the last load's threads and the port's close have ended.
constexpr auto kSettle = 1s;

double Seconds(std::chrono::duration<double> span) {
  return span.count();
}

// Watches, on a thread of its own, when names appear in a folder and when each registered
// pseudo-terminal master first has a byte; it reads and drops all the masters get, so that no
// line ever fills while nobody answers.
class LineWatch {
 public:
  explicit LineWatch(const std::filesystem::path& folder)
      : m_inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    ::inotify_add_watch(m_inotify, folder.c_str(), IN_CREATE | IN_MOVED_TO);
    m_thread = std::thread(&LineWatch::Run, this);
  }
  ~LineWatch() {
    m_stop = true;
    m_thread.join();
    ::close(m_inotify);
  }
  LineWatch(const LineWatch&) = delete;
  LineWatch& operator=(const LineWatch&) = delete;

  // Before its slave is linked into the folder.
  void AddMaster(int fd) {
    std::lock_guard lock(m_lock);
    m_masters[fd];
  }
  std::optional<Wall::time_point> Appeared(const std::string& name) {
    std::unique_lock lock(m_lock);
    m_changed.wait_for(lock, kDeadline, [&] { return m_names.count(name) != 0; });
    const auto found = m_names.find(name);
    return found == m_names.end() ? std::nullopt : std::optional(found->second);
  }
  // When the master's first byte came, if it came within `wait` and was the wake-up's.
  std::optional<Steady::time_point> FirstByte(int fd, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_lock);
    m_changed.wait_for(lock, wait, [&] { return m_masters[fd].has_value(); });
    const auto& first = m_masters[fd];
    return first && first->second == kWakeUpFirst ? std::optional(first->first) : std::nullopt;
  }

 private:
  void Run() {
    while (!m_stop) {
      std::vector<pollfd> fds = {{m_inotify, POLLIN, 0}};
      {
        std::lock_guard lock(m_lock);
        for (const auto& master : m_masters) {
          fds.push_back({master.first, POLLIN, 0});
        }
      }
      // The short round only picks up new masters and the stop; a byte ends it at once.
      if (::poll(fds.data(), fds.size(), 10) <= 0) {
        continue;
      }
      const auto steady = Steady::now();
      const auto wall = Wall::now();
      std::lock_guard lock(m_lock);
      if (fds[0].revents != 0) {
        alignas(inotify_event) char buffer[4096];
        const ssize_t got = ::read(m_inotify, buffer, sizeof buffer);
        for (ssize_t at = 0; at < got;) {
          const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
          if (event->len > 0) {
            m_names.emplace(event->name, wall);
          }
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        unsigned char bytes[256];
        for (ssize_t got;
             fds[i].revents != 0 && (got = ::read(fds[i].fd, bytes, sizeof bytes)) > 0;) {
          auto& first = m_masters[fds[i].fd];
          if (!first) {
            first.emplace(steady, bytes[0]);
          }
        }
      }
      m_changed.notify_all();
    }
  }

  const int m_inotify;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::map<std::string, Wall::time_point> m_names;
  std::map<int, std::optional<std::pair<Steady::time_point, uint8_t>>> m_masters;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// A line of the bench's own where nobody answers. The bench keeps the slave open too, so that
// the master never sees a hang-up between the loader's tries.
struct SilentLine {
  int master = -1;
  int slave = -1;
  std::string slave_name;

  bool Open() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname(master) == nullptr) {
      return false;
    }
    slave_name = ::ptsname(master);
    slave = ::open(slave_name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return slave >= 0;
  }
  ~SilentLine() {
    for (const int fd : {slave, master}) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
};

// A /proc file's text; empty for a process that has gone (a stream would throw on that read).
std::string ProcText(const std::filesystem::path& path) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  char buffer[1024];
  for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(got));
  }
  if (fd >= 0) {
    ::close(fd);
  }
  return text;
}

// The loader's pid: the one child of this process running it (ChildProcess keeps its own).
pid_t LoaderPid() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string number = entry.path().filename().string();
    if (number.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const std::string text = ProcText(entry.path() / "stat");
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos) {
      continue;
    }
    std::istringstream rest(text.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == ::getpid() && text.substr(open + 1, close - open - 1) == "velmar-load") {
      return static_cast<pid_t>(std::atol(number.c_str()));
    }
  }
  return -1;
}

// utime + stime of every thread, from /proc/PID/stat (fields 14 and 15).
double CpuSeconds(pid_t pid) {
  const std::string text = ProcText("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(text.substr(text.rfind(')') + 1));
  std::string field;
  double ticks = 0;
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    ticks += number >= 14 ? std::atof(field.c_str()) : 0;
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct Idle {
  double window = 0;
  double cpu = 0;
};

// The loader's output is read meanwhile, so that it never waits on its terminal.
bool MeasureIdle(ChildProcess& loader, std::chrono::seconds window, Idle* idle) {
  const pid_t pid = LoaderPid();
  if (pid < 0) {
    std::fprintf(stderr, "station: the loader's process was not found\n");
    return false;
  }
  loader.WaitUntil([] { return false; }, kSettle);
  const double before = CpuSeconds(pid);
  const auto start = Steady::now();
  loader.WaitUntil([] { return false; }, window);
  idle->cpu = CpuSeconds(pid) - before;
  idle->window = Seconds(Steady::now() - start);
  return true;
}

// "2026-01-02T03:04:05.678Z", the stream's stamps.
std::optional<Wall::time_point> StampTime(const std::string& stamp) {
  std::tm parts{};
  int millis = 0;
  if (std::sscanf(stamp.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis) != 7) {
    return std::nullopt;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return Wall::from_time_t(::timegm(&parts)) + std::chrono::milliseconds(millis);
}

// The first stamp of each event of `port`, and its end's result.
struct PortEvents {
  std::map<std::string, Wall::time_point> first;
  std::string result;
};

PortEvents EventsOf(const std::string& stream, const std::string& port) {
  PortEvents events;
  std::istringstream lines(stream.substr(0, stream.rfind('\n') + 1));
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (!event.is_object() || event.value("port", "") != port) {
      continue;
    }
    const std::string name = event.value("event", "");
    const auto time = StampTime(event.value("ts", ""));
    if (time && events.first.count(name) == 0) {
      events.first[name] = *time;
    }
    if (name == "printer_end") {
      events.result = event.value("result", "");
    }
  }
  return events;
}

// The emulator's loads: from the link to the station seeing it, to the wake-up, to the model.
struct Latencies {
  std::vector<double> seen, woken, identified;
};

// The scripted station (its --json stream) or the operator's (the board, on a terminal).
enum class Front { kJson, kBoard };

bool StartStation(ChildProcess& loader, const std::filesystem::path& folder,
                  const std::string& file, Front front) {
  std::vector<std::string> argv = {
      VELMAR_LOAD, "--station", "-b", std::to_string(kBaud), "-p", (folder / "p*").string(), file};
  if (front == Front::kJson) {
    argv.insert(argv.begin() + 2, "--json");
  }
  loader.Start(
      argv, front == Front::kJson ? ChildProcess::Stdout::kPipe : ChildProcess::Stdout::kTerminal);
  // Its first words come once its watch is set up and its ports listed.
  if (!loader.WaitUntil([&] { return !loader.Out().empty(); }, kDeadline)) {
    std::fprintf(stderr, "station: the loader did not start: %s\n", loader.Err().c_str());
    return false;
  }
  return true;
}

bool StopStation(ChildProcess& loader) {
  loader.Signal(SIGTERM);
  return loader.Wait(kDeadline) && loader.ExitStatus() == 128 + SIGTERM;
}

// Reads the children's output until `done` holds, asking in short rounds: `done` may hang on
// something else than their output.
bool ReadUntil(const std::vector<ChildProcess*>& children, const std::function<bool()>& done) {
  const auto until = Steady::now() + kDeadline;
  while (!done() && Steady::now() < until) {
    for (ChildProcess* child : children) {
      child->WaitUntil(done, 10ms);
    }
  }
  return done();
}

bool EmulatedHalf(int slots, const std::filesystem::path& folder, const std::string& file,
                  Front front, std::chrono::seconds window, Latencies* latencies, Idle* idle) {
  std::filesystem::create_directories(folder);
  LineWatch watch(folder);
  ChildProcess loader;
  if (!StartStation(loader, folder, file, front)) {
    return false;
  }
  std::vector<std::unique_ptr<ChildProcess>> printers;
  bool ok = true;
  for (int i = 0; i < slots && ok; ++i) {
    const std::string name = "p" + std::to_string(i);
    const std::string port = (folder / name).string();
    printers.push_back(std::make_unique<ChildProcess>());
    ChildProcess& printer = *printers.back();
    // No --loads: the printer stays attached once loaded, its slot done.
    printer.Start({VELMAR_PRINTER, "--baud", std::to_string(kBaud), "--link", port});
    ok = ReadUntil({&printer, &loader}, [&] {
      return printer.Out().find("load 1:") != std::string::npos &&
             (front == Front::kBoard || !EventsOf(loader.Out(), port).result.empty());
    });
    ok = ok && printer.Out().find(", complete") != std::string::npos;
    if (ok && front == Front::kJson) {
      const PortEvents events = EventsOf(loader.Out(), port);
      const auto linked = watch.Appeared(name);
      ok = events.result == "loaded" && linked && events.first.count("port_appeared") &&
           events.first.count("printer_start") && events.first.count("identified");
      if (ok) {
        latencies->seen.push_back(Seconds(events.first.at("port_appeared") - *linked));
        latencies->woken.push_back(Seconds(events.first.at("printer_start") - *linked));
        latencies->identified.push_back(Seconds(events.first.at("identified") - *linked));
      }
    }
    if (!ok) {
      std::fprintf(stderr, "station: %s was not loaded: %s\n", port.c_str(), loader.Err().c_str());
    }
  }
  ok = ok && MeasureIdle(loader, window, idle);
  ok = StopStation(loader) && ok;
  for (auto& printer : printers) {
    printer->Signal(SIGTERM);
    printer->Wait(kDeadline);
  }
  return ok;
}

// Lines of the bench's own: from the link to the first wake-up byte read on the master.
bool SilentHalf(int slots, const std::filesystem::path& folder, const std::string& file,
                Front front, std::chrono::seconds window, std::vector<double>* woken, Idle* idle) {
  std::filesystem::create_directories(folder);
  LineWatch watch(folder);
  ChildProcess loader;
  if (!StartStation(loader, folder, file, front)) {
    return false;
  }
  std::vector<std::unique_ptr<SilentLine>> lines;
  bool ok = true;
  for (int i = 0; i < slots && ok; ++i) {
    lines.push_back(std::make_unique<SilentLine>());
    SilentLine& line = *lines.back();
    ok = line.Open();
    if (ok) {
      watch.AddMaster(line.master);
      const auto linked = Steady::now();
      std::filesystem::create_symlink(line.slave_name, folder / ("p" + std::to_string(i)));
      std::optional<Steady::time_point> first;
      ok = ReadUntil({&loader},
                     [&] { return (first = watch.FirstByte(line.master, 0ms)).has_value(); });
      if (ok) {
        woken->push_back(Seconds(*first - linked));
      }
    }
    if (!ok) {
      std::fprintf(stderr, "station: line %d was not woken: %s\n", i, loader.Err().c_str());
    }
  }
  ok = ok && MeasureIdle(loader, window, idle);
  return StopStation(loader) && ok;  // the loader closes its ports before the lines go
}

void WakeRow(const std::string& what, int slots, std::vector<double> values, bool goal) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double median = n == 0  ? 0
                        : n % 2 ? values[n / 2]
                                : (values[n / 2 - 1] + values[n / 2]) / 2;
  const double worst = n == 0 ? 0 : values.back();
  if (!goal) {
    std::printf("| %s | %d | %.3f | %.3f | - | - |\n", what.c_str(), slots, median, worst);
    return;
  }
  std::printf("| %s | %d | %.3f | %.3f | %.3f | %s |\n", what.c_str(), slots, median, worst,
              kWakeGoal, n > 0 && worst <= kWakeGoal ? "yes" : "no");
}

void IdleRow(const std::string& what, int slots, const Idle& idle) {
  const double percent = idle.window > 0 ? 100.0 * idle.cpu / idle.window : 0;
  std::printf("| %s | %d | %.1f | %.2f | %.2f | %.1f | %s |\n", what.c_str(), slots, idle.window,
              idle.cpu, percent, kIdleGoalPercent,
              idle.window > 0 && percent < kIdleGoalPercent ? "yes" : "no");
}

}  // namespace

bool RunStationRows(bool quick) {
  const int slots = quick ? 4 : 16;
  const auto window = quick ? 3s : 10s;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("velmar-station-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ChildProcess make;
  make.Start({VELMAR_MAKE_SAMPLES, dir.string(), "4096", "1"});
  make.Wait(60s);
  const std::string file = (dir / "sample.bin").string();

  struct Half {
    const char* front_name;
    Front front;
    Latencies emulated;
    std::vector<double> silent;
    Idle done, waiting;
  };
  std::vector<Half> halves = {{"--json", Front::kJson, {}, {}, {}, {}},
                              {"board", Front::kBoard, {}, {}, {}, {}}};
  bool ok = true;
  for (Half& half : halves) {
    const auto at = dir / half.front_name;
    ok &=
        EmulatedHalf(slots, at / "emulated", file, half.front, window, &half.emulated, &half.done);
    ok &= SilentHalf(slots, at / "silent", file, half.front, window, &half.silent, &half.waiting);
  }

  std::printf(
      "\n| station at %d baud, lines connected in turn: from the link | slots | median s | "
      "worst s | goal s | met |\n",
      kBaud);
  std::printf("|---|---|---|---|---|---|\n");
  const Latencies& emulated = halves[0].emulated;
  WakeRow("emulator: to the station seeing the port (port_appeared)", slots, emulated.seen, false);
  WakeRow("emulator: to the wake-up written (printer_start)", slots, emulated.woken, true);
  WakeRow("emulator: to the model named (identified)", slots, emulated.identified, false);
  for (const Half& half : halves) {
    WakeRow(
        std::string("own pseudo-terminal, ") + half.front_name + ": to the first wake-up byte read",
        slots, half.silent, true);
  }
  std::printf("\nThe wake-up follows the quiet line's %.0f ms (platform/serial_line.h).\n",
              kQuietSeconds * 1000);
  std::printf(
      "\n| loader idle | slots | window s | loader CPU s | CPU %% of one core | goal %% | met |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const Half& half : halves) {
    IdleRow(std::string(half.front_name) + ": every slot done, its printer loaded and attached",
            slots, half.done);
    IdleRow(std::string(half.front_name) + ": every slot waking a line where nobody answers", slots,
            half.waiting);
  }
  std::fflush(stdout);
  std::filesystem::remove_all(dir);
  return ok;
}

}  // namespace velmar::bench
