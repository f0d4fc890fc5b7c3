#include "cli/load_command.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/load_event.h"
#include "cli/load_setup.h"
#include "cli/output.h"
#include "cli/port_lines.h"
#include "cli/printer_load.h"
#include "cli/printer_window.h"
#include "cli/production_record.h"
#include "cli/refusal_text.h"
#include "cli/traced_transport.h"
#include "datafile/data_file.h"
#include "platform/console_output.h"
#include "platform/termination_signal.h"
#include "settings/profile_store.h"
#include "texts/string_table.h"

namespace velmar::cli {

namespace {

// The printers publish from their own threads; an output sees one event at a time.
class SerialisedSink final : public EventSink {
 public:
  explicit SerialisedSink(EventSink& output) : m_output(output) {}
  void Publish(const LoadEvent& event) override {
    std::lock_guard lock(m_lock);
    m_output.Publish(event);
  }
  void Close() override {
    std::lock_guard lock(m_lock);
    m_output.Close();
  }

 private:
  EventSink& m_output;
  std::mutex m_lock;
};

}  // namespace

int RunLoad(const Options& given, bool console) {
  Options options = given;
  if (options.targets.empty()) {
    const settings::ProfileStore profile;
    options.targets.push_back(Target::Serial(profile.GetString(
        settings::kSettingsSection, settings::kPortEntry, settings::kDefaultPort)));
  }
  const bool several = options.targets.size() > 1;

  // Read and checked once; every printer's window shares these bytes.
  platform::MessageQueue queue;
  PrinterWindow file_window(queue, {});
  const FileToLoad file{&file_window, datafile::ReadDataFile(options.file, file_window)};
  if (file.result.outcome != datafile::ReadOutcome::kOk) {
    return ReportRefusedFile(file.result, options.file);
  }

  const PrinterSettings settings = SettingsFor(options);
  // A board taller than the console would scroll its top lines out of the redraw's reach:
  // such a crowd gets plain lines instead.
  const bool fits = static_cast<int>(options.targets.size()) < platform::ConsoleRows();
  const std::unique_ptr<EventSink> output = MakeOutput({.json = options.json,
                                                        .several = several,
                                                        .terminal = console && (!several || fits),
                                                        .columns = platform::ConsoleColumns(),
                                                        .colour = options.colour});
  ProductionRecord record(*output);
  if (!OpenRecord(options, &record)) {
    return kExitCannotOpenFile;
  }
  SerialisedSink events(options.record.empty() ? *output : static_cast<EventSink&>(record));
  std::vector<std::unique_ptr<TraceFile>> traces;
  std::vector<std::unique_ptr<PrinterLoad>> printers;
  const std::vector<platform::PortDetails> ports = platform::LoaderLowersLatency()
                                                       ? std::vector<platform::PortDetails>{}
                                                       : platform::ListPortDetails();
  for (const Target& target : options.targets) {
    PrinterSettings own = settings;
    if (const platform::PortDetails* port =
            target.IsTcp() ? nullptr : platform::FindPort(ports, target.port)) {
      own.adapter = *port;
      if (const std::string warning = LatencyWarning(*port); !warning.empty()) {
        platform::WriteText(stderr, "velmar-load: " + target.port + ": " + warning + "\n");
      }
    }
    if (options.trace && options.trace_dir.empty()) {
      own.trace = [](const std::string& line) { std::fputs(line.c_str(), stderr); };
    } else if (options.trace) {
      traces.push_back(std::make_unique<TraceFile>(options.trace_dir, target.Name()));
      if (!traces.back()->IsOpen()) {
        platform::WriteText(
            stderr, "velmar-load: cannot write the trace file " + traces.back()->Path() + "\n");
        return kExitUsage;
      }
      own.trace = [trace = traces.back().get()](const std::string& line) { trace->Write(line); };
    }
    printers.push_back(std::make_unique<PrinterLoad>(static_cast<int>(printers.size()), target,
                                                     file, std::move(own), events));
  }

  const auto start = std::chrono::steady_clock::now();
  events.Publish(RunStartEvent(options, file, static_cast<int>(printers.size())));
  int signal_number = 0;
  {
    // Made before the printers' threads, so that they leave the two signals to the watch.
    std::atomic<platform::TerminationWatch*> watch{nullptr};
    platform::TerminationWatch termination([&] {
      while (watch.load() == nullptr) {
        std::this_thread::yield();  // the signal came while the watch was being made
      }
      const int status = platform::TerminationWatch::ExitStatusFor(watch.load()->Caught());
      for (auto& printer : printers) {
        printer->Stop(status);
      }
    });
    watch.store(&termination);
    for (auto& printer : printers) {
      printer->Start();
    }
    for (auto& printer : printers) {
      printer->Join();  // every port is closed once this returns
    }
    signal_number = termination.Caught();
  }

  LoadEvent run_end;
  run_end.kind = EventKind::kRunEnd;
  run_end.printers = static_cast<int>(printers.size());
  for (const auto& printer : printers) {
    ++(printer->Loaded() ? run_end.loaded_count : run_end.failed_count);
  }
  if (signal_number != 0) {
    run_end.status = platform::TerminationWatch::ExitStatusFor(signal_number);
  } else if (!several) {
    run_end.status = printers.front()->Status();
  } else {
    run_end.status = run_end.failed_count == 0 ? kExitSuccess : kExitSomeFailed;
  }
  run_end.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  events.Publish(run_end);
  events.Close();
  if (signal_number != 0 && several) {
    platform::WriteText(stderr, "velmar-load: stopped by signal " + std::to_string(signal_number) +
                                    "; every port is closed\n");
  }
  return run_end.status;
}

}  // namespace velmar::cli
