#include "cli/station.h"

#include <filesystem>

#include "cli/load_setup.h"
#include "cli/output_text.h"
#include "platform/console_output.h"
#include "platform/path_glob.h"

namespace velmar::cli {

namespace {

// Beside the watch, which may miss what it cannot see (a folder made after it started).
constexpr auto kRelistInterval = std::chrono::seconds(2);
constexpr auto kRedrawSoon = std::chrono::milliseconds(100);
// A slot waits for its printer as long as the station runs. Its port is usually there
// already, so each try takes the whole reply time-out: a second between tries keeps the idle
// cost of many silent lines low and delays a printer switched on mid-round by at most that.
constexpr auto kAsLongAsItRuns = std::chrono::hours(24 * 365);
constexpr auto kBetweenTries = std::chrono::seconds(1);
constexpr char kNext[] = "next";

std::vector<std::string> Patterns(const Options& options) {
  std::vector<std::string> patterns;
  for (const Target& target : options.targets) {
    patterns.push_back(target.port);
  }
  return patterns;
}

// The folders the patterns name, for links and pseudo-terminals that make no device event.
std::vector<std::string> Folders(const std::vector<std::string>& patterns) {
  std::vector<std::string> folders;
  for (const std::string& pattern : patterns) {
    const std::string folder = std::filesystem::path(pattern).parent_path().string();
    if (!folder.empty() && folder.find_first_of("*?[") == std::string::npos) {
      folders.push_back(folder);
    }
  }
  return folders;
}

std::string Trimmed(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t\r");
  return first == std::string::npos
             ? ""
             : line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
}

}  // namespace

Station::Station(const Options& options, const FileToLoad& file, EventSink& out,
                 StationBoard* board)
    : m_options(options),
      m_file(file),
      m_out(out),
      m_board(board),
      m_settings(SettingsFor(options)),
      m_book(Patterns(options)),
      m_watch(Folders(Patterns(options))) {
  m_settings.wait = kAsLongAsItRuns;
  m_settings.wait_poll = kBetweenTries;
}

Station::~Station() {
  for (Running& run : m_running) {
    run.load.reset();  // stops and joins
  }
}

void Station::Publish(const LoadEvent& event) {
  {
    std::lock_guard lock(m_lock);
    m_events.push_back(event);
  }
  m_watch.Wake();
}

void Station::Stop(int status) {
  {
    std::lock_guard lock(m_lock);
    if (m_stop_status < 0) {
      m_stop_status = status;
    }
  }
  m_watch.Wake();
}

void Station::Command(const std::string& line) {
  {
    std::lock_guard lock(m_lock);
    m_commands.push_back(line);
  }
  m_watch.Wake();
}

int Station::Run() {
  const auto start = std::chrono::steady_clock::now();
  m_out.Publish(RunStartEvent(m_options, m_file, 0));
  Relist();
  auto listed = std::chrono::steady_clock::now();
  Draw(true);
  int status = -1;
  for (;;) {
    const platform::PortWatchWait woke =
        m_watch.Wait(m_board != nullptr && m_redraw_pending ? kRedrawSoon : kRelistInterval);
    {
      std::lock_guard lock(m_lock);
      status = m_stop_status;
    }
    if (status >= 0) {
      break;
    }
    TakeEvents();
    TakeCommands();
    // The events of busy loads and the board's redraws come often: the ports are listed
    // again only when they may have changed, or now and then.
    const auto now = std::chrono::steady_clock::now();
    if (woke == platform::PortWatchWait::kChanged || now - listed >= kRelistInterval) {
      Relist();
      listed = now;
    }
    Draw(false);
  }

  m_stopping = true;
  for (Running& run : m_running) {
    if (run.load) {
      run.load->Stop(status);
    }
  }
  for (Running& run : m_running) {
    if (run.load) {
      run.load->Join();  // its port is closed once this returns
    }
  }
  TakeEvents();
  LoadEvent end;
  end.kind = EventKind::kRunEnd;
  end.printers = static_cast<int>(m_book.Slots().size());
  end.loaded_count = m_counts.loaded;
  end.failed_count = m_counts.failed;
  end.status = status;
  end.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m_out.Publish(end);
  Draw(true);
  return status;
}

void Station::Relist() {
  const std::vector<platform::PortDetails> listed = platform::ListPortDetails();
  std::vector<platform::PortDetails> present = listed;
  for (const Target& pattern : m_options.targets) {
    for (std::string& path : platform::PortPathsMatching(pattern.port)) {
      if (platform::FindPort(listed, path) == nullptr) {
        present.emplace_back();
        present.back().name = std::move(path);
      }
    }
  }
  std::vector<SlotState> before;
  for (const Slot& slot : m_book.Slots()) {
    before.push_back(slot.state);
  }
  const std::vector<SlotAction> actions = m_book.Update(present);
  m_running.resize(m_book.Slots().size());
  for (size_t i = 0; i < m_book.Slots().size(); ++i) {
    const bool was = i < before.size() && before[i] != SlotState::kNoPort;
    const bool is = m_book.Slots()[i].state != SlotState::kNoPort;
    if (was != is) {
      SlotEvent(is ? EventKind::kPortAppeared : EventKind::kPortGone, i);
    }
  }
  Apply(actions);
}

void Station::Apply(const std::vector<SlotAction>& actions) {
  for (const SlotAction& action : actions) {
    if (action.kind == SlotAction::kStop) {
      StopSlot(action.slot);
    }
  }
  for (const SlotAction& action : actions) {
    if (action.kind == SlotAction::kStart) {
      StartSlot(action.slot);
    }
  }
  m_redraw_pending = m_redraw_pending || !actions.empty();
}

void Station::StartSlot(size_t slot) {
  Finish(slot);  // a load that ended is joined before its slot loads again
  PrinterSettings own = m_settings;
  const std::string& port = m_book.Slots()[slot].port.name;
  own.adapter = m_book.Slots()[slot].port;  // the one plugged in now
  if (!m_options.trace_dir.empty()) {
    m_traces.resize(m_book.Slots().size());
    if (!m_traces[slot]) {
      m_traces[slot] = std::make_unique<TraceFile>(m_options.trace_dir, port);
    }
    own.trace = [trace = m_traces[slot].get()](const std::string& line) { trace->Write(line); };
  }
  m_running[slot].load = std::make_unique<PrinterLoad>(static_cast<int>(slot), Target::Serial(port),
                                                       m_file, own, *this);
  m_running[slot].load->Start();
}

void Station::StopSlot(size_t slot) {
  if (!m_running[slot].load) {
    return;
  }
  // Joined here, before anything else happens on the slot: its end is taken while the book
  // still says that its port went.
  m_running[slot].stopped = true;
  m_running[slot].load->PortGone();
  m_running[slot].load->Join();
  TakeEvents();
  Finish(slot);
}

void Station::TakeEvents() {
  std::deque<LoadEvent> events;
  {
    std::lock_guard lock(m_lock);
    events.swap(m_events);
  }
  for (const LoadEvent& event : events) {
    Handle(event);
  }
}

void Station::TakeCommands() {
  std::deque<std::string> commands;
  {
    std::lock_guard lock(m_lock);
    commands.swap(m_commands);
  }
  for (const std::string& line : commands) {
    const std::string command = Trimmed(line);
    std::string port;
    if (command.rfind(kNext, 0) == 0 && (command.size() == 4 || command[4] == ' ')) {
      port = Trimmed(command.substr(4));
    } else if (!command.empty()) {
      platform::WriteText(
          stderr, "velmar-load: not a station command: " + command + " (next, or next PORT)\n");
      continue;
    }
    const std::vector<SlotAction> starts = m_book.Rearm(port);
    for (const SlotAction& action : starts) {
      SlotEvent(EventKind::kRearmed, action.slot);
    }
    Apply(starts);
  }
}

void Station::Handle(const LoadEvent& event) {
  const auto slot = static_cast<size_t>(event.printer);
  Running& run = m_running[slot];
  switch (event.kind) {
    case EventKind::kPrinterStart:
      run.held_start = event;
      return;
    case EventKind::kPrinterEnd: {
      if (!run.answered && (run.stopped || m_stopping)) {
        return;  // stopped while it waited: nothing was loaded or failed
      }
      Answered(slot);
      m_redraw_pending = true;
      m_book.Ended(slot, event.loaded, std::string(FirstLine(event.text)));
      ++(event.loaded ? m_counts.loaded : m_counts.failed);
      if (event.loaded) {
        m_rate.Loaded(std::chrono::steady_clock::now());
      }
      break;
    }
    case EventKind::kProgress:
      if (!run.answered) {
        return;  // the bar set up for an attempt: no printer has said anything yet
      }
      m_redraw_pending = true;
      m_book.Progress(slot,
                      event.total > 0 ? static_cast<int>(event.bytes * 100 / event.total) : 0);
      break;
    default:
      Answered(slot);
      m_redraw_pending = true;
      break;
  }
  m_out.Publish(event);
}

void Station::Answered(size_t slot) {
  Running& run = m_running[slot];
  if (run.answered) {
    return;
  }
  run.answered = true;
  m_book.Started(slot);
  if (run.held_start) {
    m_out.Publish(*run.held_start);
    run.held_start.reset();
  }
}

void Station::Finish(size_t slot) {
  Running& run = m_running[slot];
  if (run.load) {
    run.load->Join();
    run.load.reset();
  }
  run.answered = false;
  run.stopped = false;
  run.held_start.reset();
}

void Station::SlotEvent(EventKind kind, size_t slot) {
  LoadEvent event;
  event.kind = kind;
  event.printer = static_cast<int>(slot);
  event.port = m_book.Slots()[slot].port.name;
  if (kind == EventKind::kPortAppeared) {
    event.adapter = m_book.Slots()[slot].port;
  }
  m_out.Publish(event);
  m_redraw_pending = true;
}

void Station::Draw(bool force) {
  if (m_board == nullptr) {
    m_redraw_pending = false;
    return;
  }
  if (!force && !m_redraw_pending) {
    return;
  }
  m_counts.last_hour = m_rate.Count(std::chrono::steady_clock::now());
  m_redraw_pending = !m_board->Draw(m_book.Slots(), m_counts, force);
}

}  // namespace velmar::cli
