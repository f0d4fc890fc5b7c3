#pragma once
// The emulated printer's end of the line: a pseudo-terminal whose slave the tool opens through a
// link at a path of the caller's choice.
//
// Principles of operation: Open makes the master (raw, non-blocking), opens the slave itself and
// keeps it open, so that the master never reports a hang-up while the tool closes and reopens
// the line between loads, and puts a symbolic link to the slave at the path. A link already
// there is replaced, as one left by an earlier run; any other file there is refused. HangUp
// closes both ends, which the tool sees as a hang-up, and with them whatever the tool has not
// read yet. The destructor closes and removes the link if it is still ours.
//   Open       kOk, or what failed, with the system's text in Error(); nothing is held then.
//   AwaitRead  waits until the tool has read everything sent to it, at most `limit`; false when
//             bytes were still unread then (the tool has gone, say).

#include <chrono>
#include <string>

#include "emulator/unique_fd.h"

namespace velmar::emulator {

enum class PtyLinkResult { kOk, kNoPseudoTerminal, kPathTaken, kLinkFailed };

class PtyLink {
 public:
  PtyLink() = default;
  ~PtyLink();
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;

  PtyLinkResult Open(const std::string& link_path);
  int MasterFd() const { return m_master.Get(); }
  const std::string& SlaveName() const { return m_slave_name; }
  const std::string& Error() const { return m_error; }
  void HangUp();
  bool AwaitRead(std::chrono::milliseconds limit) const;

 private:
  PtyLinkResult Fail(PtyLinkResult result, const char* what);
  void RemoveLink();

  UniqueFd m_master;
  UniqueFd m_slave;
  std::string m_slave_name;
  std::string m_link;
  std::string m_error;
};

}  // namespace velmar::emulator
