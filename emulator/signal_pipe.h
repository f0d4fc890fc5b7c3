#pragma once
// SIGINT and SIGTERM as input on a descriptor, so that a poll loop can wait for them too.
//
// Install catches both signals until the object goes, when the previous handlers come back.
// Only one may be installed at a time. Caught drains what arrived and says whether anything did.

#include <csignal>

#include "platform/unique_fd.h"

namespace velmar::emulator {

using platform::UniqueFd;

class SignalPipe {
 public:
  SignalPipe() = default;
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  bool Install();  // false when the pipe or a handler cannot be set up
  int ReadFd() const { return m_read.Get(); }
  bool Caught();

 private:
  UniqueFd m_read;
  UniqueFd m_write;
  bool m_installed = false;
  struct sigaction m_old_int {};
  struct sigaction m_old_term {};
};

}  // namespace velmar::emulator
