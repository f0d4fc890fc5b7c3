#pragma once
// The UI thread's message queue pumped by the wx event loop.
//
// Principles of operation: a QueuePump, made on the UI thread while the wx application exists,
// installs itself as its queue's wake handler. Whenever a message is posted or sent to a window
// of that queue, from any thread, it asks the application to call back on the UI thread
// (wxApp::CallAfter), and that call dispatches what is pending. The destructor removes the wake
// handler; a call already asked for then finds the pump gone and does nothing, so the queue may
// go right after the pump.

#include <memory>

#include "platform/window_message.h"

namespace velmar::ui {

class QueuePump {
 public:
  explicit QueuePump(platform::MessageQueue& queue);
  ~QueuePump();
  QueuePump(const QueuePump&) = delete;
  QueuePump& operator=(const QueuePump&) = delete;

 private:
  platform::MessageQueue& m_queue;
  // Read and cleared on the UI thread only; shared with the calls already asked for.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace velmar::ui
