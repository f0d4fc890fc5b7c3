#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/name_resolution.h"
#include "platform/system_error.h"

namespace velmar::platform {

// glibc's numbers for getaddrinfo's failures are negative, so a positive one can be errno's,
// for a failure in the system.
static_assert(EAI_SYSTEM < 0 && EAI_NONAME < 0 && EAI_AGAIN < 0);

addrinfo* FindStreamAddresses(const std::string& host, const std::string& service, int& failure) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  failure = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
  if (failure == EAI_SYSTEM) {
    failure = errno;
  }
  return failure == 0 ? found : nullptr;
}

void FreeStreamAddresses(addrinfo* list) {
  ::freeaddrinfo(list);
}

// glibc's texts are constants, safe from any thread.
std::string ResolutionFailureText(int failure) {
  return failure > 0 ? SystemErrorText(failure) : ::gai_strerror(failure);
}

}  // namespace velmar::platform
