#pragma once
// The host's end of guest_runner.sh on the control line: one command at a time, its reply read
// up to its last line ("ok VALUE" or "fail WHY") within a deadline.
//
// A command that gets no last line in time leaves the guest marked stuck: every later Ask fails
// at once, so that a hung guest costs one deadline, not one per scenario.

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/pty_pair.h"

namespace velmar::test {

struct GuestReply {
  bool answered = false;  // a last line came in time
  bool ok = false;
  std::string value;  // what follows "ok " or "fail "
  std::vector<std::string> out;
  std::vector<std::string> err;
  std::chrono::steady_clock::time_point at;  // when the last line came
};

class GuestControl {
 public:
  explicit GuestControl(PtyPair& line) : m_line(line) {}

  // Waits for the runner's first line: "ready", or "fail WHY" (into *why).
  bool AwaitReady(std::chrono::milliseconds deadline, std::string* why);
  GuestReply Ask(const std::string& command, std::chrono::milliseconds deadline);
  bool Stuck() const { return m_stuck; }

 private:
  bool ReadLine(std::string* line, std::chrono::steady_clock::time_point until);

  PtyPair& m_line;
  std::string m_pending;
  bool m_stuck = false;
};

}  // namespace velmar::test
