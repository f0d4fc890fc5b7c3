#include <linux/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/port_watch.h"

namespace velmar::platform {

namespace {

constexpr uint32_t kNameEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// The kernel's own uevents; udevd's go to group 2, and there may be no udevd.
constexpr uint32_t kKernelEvents = 1;

// Reads what a descriptor holds until it holds nothing; whether any of it was `wanted`.
template <typename Wanted>
bool Drain(int fd, Wanted wanted) {
  bool any = false;
  std::array<char, 8192> buffer;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got <= 0) {
      return any;  // EAGAIN once drained
    }
    any = wanted(std::string_view(buffer.data(), static_cast<size_t>(got))) || any;
  }
}

// A uevent is "ACTION@DEVPATH" and KEY=VALUE fields, each ending in a NUL.
bool IsTtyEvent(std::string_view message) {
  return message.find(std::string_view("SUBSYSTEM=tty\0", 14)) != std::string_view::npos;
}

}  // namespace

struct PortWatch::Impl {
  int wake = -1;
  int uevents = -1;
  int names = -1;
  // The folders asked for; each watched itself once it exists, else through its nearest
  // existing parent, so that its creation shows as a change.
  std::vector<std::filesystem::path> folders;
  std::vector<bool> watched;

  void WatchFolders() {
    for (size_t i = 0; i < folders.size(); ++i) {
      if (watched[i] || names < 0) {
        continue;
      }
      std::filesystem::path folder = folders[i];
      watched[i] = ::inotify_add_watch(names, folder.c_str(), kNameEvents) >= 0;
      while (!watched[i] && folder.has_parent_path() && folder != folder.parent_path()) {
        folder = folder.parent_path();
        watched[i] = ::inotify_add_watch(names, folder.c_str(), kNameEvents) >= 0;
      }
    }
  }
  // Device nodes and links show in the folders; the uevents are a second word for devices.
  bool Complete() const {
    return names >= 0 && std::all_of(watched.begin(), watched.end(), [](bool w) { return w; });
  }
};

PortWatch::PortWatch(const std::vector<std::string>& folders) : m_impl(std::make_unique<Impl>()) {
  Impl& impl = *m_impl;
  impl.wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  impl.uevents =
      ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  if (impl.uevents >= 0) {
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelEvents;
    if (::bind(impl.uevents, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(impl.uevents);
      impl.uevents = -1;
    }
  }
  impl.names = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  impl.folders.emplace_back("/dev");
  impl.folders.emplace_back("/dev/serial/by-id");
  for (const std::string& folder : folders) {
    impl.folders.emplace_back(folder);
  }
  impl.watched.assign(impl.folders.size(), false);
  impl.WatchFolders();
}

PortWatch::~PortWatch() {
  for (const int fd : {m_impl->wake, m_impl->uevents, m_impl->names}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
}

PortWatchWait PortWatch::Wait(std::chrono::milliseconds limit) {
  Impl& impl = *m_impl;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    // What cannot be watched is looked at again now and then instead.
    const bool polling = !impl.Complete();
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return polling ? PortWatchWait::kChanged : PortWatchWait::kTimedOut;
    }
    const auto span = polling ? std::min(left, kFallbackPoll) : left;
    std::array<pollfd, 3> fds = {pollfd{impl.wake, POLLIN, 0}, pollfd{impl.uevents, POLLIN, 0},
                                 pollfd{impl.names, POLLIN, 0}};
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(span.count()));
    if (ready < 0 && errno != EINTR) {
      return PortWatchWait::kChanged;  // no way to wait: the caller looks, as if polling
    }
    if (fds[0].revents != 0) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(impl.wake, &count, sizeof count);
      return PortWatchWait::kWoken;
    }
    bool changed = ready == 0 && polling;
    if (fds[1].revents != 0) {
      changed = Drain(impl.uevents, IsTtyEvent) || changed;
    }
    if (fds[2].revents != 0) {
      changed = Drain(impl.names, [](std::string_view) { return true; }) || changed;
      // A folder that came or went: watch what can be watched now.
      std::fill(impl.watched.begin(), impl.watched.end(), false);
      impl.WatchFolders();
    }
    if (changed) {
      return PortWatchWait::kChanged;
    }
  }
}

void PortWatch::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t put = ::write(m_impl->wake, &one, sizeof one);
}

std::string PortWatch::Sources() const {
  if (!m_impl->Complete()) {
    return "polling";
  }
  return m_impl->uevents >= 0 ? "device events and folders" : "folders";
}

}  // namespace velmar::platform
