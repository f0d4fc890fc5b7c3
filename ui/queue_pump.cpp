#include "ui/queue_pump.h"

#include <wx/app.h>

namespace velmar::ui {

QueuePump::QueuePump(platform::MessageQueue& queue) : m_queue(queue) {
  m_queue.SetWakeHandler([queue = &m_queue, alive = m_alive] {
    if (wxAppConsole* app = wxTheApp) {
      app->CallAfter([queue, alive] {
        if (*alive) {
          queue->DispatchPending();
        }
      });
    }
  });
}

QueuePump::~QueuePump() {
  m_queue.SetWakeHandler(nullptr);
  *m_alive = false;
}

}  // namespace velmar::ui
