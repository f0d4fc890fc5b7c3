#pragma once
// The emulated printer's TCP port: a listening socket on which the tool connects, one
// connection at a time.
//
// Principles of operation: Open resolves the host (a name or a numeric address), binds and
// listens; a port of 0 lets the system pick a free one, which Address reports. Connections
// that arrive while one is being served wait in the listen queue until the caller accepts them.
//   Open        true, or false with the system's text in Error(); nothing is held then.
//   Address     "HOST:PORT" as bound, numeric; an IPv6 host in brackets.
//   Accept      the next waiting connection, non-blocking, sending small replies at once;
//               an invalid descriptor when none is waiting.
//   HangUp      ends a connection so that the tool reads its end of stream, then closes it.

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace velmar::emulator {

using platform::UniqueFd;

class TcpListener {
 public:
  bool Open(const std::string& host, uint16_t port);
  int Fd() const { return m_fd.Get(); }
  const std::string& Address() const { return m_address; }
  const std::string& Error() const { return m_error; }
  UniqueFd Accept();

  static void HangUp(UniqueFd& connection);

 private:
  UniqueFd m_fd;
  std::string m_address;
  std::string m_error;
};

}  // namespace velmar::emulator
