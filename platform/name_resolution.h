#pragma once
// Host names resolved to stream-socket addresses, within a deadline.
//
// Principles of operation: the system's resolver cannot be told to give up, and one that waits
// for a silent name server would hold its caller for as long as the system likes. So the
// resolution runs on a thread of its own, which shares its result with the caller through a
// shared state and may outlive the call: a caller whose deadline passes walks away, and the
// thread ends whenever the system answers, its result then freed unseen. The thread, the wait
// and the resolver's shape are the same everywhere (name_resolution.cpp); the system's calls
// and its words for a failure, one file per system (name_resolution_posix.cpp, _win32.cpp).
//   NameResolver       what resolves: host (empty for the loopback) and service to addresses.
//   ResolveStreamName  the system's resolver, getaddrinfo for stream sockets of any family;
//                      unbounded.
//   ResolveBefore      runs `resolve` on its own thread; nullopt when it has not answered by
//                      `deadline`. Nothing of the caller's thread runs meanwhile.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct addrinfo;

namespace velmar::platform {

struct NameResolution {
  std::shared_ptr<addrinfo> addresses;  // null when the name did not resolve
  std::string failure_text;             // then the system's words for why, UTF-8
};

using NameResolver =
    std::function<NameResolution(const std::string& host, const std::string& service)>;

NameResolution ResolveStreamName(const std::string& host, const std::string& service);

// The system's part: getaddrinfo's list (null, with its failure's number, when none), the
// list's release, and the system's words for that number.
addrinfo* FindStreamAddresses(const std::string& host, const std::string& service, int& failure);
void FreeStreamAddresses(addrinfo* list);
std::string ResolutionFailureText(int failure);

std::optional<NameResolution> ResolveBefore(const NameResolver& resolve, const std::string& host,
                                            const std::string& service,
                                            std::chrono::steady_clock::time_point deadline);

}  // namespace velmar::platform
