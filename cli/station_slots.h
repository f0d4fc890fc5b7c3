#pragma once
// The station's slots: one a port, and the rule of when each may wake a printer.
//
// Principles of operation: a slot is made for each port that matches the station's patterns
// once it first exists, and kept for the station's life, so that its counters run on across
// plug and unplug. A slot wakes a printer only while it is armed. It is armed when it is made
// and whenever its port comes back after having gone (the printer or the adapter was unplugged,
// the next one plugged in); a load's end disarms it, so that a printer that has just restarted
// on its new program is never woken again while it may still be attached. For a port that
// stays (a fixed cable), the operator's word re-arms it (Rearm). A port that goes stops
// whatever its slot was doing. Update compares the ports present with the slots and says what
// to start and stop; the caller runs the loads and reports their ends. Nothing here touches a
// port or a thread: it is called from the station's one control thread.

#include <string>
#include <vector>

#include "platform/port_listing.h"

namespace velmar::cli {

enum class SlotState {
  kNoPort,   // its port is not there
  kWaiting,  // waking: waiting for a printer to answer
  kLoading,
  kLoaded,  // done: remove the printer (or say "next")
  kFailed,  // done, with a reason: remove the printer (or say "next")
};

struct Slot {
  platform::PortDetails port;
  SlotState state = SlotState::kNoPort;
  bool armed = true;
  int loaded = 0;
  int failed = 0;
  int percent = 0;
  std::string reason;  // the last failure's text
};

struct SlotAction {
  enum Kind { kStart, kStop } kind;
  size_t slot;
};

// Whether `name` matches one of `patterns` (shell wildcards: * and ?); an empty list takes
// every USB serial port. The port's by-id link is matched as well as its name.
bool PortWanted(const platform::PortDetails& port, const std::vector<std::string>& patterns);

class SlotBook {
 public:
  explicit SlotBook(std::vector<std::string> patterns) : m_patterns(std::move(patterns)) {}

  // `present`: every port that exists now (the listing). New slots are added at the end.
  std::vector<SlotAction> Update(const std::vector<platform::PortDetails>& present);
  void Started(size_t slot);  // the printer answered: its load runs
  void Progress(size_t slot, int percent);
  void Ended(size_t slot, bool loaded, std::string reason);
  // The operator's "next": re-arms the done slots of `port` (empty: all) whose port is there;
  // returns what to start.
  std::vector<SlotAction> Rearm(const std::string& port);

  const std::vector<Slot>& Slots() const { return m_slots; }

 private:
  std::vector<std::string> m_patterns;
  std::vector<Slot> m_slots;
};

}  // namespace velmar::cli
