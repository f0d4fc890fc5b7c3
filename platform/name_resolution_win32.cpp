#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/name_resolution.h"
#include "platform/system_error.h"

namespace velmar::platform {

addrinfo* FindStreamAddresses(const std::string& host, const std::string& service, int& failure) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  failure = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
  return failure == 0 ? found : nullptr;
}

void FreeStreamAddresses(addrinfo* list) {
  ::freeaddrinfo(list);
}

// A Winsock error number; gai_strerror's buffer is shared by every thread, so not that.
std::string ResolutionFailureText(int failure) {
  return SystemErrorText(failure);
}

}  // namespace velmar::platform
