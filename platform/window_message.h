#pragma once
// Numbered window messages between threads.
//
// Principles of operation: every Window belongs to one MessageQueue, the queue of the thread
// that created it. Messages posted to a window are queued and dispatched first in, first out,
// when that thread pumps its queue. A message sent to a window runs its handler on the window's
// thread while the sender waits; a send from the window's own thread calls the handler at once.
// Sends are dispatched before posted messages.
//
// A thread that tears down an object whose threads may be sending to its windows holds a
// RefuseSends scope meanwhile: every send to a window of that queue, pending or new, then gives
// up and returns 0, so teardown never deadlocks against a sender waiting for the thread. A send
// whose handler already runs (the teardown happens inside it, or in a pump nested in it) is the
// exception: it finishes, and its sender gets the result, so nothing the sender lent the
// handler is freed under it. Such a handler must therefore not wait for its own sender.
//
// Hosts: a console host pumps with Run/RunUntil; a GUI host installs a wake handler, which the
// queue calls (from any thread) whenever work arrives, and calls DispatchPending on its thread.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/thread_sync.h"

namespace velmar::platform {

using MessageId = uint32_t;
using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

constexpr MessageId kWmUser = 1024;

class MessageQueue;

class Window {
 public:
  // Binds the window to the calling thread's queue, which must exist.
  Window();
  explicit Window(MessageQueue& queue);
  // Discards the window's pending posted messages and abandons the sends to it not yet
  // dispatched; one being handled finishes, as under RefuseSends.
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  virtual LResult HandleMessage(MessageId message, WParam wparam, LParam lparam) = 0;
  MessageQueue& Queue() const { return m_queue; }

 private:
  MessageQueue& m_queue;
};

// Queues the message for the window's thread; false when the window is null.
bool PostMessage(Window* window, MessageId message, WParam wparam = 0, LParam lparam = 0);
// Runs the handler on the window's thread and returns its result; 0 when the window is null
// or when the send was refused.
LResult SendMessage(Window* window, MessageId message, WParam wparam = 0, LParam lparam = 0);

class MessageQueue {
 public:
  // The queue of the constructing thread; one per thread at a time.
  MessageQueue();
  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // The calling thread's queue, or null.
  static MessageQueue* Current();
  bool IsOwnerThread() const { return std::this_thread::get_id() == m_owner; }

  bool Post(Window* window, MessageId message, WParam wparam, LParam lparam);
  LResult Send(Window* window, MessageId message, WParam wparam, LParam lparam);

  // Owner thread only. Dispatches everything queued now; returns how many were dispatched.
  int DispatchPending();
  // Owner thread only. Pumps until `done` holds (checked after every dispatch) or the time-out
  // passes; returns whether `done` held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Owner thread only. Pumps until Quit is called.
  void Run();
  // Any thread: makes Run return.
  void Quit();

  // Called from any thread whenever work is queued, so that a GUI host can schedule a pump.
  void SetWakeHandler(std::function<void()> wake);

  class RefuseSends {
   public:
    explicit RefuseSends(MessageQueue* queue);
    ~RefuseSends();
    RefuseSends(const RefuseSends&) = delete;
    RefuseSends& operator=(const RefuseSends&) = delete;

   private:
    MessageQueue* m_queue;
  };

 private:
  friend class Window;
  struct Posted {
    Window* window;
    MessageId message;
    WParam wparam;
    LParam lparam;
  };
  struct SendRequest {
    Window* window;
    MessageId message;
    WParam wparam;
    LParam lparam;
    LResult result = 0;
    bool running = false;  // being handled; a nested pump must not take it again
    bool finished = false;
  };

  void Forget(Window* window);
  void Notify(std::unique_lock<Lock>& lock);
  bool DispatchOne();
  // Gives up the sends not yet dispatched, to `window` or, when null, to every window.
  void AbandonSends(const Window* window = nullptr);
  // Whether DispatchOne has something to do; a send being handled is not that.
  bool HasWork() const;

  std::thread::id m_owner;
  // Every block's progress step is a send to the user-interface thread: the cheapest wake-up
  // the system has.
  Lock m_mutex;
  Condition m_work;       // owner waits for work
  Condition m_send_done;  // senders wait for completion
  std::deque<Posted> m_posted;
  std::deque<SendRequest*> m_sends;
  int m_refusing = 0;
  bool m_quit = false;
  std::function<void()> m_wake;
};

}  // namespace velmar::platform
