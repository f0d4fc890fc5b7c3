#include "platform/name_resolution.h"

#include <system_error>
#include <thread>

#include "platform/manual_reset_event.h"

namespace velmar::platform {

namespace {

// Owned jointly by the caller and the resolving thread, whichever lets go last frees it.
struct Pending {
  ManualResetEvent answered;
  NameResolution result;  // written before `answered` is set, read only after
};

}  // namespace

NameResolution ResolveStreamName(const std::string& host, const std::string& service) {
  NameResolution resolution;
  int failure = 0;
  if (addrinfo* found = FindStreamAddresses(host, service, failure)) {
    resolution.addresses.reset(found, &FreeStreamAddresses);
  } else {
    resolution.failure_text = ResolutionFailureText(failure);
  }
  return resolution;
}

std::optional<NameResolution> ResolveBefore(const NameResolver& resolve, const std::string& host,
                                            const std::string& service,
                                            std::chrono::steady_clock::time_point deadline) {
  auto pending = std::make_shared<Pending>();
  try {
    std::thread([pending, resolve, host, service] {
      pending->result = resolve(host, service);
      pending->answered.Set();
    }).detach();
  } catch (const std::system_error&) {
    return resolve(host, service);  // no thread to spare: unbounded, but answered
  }
  if (!pending->answered.WaitFor(deadline - std::chrono::steady_clock::now())) {
    return std::nullopt;
  }
  return pending->result;
}

}  // namespace velmar::platform
