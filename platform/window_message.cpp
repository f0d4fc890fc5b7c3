#include "platform/window_message.h"

#include <algorithm>

namespace velmar::platform {

namespace {
thread_local MessageQueue* t_current_queue = nullptr;
}  // namespace

Window::Window() : m_queue(*MessageQueue::Current()) {}

Window::Window(MessageQueue& queue) : m_queue(queue) {}

Window::~Window() {
  m_queue.Forget(this);
}

bool PostMessage(Window* window, MessageId message, WParam wparam, LParam lparam) {
  return window != nullptr && window->Queue().Post(window, message, wparam, lparam);
}

LResult SendMessage(Window* window, MessageId message, WParam wparam, LParam lparam) {
  return window == nullptr ? 0 : window->Queue().Send(window, message, wparam, lparam);
}

MessageQueue::MessageQueue() : m_owner(std::this_thread::get_id()) {
  t_current_queue = this;
}

MessageQueue::~MessageQueue() {
  {
    std::lock_guard lock(m_mutex);
    ++m_refusing;
    AbandonSends();
  }
  if (t_current_queue == this) {
    t_current_queue = nullptr;
  }
}

MessageQueue* MessageQueue::Current() {
  return t_current_queue;
}

void MessageQueue::Notify(std::unique_lock<Lock>& lock) {
  std::function<void()> wake = m_wake;
  lock.unlock();
  m_work.NotifyAll();
  if (wake) {
    wake();
  }
}

bool MessageQueue::Post(Window* window, MessageId message, WParam wparam, LParam lparam) {
  std::unique_lock lock(m_mutex);
  m_posted.push_back({window, message, wparam, lparam});
  Notify(lock);
  return true;
}

LResult MessageQueue::Send(Window* window, MessageId message, WParam wparam, LParam lparam) {
  if (IsOwnerThread()) {
    return window->HandleMessage(message, wparam, lparam);
  }
  SendRequest request{window, message, wparam, lparam};
  std::unique_lock lock(m_mutex);
  if (m_refusing > 0) {
    return 0;
  }
  m_sends.push_back(&request);
  Notify(lock);
  lock.lock();
  m_send_done.Wait(lock, [&] { return request.finished; });
  return request.result;
}

void MessageQueue::AbandonSends(const Window* window) {
  // A send being handled stays queued: DispatchOne hands its sender the result.
  std::erase_if(m_sends, [window](SendRequest* request) {
    if (request->running || (window != nullptr && request->window != window)) {
      return false;
    }
    request->finished = true;
    return true;
  });
  m_send_done.NotifyAll();
}

bool MessageQueue::HasWork() const {
  return !m_posted.empty() || std::any_of(m_sends.begin(), m_sends.end(),
                                          [](const SendRequest* r) { return !r->running; });
}

void MessageQueue::Forget(Window* window) {
  std::lock_guard lock(m_mutex);
  std::erase_if(m_posted, [window](const Posted& p) { return p.window == window; });
  AbandonSends(window);
}

bool MessageQueue::DispatchOne() {
  std::unique_lock lock(m_mutex);
  auto next = std::find_if(m_sends.begin(), m_sends.end(),
                           [](const SendRequest* request) { return !request->running; });
  if (next != m_sends.end()) {
    SendRequest* request = *next;
    request->running = true;
    lock.unlock();
    // The request stays queued while it runs, so that a refusal or the window's destruction
    // cannot release its sender before the handler is done with it.
    const LResult result =
        request->window->HandleMessage(request->message, request->wparam, request->lparam);
    lock.lock();
    auto it = std::find(m_sends.begin(), m_sends.end(), request);
    if (it != m_sends.end()) {
      m_sends.erase(it);
      request->result = result;
      request->finished = true;
      m_send_done.NotifyAll();
    }
    return true;
  }
  if (!m_posted.empty()) {
    const Posted posted = m_posted.front();
    m_posted.pop_front();
    lock.unlock();
    posted.window->HandleMessage(posted.message, posted.wparam, posted.lparam);
    return true;
  }
  return false;
}

int MessageQueue::DispatchPending() {
  size_t budget;
  {
    std::lock_guard lock(m_mutex);
    budget = m_posted.size() + m_sends.size();
  }
  int dispatched = 0;
  while (budget-- > 0 && DispatchOne()) {
    ++dispatched;
  }
  return dispatched;
}

bool MessageQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (DispatchOne()) {
      continue;
    }
    std::unique_lock lock(m_mutex);
    if (!HasWork()) {
      // Conditions may also change on other threads; look again at least every 10 ms.
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) {
        lock.unlock();
        return done();
      }
      m_work.WaitUntil(lock, std::min(deadline, now + std::chrono::milliseconds(10)));
    }
  }
  return true;
}

void MessageQueue::Run() {
  for (;;) {
    if (DispatchOne()) {
      continue;
    }
    std::unique_lock lock(m_mutex);
    m_work.Wait(lock, [this] { return m_quit || HasWork(); });
    if (m_quit && !HasWork()) {
      m_quit = false;
      return;
    }
  }
}

void MessageQueue::Quit() {
  std::unique_lock lock(m_mutex);
  m_quit = true;
  Notify(lock);
}

void MessageQueue::SetWakeHandler(std::function<void()> wake) {
  std::lock_guard lock(m_mutex);
  m_wake = std::move(wake);
}

MessageQueue::RefuseSends::RefuseSends(MessageQueue* queue) : m_queue(queue) {
  if (m_queue != nullptr) {
    std::lock_guard lock(m_queue->m_mutex);
    ++m_queue->m_refusing;
    m_queue->AbandonSends();
  }
}

MessageQueue::RefuseSends::~RefuseSends() {
  if (m_queue != nullptr) {
    std::lock_guard lock(m_queue->m_mutex);
    --m_queue->m_refusing;
  }
}

}  // namespace velmar::platform
