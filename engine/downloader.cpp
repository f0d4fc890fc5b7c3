#include "engine/downloader.h"

#include <algorithm>
#include <system_error>

#include "engine/frames.h"
#include "engine/load_notification.h"
#include "transport/transport_factory.h"

namespace velmar::engine {

thread_local std::atomic<Downloader*> g_current_run{nullptr};

Downloader::Downloader(datafile::LoadWindow* window, std::string connection_type, std::string host,
                       int32_t port_number, std::string port_name, int32_t baud_rate)
    : Downloader(window, [&](transport::ReceiveSink* owner) {
        return transport::MakeTransport(owner, connection_type, host, port_number, port_name,
                                        baud_rate);
      }) {}

Downloader::Downloader(datafile::LoadWindow* window, const TransportFactory& make_transport)
    : m_window(window) {
  g_current_run.store(this);
  m_transport = make_transport(this);
  m_transport->OpenConnection();  // the window asks IsOpen afterwards
}

Downloader::~Downloader() {
  // The delivery thread may be waiting for this thread to take a progress step.
  platform::MessageQueue::RefuseSends refuse(platform::MessageQueue::Current());
  m_closing.store(true);
  StopWatchdog();
  m_transport->CloseConnection();
  // The delivery thread may have armed the time-out again before it noticed the close.
  StopWatchdog();
  std::thread watchdog;
  {
    std::lock_guard watchdog_lock(m_watchdog_lock);
    m_watchdog_quit = true;
    m_watchdog_wake.notify_one();
    watchdog = std::move(m_watchdog_thread);
  }
  if (watchdog.joinable()) {
    watchdog.join();
  }
  m_transport.reset();
  Downloader* self = this;
  g_current_run.compare_exchange_strong(self, nullptr);
}

void Downloader::StartProgramLoad() {
  std::lock_guard lock(m_lock);
  if (!m_window->TakeNextBlock()) {
    Finish(LN_NO_DATA);
    return;
  }
  Start(kProgramWake);
}

void Downloader::StartFontLoad() {
  std::lock_guard lock(m_lock);
  m_window->ClearBlock();
  if (m_window->m_data.IsEmpty()) {
    Finish(LN_NO_DATA);
    return;
  }
  Start(kFontWake);
}

void Downloader::Start(int32_t wake_state) {
  {
    std::lock_guard watchdog_lock(m_watchdog_lock);
    if (!m_watchdog_thread.joinable() && !StartWatchdogThread(m_watchdog_thread)) {
      Finish(LN_TIMEOUT);  // a load nothing would time out could wait for ever
      return;
    }
  }
  m_rx.RemoveAll();
  m_expected_length = 1;
  m_state.store(wake_state);
  if (Send(frames::kWakeUp.data(), frames::kWakeUp.size())) {
    StartWatchdog();
  }
}

bool Downloader::StartWatchdogThread(std::thread& thread) {
  try {
    thread = std::thread(&Downloader::Watchdog, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool Downloader::Send(const uint8_t* frame, int32_t length) {
  if (m_transport->Write(frame, length)) {
    return true;
  }
  EndByTransport();
  return false;
}

void Downloader::EndByTransport() {
  StopWatchdog();
  Abandon(m_transport->ConnectionLost() ? LN_PORT_LOST : LN_TIMEOUT);
}

void Downloader::OnConnectionLost() {
  std::lock_guard lock(m_lock);
  if (m_ended || m_closing.load() || m_state.load() == kIdle) {
    return;  // nothing is under way that the loss could end
  }
  StopWatchdog();
  Abandon(LN_PORT_LOST);
}

void Downloader::OnDataReceived() {
  uint8_t buffer[kReadCapacity];
  const int32_t count = m_transport->Read(buffer, kReadCapacity);
  if (count <= 0) {
    return;
  }
  std::lock_guard lock(m_lock);
  if (m_ended || m_closing.load()) {
    return;
  }
  m_rx.Append(buffer, count);
  ProcessReply();
}

int32_t Downloader::BytesDue() {
  std::lock_guard lock(m_lock);
  const int32_t state = m_state.load();
  if (m_ended || m_closing.load() || state == kIdle) {
    return 0;
  }
  const int32_t n = m_rx.Size();
  if (state != kProgramIdent && state != kFontIdent) {
    return std::max(m_expected_length - n, 0);
  }
  // The name's length is learnt from its terminating zero; until then at least the zero and
  // the closing frame are due.
  const uint8_t* zero = std::find(m_rx.Data(), m_rx.Data() + n, uint8_t{0});
  const int32_t reply = zero == m_rx.Data() + n
                            ? n + 1 + frames::kIdentTrailer
                            : static_cast<int32_t>(zero - m_rx.Data()) + 1 + frames::kIdentTrailer;
  return std::max(reply - n, 0);
}

void Downloader::StartWatchdog() {
  ArmWatchdog(std::chrono::steady_clock::now() + m_timeout_ticks * kWatchdogTick);
}

void Downloader::ResumeWatchdog() {
  std::chrono::steady_clock::time_point deadline;
  {
    std::lock_guard watchdog_lock(m_watchdog_lock);
    deadline = m_reply_deadline;
  }
  if (std::chrono::steady_clock::now() >= deadline) {
    // Expiring here rather than in the Watchdog: a line that keeps sending would keep the
    // Watchdog from ever taking the lock.
    Abandon(LN_TIMEOUT);
    return;
  }
  ArmWatchdog(deadline);
}

void Downloader::ArmWatchdog(std::chrono::steady_clock::time_point deadline) {
  if (m_closing.load()) {
    return;
  }
  std::lock_guard watchdog_lock(m_watchdog_lock);
  if (m_watchdog_quit || !m_watchdog_idle_event.IsSet()) {
    return;  // the run is going, or one counts already (or expires) and keeps its count
  }
  if (!m_watchdog_thread.joinable() && !StartWatchdogThread(m_watchdog_thread)) {
    return;  // nobody waits for a thread that never ran; the start ends the load instead
  }
  m_stop_event.Reset();
  m_watchdog_idle_event.Reset();
  m_deadline = deadline;
  m_reply_deadline = deadline;
  if (m_watchdog_parked) {
    m_watchdog_wake.notify_one();
  }
}

void Downloader::StopWatchdog() {
  m_stop_event.Set();
  {
    // Disarming here, not in the thread, spares every reply a round trip to the Watchdog.
    std::lock_guard watchdog_lock(m_watchdog_lock);
    if (m_deadline) {
      m_deadline.reset();
      m_watchdog_idle_event.Set();
    }
  }
  m_watchdog_idle_event.Wait();  // only an expiry in progress makes this wait
}

void Downloader::Watchdog() {
  std::unique_lock watchdog_lock(m_watchdog_lock);
  while (!m_watchdog_quit) {
    if (!m_deadline) {
      m_watchdog_parked = true;
      m_watchdog_wake.wait(watchdog_lock);
      m_watchdog_parked = false;
      continue;
    }
    // A disarm and a later arm move the deadline without waking us: we wake at the old one,
    // find the new one, and wait again.
    const auto deadline = *m_deadline;
    if (std::chrono::steady_clock::now() < deadline) {
      m_watchdog_wake.wait_until(watchdog_lock, deadline);
      continue;
    }
    m_deadline.reset();  // still not idle: StopWatchdog now waits for the expiry to settle
    watchdog_lock.unlock();
    Expire();
    watchdog_lock.lock();
  }
}

void Downloader::Expire() {
  // The delivery thread may hold the lock while it stops this thread, so never block on it.
  std::unique_lock lock(m_lock, std::defer_lock);
  while (!lock.try_lock()) {
    if (m_stop_event.WaitFor(kWatchdogTick)) {
      m_watchdog_idle_event.Set();
      return;
    }
  }
  if (m_stop_event.IsSet()) {
    m_watchdog_idle_event.Set();  // a reply got in first
    return;
  }
  Abandon(LN_TIMEOUT);
  m_watchdog_idle_event.Set();
}

void Downloader::Abandon(platform::MessageId ending) {
  m_state.store(kIdle);
  m_rx.RemoveAll();
  Finish(ending);
}

void Downloader::Finish(platform::MessageId notification) {
  if (m_ended || m_closing.load()) {
    return;
  }
  m_ended = true;
  platform::PostMessage(m_window, notification);
}

void Downloader::Report(platform::MessageId notification) {
  if (!m_ended && !m_closing.load()) {
    platform::PostMessage(m_window, notification);
  }
}

}  // namespace velmar::engine
