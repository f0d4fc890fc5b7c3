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
// AdoptMaster takes a master the caller made and holds (--line-fd): the line then lives as long
// as its owner keeps it, across runs of the emulator, which is what a virtual machine's serial
// device on the slave needs (a master that closes hangs it up for good).

#include <chrono>
#include <string>

#include "platform/unique_fd.h"

namespace velmar::emulator {

using platform::UniqueFd;

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

// Checks that `fd` is a pseudo-terminal's master, makes it non-blocking and opens its slave into
// *slave (held, as Open holds its own, so that no hang-up shows while no tool has the line
// open); the slave's name in *slave_name, or the system's text in *error. `fd` stays open
// whatever happens.
bool AdoptMaster(int fd, UniqueFd* slave, std::string* slave_name, std::string* error);

}  // namespace velmar::emulator
