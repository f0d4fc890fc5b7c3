#include <windows.h>

#include <algorithm>

#include "platform/port_watch.h"

namespace velmar::platform {

// Without a window for device notifications, the registry's port list is looked at again at
// each poll; the event lets Wake end a wait at once.
struct PortWatch::Impl {
  HANDLE wake = nullptr;
};

PortWatch::PortWatch(const std::vector<std::string>&) : m_impl(std::make_unique<Impl>()) {
  m_impl->wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

PortWatch::~PortWatch() {
  if (m_impl->wake != nullptr) {
    ::CloseHandle(m_impl->wake);
  }
}

PortWatchWait PortWatch::Wait(std::chrono::milliseconds limit) {
  const auto span = std::min(limit, kFallbackPoll);
  if (::WaitForSingleObject(m_impl->wake, static_cast<DWORD>(span.count())) == WAIT_OBJECT_0) {
    return PortWatchWait::kWoken;
  }
  return PortWatchWait::kChanged;
}

void PortWatch::Wake() {
  ::SetEvent(m_impl->wake);
}

std::string PortWatch::Sources() const {
  return "polling";
}

}  // namespace velmar::platform
