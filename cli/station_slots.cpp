#include "cli/station_slots.h"

#include <algorithm>
#include <string_view>

namespace velmar::cli {

namespace {

// Shell wildcards as the user types them on every system: * any run within one path
// component, ? one character; the rest stands for itself.
bool Wildcard(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) {
    return name.empty();
  }
  if (pattern.front() == '*') {
    for (size_t skip = 0; skip <= name.size(); ++skip) {
      if (Wildcard(pattern.substr(1), name.substr(skip))) {
        return true;
      }
      if (skip < name.size() && name[skip] == '/') {
        return false;
      }
    }
    return false;
  }
  if (name.empty() || (pattern.front() != '?' && pattern.front() != name.front()) ||
      (pattern.front() == '?' && name.front() == '/')) {
    return false;
  }
  return Wildcard(pattern.substr(1), name.substr(1));
}

bool Matches(const std::string& pattern, const std::string& name) {
  return !name.empty() && Wildcard(pattern, name);
}

bool IsDone(SlotState state) {
  return state == SlotState::kLoaded || state == SlotState::kFailed;
}

}  // namespace

bool PortWanted(const platform::PortDetails& port, const std::vector<std::string>& patterns) {
  if (patterns.empty()) {
    return port.IsUsb();
  }
  return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
    return Matches(pattern, port.name) || Matches(pattern, port.by_id);
  });
}

std::vector<SlotAction> SlotBook::Update(const std::vector<platform::PortDetails>& present) {
  std::vector<SlotAction> actions;
  std::vector<bool> seen(m_slots.size(), false);
  for (const platform::PortDetails& port : present) {
    if (!PortWanted(port, m_patterns)) {
      continue;
    }
    const auto found = std::find_if(m_slots.begin(), m_slots.end(),
                                    [&](const Slot& slot) { return slot.port.name == port.name; });
    size_t index = static_cast<size_t>(found - m_slots.begin());
    if (found == m_slots.end()) {
      m_slots.push_back(Slot{});
      seen.push_back(false);
    }
    seen[index] = true;
    Slot& slot = m_slots[index];
    slot.port = port;  // the adapter plugged in now, which may be another one
    if (slot.state == SlotState::kNoPort && slot.armed) {
      slot.state = SlotState::kWaiting;
      slot.percent = 0;
      actions.push_back({SlotAction::kStart, index});
    }
  }
  for (size_t index = 0; index < m_slots.size(); ++index) {
    Slot& slot = m_slots[index];
    if (seen[index] || slot.state == SlotState::kNoPort) {
      continue;
    }
    if (slot.state == SlotState::kWaiting || slot.state == SlotState::kLoading) {
      actions.push_back({SlotAction::kStop, index});
    }
    slot.state = SlotState::kNoPort;
    slot.armed = true;  // whatever comes back on it is another printer
  }
  return actions;
}

void SlotBook::Started(size_t slot) {
  if (m_slots[slot].state == SlotState::kWaiting) {
    m_slots[slot].state = SlotState::kLoading;
  }
}

void SlotBook::Progress(size_t slot, int percent) {
  m_slots[slot].percent = percent;
}

void SlotBook::Ended(size_t slot, bool loaded, std::string reason) {
  Slot& s = m_slots[slot];
  ++(loaded ? s.loaded : s.failed);
  s.reason = loaded ? std::string() : std::move(reason);
  // An end that comes after the port went leaves the slot armed for the next printer.
  if (s.state != SlotState::kNoPort) {
    s.armed = false;
    s.state = loaded ? SlotState::kLoaded : SlotState::kFailed;
  }
}

std::vector<SlotAction> SlotBook::Rearm(const std::string& port) {
  std::vector<SlotAction> actions;
  for (size_t index = 0; index < m_slots.size(); ++index) {
    Slot& slot = m_slots[index];
    const bool named = port.empty() || slot.port.name == port || slot.port.by_id == port;
    if (named && IsDone(slot.state)) {
      slot.armed = true;
      slot.state = SlotState::kWaiting;
      slot.percent = 0;
      actions.push_back({SlotAction::kStart, index});
    }
  }
  return actions;
}

}  // namespace velmar::cli
