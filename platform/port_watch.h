#pragma once
// Tells when serial ports may have come or gone, so that a caller that keeps a list of them
// looks again at once rather than polling the system all the time.
//
// Principles of operation: Linux listens to the kernel's own device events (a uevent netlink
// socket, which needs no udevd) and watches the folders it is given (/dev and the folders of
// the caller's port patterns: links and pseudo-terminals make no device event) for names
// created, deleted or moved. Whatever it cannot set up, it makes up for with a bounded poll:
// with neither source, Wait reports a possible change every kFallbackPoll. Windows has no
// such source here and always polls. A wake-up from another thread (Wake) ends a Wait at once.
// Wait only says that something may have changed: the caller lists the ports again and
// compares. Events that come while nobody waits are kept until the next Wait.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace velmar::platform {

inline constexpr std::chrono::milliseconds kFallbackPoll{250};

enum class PortWatchWait {
  kChanged,  // something may have changed: list the ports again
  kTimedOut,
  kWoken,
};

class PortWatch {
 public:
  explicit PortWatch(const std::vector<std::string>& folders);
  ~PortWatch();
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  PortWatchWait Wait(std::chrono::milliseconds limit);
  void Wake();
  // What it listens to: "device events and folders", "folders", or "polling".
  std::string Sources() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace velmar::platform
