#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/colour.h"
#include "cli/load_command.h"
#include "cli/load_setup.h"
#include "cli/output.h"
#include "cli/printer_window.h"
#include "cli/production_record.h"
#include "cli/refusal_text.h"
#include "cli/station.h"
#include "datafile/data_file.h"
#include "platform/console_output.h"
#include "platform/termination_signal.h"

namespace velmar::cli {

namespace {

// The board draws everything a person reads on a terminal; the events go only to the record.
class NoOutput final : public EventSink {
 public:
  void Publish(const LoadEvent&) override {}
};

// The operator's lines reach the station for as long as it runs; the reader, blocked in a read
// that cannot be cut short, outlives it and then drops them.
struct CommandRoute {
  std::mutex lock;
  Station* station = nullptr;  // under lock
};

void ReadCommands(std::shared_ptr<CommandRoute> route) {
  for (std::string line; std::getline(std::cin, line);) {
    std::lock_guard lock(route->lock);
    if (route->station == nullptr) {
      return;
    }
    route->station->Command(line);
  }
}

}  // namespace

int RunStation(const Options& options, bool console) {
  platform::MessageQueue queue;
  PrinterWindow file_window(queue, {});
  const FileToLoad file{&file_window, datafile::ReadDataFile(options.file, file_window)};
  if (file.result.outcome != datafile::ReadOutcome::kOk) {
    return ReportRefusedFile(file.result, options.file);
  }
  const bool board = console && !options.json;
  const std::unique_ptr<EventSink> output = board ? std::make_unique<NoOutput>()
                                                  : MakeOutput({.json = options.json,
                                                                .several = true,
                                                                .terminal = false,
                                                                .colour = options.colour});
  ProductionRecord record(*output);
  if (!OpenRecord(options, &record)) {
    return kExitCannotOpenFile;
  }
  StationBoard drawn(stdout, platform::ConsoleColumns() > 0 ? platform::ConsoleColumns() : 80,
                     UseColour(options.colour, stdout));
  EventSink& events = options.record.empty() ? *output : static_cast<EventSink&>(record);
  Station station(options, file, events, board ? &drawn : nullptr);

  int status = 0;
  int signal_number = 0;
  {
    // Made before any other thread, so that every thread leaves the two signals to it.
    std::atomic<platform::TerminationWatch*> watch{nullptr};
    platform::TerminationWatch termination([&] {
      while (watch.load() == nullptr) {
        std::this_thread::yield();  // the signal came while the watch was being made
      }
      station.Stop(platform::TerminationWatch::ExitStatusFor(watch.load()->Caught()));
    });
    watch.store(&termination);
    auto route = std::make_shared<CommandRoute>();
    route->station = &station;
    std::thread(ReadCommands, route).detach();
    status = station.Run();
    {
      std::lock_guard lock(route->lock);
      route->station = nullptr;
    }
    signal_number = termination.Caught();
  }
  events.Close();
  if (signal_number != 0) {
    platform::WriteText(stderr, "velmar-load: stopped by signal " + std::to_string(signal_number) +
                                    "; every port is closed\n");
  }
  return status;
}

}  // namespace velmar::cli
