#pragma once
// A loaded file's window for tests that read data files: it ignores the run's notifications and
// counts the progress bar's PBM_STEPIT, so that a test can see how many blocks were cut.

#include "datafile/load_window.h"
#include "platform/progress_messages.h"
#include "platform/window_message.h"

namespace velmar::test {

class StepCounter : public platform::Window {
 public:
  using Window::Window;
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam,
                                  platform::LParam) override {
    steps += message == platform::PBM_STEPIT ? 1 : 0;
    return 0;
  }
  int steps = 0;
};

class StepCountingWindow : public datafile::LoadWindow {
 public:
  explicit StepCountingWindow(platform::MessageQueue& queue) : LoadWindow(queue), progress(queue) {}
  platform::LResult HandleMessage(platform::MessageId, platform::WParam,
                                  platform::LParam) override {
    return 0;
  }
  StepCounter progress;

 protected:
  platform::Window* ProgressWindow() override { return &progress; }
};

}  // namespace velmar::test
