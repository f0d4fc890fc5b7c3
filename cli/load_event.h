#pragma once
// What happens in a load of one file into one or more printers, as events that the outputs
// (the terminal board, plain lines, the JSON stream) render.
//
// Principles of operation: each printer's run publishes its own events from its own thread;
// the loader serialises every Publish under one lock, so an output needs no lock of its own
// and sees each printer's events in the order they happened. Only the fields of an event's kind
// are set. A printer's name is its serial port as given, or HOST:PORT for a TCP connection.
//
//   kRunStart      once, before any printer: file, font, model, size, sha256, printers
//   kPrinterStart  once a printer, before its first attempt: printer, port, adapter (where the
//                  loader listed it)
//   kIdentified    the printer named its model: model (a font load's printer; a program load
//                  gives the file's model, confirmed when the printer accepts it, or the
//                  printer's own just before its end when it is of another model)
//   kProgress      at most ten a second a printer, and once at the end of a block run:
//                  bytes of the file's payload sent so far, of total; line_bytes, every byte
//                  that crossed the line both ways in this attempt, for a rate
//   kRetry         a failed attempt will be tried again: attempt (the one about to start,
//                  from 2), reason (the failed attempt's key)
//   kPrinterEnd    once a printer: loaded, status (the exit status one printer would give),
//                  key, text (the Russian text the user is shown, possibly several lines),
//                  elapsed (seconds since the printer's start), attempts
//   kRunEnd        once, last: loaded_count, failed_count, printers, status, elapsed
// A station (--station) adds its slots' events, `printer` being the slot's index:
//   kPortAppeared  a wanted port exists (again): port, adapter
//   kPortGone      it went: port
//   kRearmed       the operator said "next" for a slot whose load was done: port
// and gives kPrinterStart its adapter, from the listing made when the port appeared.

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/port_listing.h"

namespace velmar::cli {

enum class EventKind {
  kRunStart,
  kPrinterStart,
  kIdentified,
  kProgress,
  kRetry,
  kPrinterEnd,
  kRunEnd,
  kPortAppeared,
  kPortGone,
  kRearmed,
};

struct LoadEvent {
  EventKind kind = EventKind::kRunStart;
  std::chrono::system_clock::time_point time = std::chrono::system_clock::now();
  int printer = -1;  // index in the order the printers were given; -1 for the run's events
  std::string port;
  platform::PortDetails adapter;  // name empty: not known

  // kRunStart
  std::string file;
  bool font = false;
  std::string model;  // also kIdentified: the model name in the file's (or printer's) bytes
  int64_t size = 0;   // the file's size in bytes
  std::string sha256;
  int printers = 0;  // also kRunEnd

  // kProgress
  int64_t bytes = 0;
  int64_t total = 0;
  int64_t line_bytes = 0;

  // kRetry
  int attempt = 0;
  std::string reason;

  // kPrinterEnd
  bool loaded = false;
  int status = 0;  // also kRunEnd: the loader's exit status
  std::string key;
  std::string text;
  double elapsed = 0;  // also kRunEnd
  int attempts = 0;

  // kRunEnd
  int loaded_count = 0;
  int failed_count = 0;
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Publish(const LoadEvent& event) = 0;
  // Called once after kRunEnd, and before the process ends on a signal: whatever an output
  // holds back (a board being redrawn) is written out.
  virtual void Close() {}
};

}  // namespace velmar::cli
