#pragma once
// A station: loads every printer as it is connected, one slot a port, until it is stopped.
//
// Principles of operation: one control thread (Run's caller) owns the slot book and every
// printer's load. It sleeps in the port watch and wakes when a port may have come or gone, when
// a load publishes an event (loads publish into the station's inbox from their own threads),
// when the operator says "next", or when Stop is called; it then takes what came in order and
// lists the ports again where they may have changed. A slot's load waits for a printer for as
// long as the station runs (each try lets the line go quiet and sends the wake-up) and loads the
// printer that answers, with the loader's retries. Its events reach the output once that printer
// has answered: a slot stopped while it was still waiting (its port went, or the station
// stopped) leaves nothing in the output or the record. A port that goes mid-load ends that load
// as a lost connection; the loads of the other slots go on untouched. Stop (any thread) stops
// every load, their ports closed properly, and Run publishes the run's end and returns.

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/load_event.h"
#include "cli/options.h"
#include "cli/printer_load.h"
#include "cli/station_board.h"
#include "cli/station_slots.h"
#include "cli/traced_transport.h"
#include "platform/port_watch.h"

namespace velmar::cli {

class Station final : public EventSink {
 public:
  // `out` takes the events (the record in front of the output); `board`, when there is one,
  // is drawn after each change.
  Station(const Options& options, const FileToLoad& file, EventSink& out, StationBoard* board);
  ~Station() override;
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Until Stop; returns the status Stop was given.
  int Run();
  void Stop(int status);
  // An operator's line: "next" or an empty line (every slot that is done), "next PORT".
  void Command(const std::string& line);
  // The loads' events, from their threads.
  void Publish(const LoadEvent& event) override;

 private:
  struct Running {
    std::unique_ptr<PrinterLoad> load;
    bool answered = false;
    bool stopped = false;                 // by its port going
    std::optional<LoadEvent> held_start;  // published once the printer answers
  };

  void Relist();
  void Apply(const std::vector<SlotAction>& actions);
  void StartSlot(size_t slot);
  void StopSlot(size_t slot);
  void TakeEvents();
  void TakeCommands();
  void Handle(const LoadEvent& event);
  void Answered(size_t slot);
  void Finish(size_t slot);
  void SlotEvent(EventKind kind, size_t slot);
  void Draw(bool force);

  const Options& m_options;
  const FileToLoad& m_file;
  EventSink& m_out;
  StationBoard* m_board;
  PrinterSettings m_settings;
  SlotBook m_book;
  platform::PortWatch m_watch;
  std::vector<Running> m_running;                    // by slot
  std::vector<std::unique_ptr<TraceFile>> m_traces;  // by slot, with --trace-dir
  StationCounts m_counts;
  HourlyRate m_rate;
  bool m_stopping = false;
  bool m_redraw_pending = false;

  std::mutex m_lock;
  std::deque<LoadEvent> m_events;      // under m_lock
  std::deque<std::string> m_commands;  // under m_lock
  int m_stop_status = -1;              // under m_lock; -1: running
};

}  // namespace velmar::cli
