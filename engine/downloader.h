#pragma once
// One download run: its transport, receive buffer, protocol state and reply time-out.
//
// Principles of operation: the window creates a run, asks m_transport->IsOpen(), starts a
// program or font load, and deletes the run when it handles the notification that ended it.
// Received bytes arrive through OnDataReceived on the transport's delivery thread, are
// appended to m_rx, and ProcessReply judges them. Every awaited reply is guarded by the
// Watchdog, which counts m_timeout_ticks ticks of about 1 ms and on expiry returns the run to
// idle, empties m_rx and posts LN_TIMEOUT. A batch that can only be part of the awaited reply
// (an incomplete reply still growing) restarts the full time-out; bytes that can never become
// it earn no time, so a line that babbles ends the load as surely as a silent one. One lock of
// the run serialises the delivery thread, the start operations and the Watchdog's expiry. The
// Watchdog is one thread per run, started by the first StartWatchdog and ended by the
// destructor; in between, StartWatchdog and StopWatchdog arm and disarm its deadline, and it
// wakes only when that deadline may have passed.
//
// A run reports one outcome: once it has posted a notification that ends the load, it posts
// nothing more and discards every byte it receives; bytes received while idle are discarded.
// Every write is checked: a frame that could not be sent ends the load at once, as
// LN_PORT_LOST when the connection has gone and as LN_TIMEOUT when the printer took nothing
// for the transport's bound. The transport telling of a lost connection ends it the same way.
// The last frame of a load counts only once it has left (Transport::AwaitSent): LN_DONE is
// never posted for a load whose end the printer may not have been told.
//
//   StartProgramLoad  takes the first block; posts LN_NO_DATA when there is none, else sends
//                     ESC "BOOT" and arms the time-out. Without a Watchdog thread there would
//                     be no time-out: then nothing is sent and the start ends as LN_TIMEOUT.
//   StartFontLoad     clears the window's block; posts LN_NO_DATA for an empty font, else as
//                     StartProgramLoad.
//   IsBusy            true while the protocol state is not idle; safe from any thread.
//   StartWatchdog     arms the time-out unless it is already counting.
//   StopWatchdog      stops the time-out and returns once it has stopped (at once when idle).
//   BytesDue          how many more bytes the awaited reply needs at least; 0 when nothing is
//                     awaited. A transport may wait for them to cross the line before it
//                     delivers, so that a reply arrives as one batch.
//   ~Downloader       never deadlocks: sends to the destroying thread's windows are refused
//                     meanwhile, the delivery thread is ended by closing the transport, and
//                     no Watchdog outlives the run.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "datafile/load_window.h"
#include "platform/byte_array.h"
#include "platform/manual_reset_event.h"
#include "platform/window_message.h"
#include "transport/transport.h"

namespace velmar::engine {

inline constexpr int32_t kTimeoutTicks = 2000;
inline constexpr std::chrono::milliseconds kWatchdogTick{1};
inline constexpr int32_t kReadCapacity = 8192;

enum ProtocolState : int32_t {
  kIdle = 0,
  kProgramWake = 1,
  kProgramIdent = 2,
  kProgramReadReply = 3,
  kProgramAddressReply = 4,
  kProgramLengthReply = 5,
  kProgramEcho = 6,
  kProgramStatusReply = 7,
  kFontWake = 8,
  kFontIdent = 9,
  kFontStatusReply = 10,
  kFontReadReply = 11,
  kFontAddressReply = 12,
  kFontLengthReply = 13,
  kFontEcho = 14,
};

// The state numbers of one kind of load (program or font).
struct ProtocolPhase;

class Downloader : public transport::ReceiveSink {
 public:
  using TransportFactory =
      std::function<std::unique_ptr<transport::Transport>(transport::ReceiveSink* owner)>;

  Downloader(datafile::LoadWindow* window, std::string connection_type, std::string host,
             int32_t port_number, std::string port_name, int32_t baud_rate);
  // For hosts and tests that bring their own transport.
  Downloader(datafile::LoadWindow* window, const TransportFactory& make_transport);
  virtual ~Downloader();
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  void StartProgramLoad();
  void StartFontLoad();
  bool IsBusy() const { return m_state.load() != kIdle; }
  void OnDataReceived() override;
  int32_t BytesDue() override;
  void OnConnectionLost() override;
  void StartWatchdog();
  void StopWatchdog();

  // Written by the delivery thread and the Watchdog under the run's lock; read them from
  // another thread only after the notification that ended the run.
  int32_t m_expected_length = 0;
  platform::ManualResetEvent m_stop_event{false};
  platform::ManualResetEvent m_watchdog_idle_event{true};
  datafile::LoadWindow* m_window;
  platform::ByteArray m_rx;
  const int32_t m_timeout_ticks = kTimeoutTicks;
  std::atomic<int32_t> m_state{kIdle};
  std::unique_ptr<transport::Transport> m_transport;
  uint8_t m_result_byte = 0;
  uint8_t m_status_byte = 0;
  int32_t m_font_blocks = 0;
  std::string m_reported_model;

 protected:
  // Starts the Watchdog's thread running Watchdog(); false when the system cannot.
  virtual bool StartWatchdogThread(std::thread& thread);
  void Watchdog();

 private:
  // Sends ESC "BOOT" in state `wake_state`, with a time-out ready to guard the reply.
  void Start(int32_t wake_state);
  // The time-out has passed: ends the run unless a reply got in first.
  void Expire();
  // Ends the run: idle, nothing kept of what came, `ending` posted; the run's lock is held.
  void Abandon(platform::MessageId ending);
  // Arms the time-out to end at `deadline`; false when the run is closing or no Watchdog runs.
  void ArmWatchdog(std::chrono::steady_clock::time_point deadline);
  // Re-arms the time-out with what was left of it, or ends the run now when nothing was left:
  // for bytes that can never become the awaited reply. The run's lock is held.
  void ResumeWatchdog();
  void ProcessReply();
  const ProtocolPhase& CurrentPhase() const;
  void OnWakeReply(const ProtocolPhase& phase);
  void OnIdentification(const ProtocolPhase& phase);
  void OnReadReply(const ProtocolPhase& phase);
  void OnProgramAddressReply(const ProtocolPhase& phase);
  void OnFontAddressReply(const ProtocolPhase& phase);
  void OnLengthReply(const ProtocolPhase& phase);
  void OnEcho(const ProtocolPhase& phase);
  void OnStatusReply(const ProtocolPhase& phase);
  void PrepareFontBlock();

  // The incomplete-reply rule: true (with the time-out re-armed) while m_rx is short.
  bool AwaitingMore();
  void SendCommand(int32_t next_state, int32_t expected_length, const uint8_t* frame,
                   int32_t length);
  void SendShort(int32_t next_state, uint8_t letter, uint8_t arg0, uint8_t arg1);
  // Writes a frame; when it could not go, ends the load and returns false.
  bool Send(const uint8_t* frame, int32_t length);
  // Ends the load for a connection that failed to carry a frame or went away.
  void EndByTransport();
  // Posts a notification that ends the load, unless one was posted already.
  void Finish(platform::MessageId notification);
  // Posts a notification that leaves the load running.
  void Report(platform::MessageId notification);

  std::mutex m_lock;     // the run's one lock
  bool m_ended = false;  // an ending notification was posted; under m_lock
  std::atomic<bool> m_closing{false};

  // Guards the Watchdog thread and its arming, the members below.
  std::mutex m_watchdog_lock;
  std::condition_variable m_watchdog_wake;
  std::optional<std::chrono::steady_clock::time_point> m_deadline;  // set while counting
  std::chrono::steady_clock::time_point m_reply_deadline;           // the last deadline armed
  bool m_watchdog_parked = false;  // waiting with no deadline: arming must wake it
  bool m_watchdog_quit = false;
  std::thread m_watchdog_thread;
};

// The current run of the calling thread: each run stores itself in the g_current_run of the
// thread that constructs it and clears it when destroyed there, so that several threads may
// each hold a run of their own.
extern thread_local std::atomic<Downloader*> g_current_run;

}  // namespace velmar::engine
