#pragma once
// One printer's load, on a thread of its own, so that one printer's failure, silence or hang-up
// never stops, slows or fails another.
//
// Principles of operation: the thread makes its own message queue, window and run (its port,
// reception thread and Watchdog), exactly as one load does, and deletes the run on itself. It
// publishes the printer's events: its start (once its port first opens, or with its end), the model
// it names, progress at most ten times a second, each retry, and one end. Attempts:
//   - a port that does not open, or a printer silent at the wake-up (or whose port went before
//     it said anything), is tried again after `wait_poll` until `wait` has passed since the
//     printer's start; waiting is no retry;
//   - a load that failed by a time-out, a lost port, a bad echo or an integrity error starts
//     again from the wake-up, up to `retries` more times; the port is opened afresh for it (and
//     waited for, as above, when it has not come back), so the line goes quiet first as on any
//     opening. A wrong or unsupported model, or a
//     file with no data, is never retried: another attempt ends the same way.
// Stop (any thread) ends the attempt under way at once, the port closed properly, and no other
// starts; the printer's end is then the status Stop was given, key "interrupted". PortGone
// stops it the same way for a port that went away: the end is then a lost connection.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/load_event.h"
#include "cli/options.h"
#include "cli/traced_transport.h"
#include "datafile/data_file.h"
#include "platform/manual_reset_event.h"
#include "platform/window_message.h"

namespace velmar::engine {
class Downloader;
}  // namespace velmar::engine

namespace velmar::cli {

inline constexpr std::chrono::milliseconds kWaitPoll{250};
inline constexpr std::chrono::milliseconds kProgressInterval{100};

// The file every printer loads, read once before any starts and only read afterwards.
struct FileToLoad {
  const datafile::LoadWindow* members = nullptr;
  datafile::DataFileResult result;
};

struct PrinterSettings {
  int32_t baud_rate = 0;  // serial ports
  int32_t retries = 0;
  std::chrono::milliseconds wait{0};
  std::chrono::milliseconds wait_poll = kWaitPoll;  // between tries while waiting
  TracedTransport::TraceLine trace;                 // empty: no trace; it must outlive Join
  platform::PortDetails adapter;  // in the printer's start; name empty: not listed
};

class PrinterLoad {
 public:
  PrinterLoad(int index, Target target, const FileToLoad& file, PrinterSettings settings,
              EventSink& events);
  ~PrinterLoad();
  PrinterLoad(const PrinterLoad&) = delete;
  PrinterLoad& operator=(const PrinterLoad&) = delete;

  void Start();
  void Stop(int status);
  void PortGone();
  void Join();
  // After Join: whether the printer was loaded, and the exit status its end stands for.
  bool Loaded() const { return m_loaded; }
  int Status() const { return m_status; }

 private:
  void Run();
  // Tries until the printer's end; false when Stop ended it before that was published.
  bool Attempts(platform::MessageQueue& queue);
  LoadEvent Event(EventKind kind) const;
  // A run on the printer's port (opened, or not if it cannot be), counted through `traced`.
  std::unique_ptr<engine::Downloader> MakeRun(datafile::LoadWindow& window,
                                              TracedTransport** traced) const;
  // Publishes the printer's start unless it was published.
  void Announce();
  void End(bool loaded, int status, const char* key, std::string text);
  bool Stopped() const { return m_stop_event.IsSet(); }

  const int m_index;
  const Target m_target;
  const FileToLoad& m_file;
  const PrinterSettings m_settings;
  EventSink& m_events;
  std::chrono::steady_clock::time_point m_start;
  bool m_announced = false;
  int m_attempts = 0;
  bool m_loaded = false;
  int m_status = 0;

  platform::ManualResetEvent m_stop_event{false};
  std::mutex m_stop_lock;
  int m_stop_status = 0;                      // under m_stop_lock; kExitPortLost: PortGone
  platform::MessageQueue* m_queue = nullptr;  // the thread's, while it pumps; under m_stop_lock
  std::thread m_thread;
};

}  // namespace velmar::cli
