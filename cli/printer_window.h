#pragma once
// One printer's window: the file's members for its run, the counter its blocks step, and the
// run's notifications heard on the printer's own thread.
//
// Principles of operation: the window lives on the thread that loads the printer and pumps its
// queue. Before each attempt Prepare gives it the file's members afresh, its bytes shared with
// the one copy read from disk, and the counter at 0. The first notification that ends the load
// is its outcome and quits the queue; LN_STATUS and every counter step call the listener, on
// this thread.
//   ProgressCounter  answers the progress-bar messages as a bar would and draws nothing;
//                    Fraction is how much of the range the position has covered, 0 to 1.

#include <cstdint>
#include <functional>
#include <optional>

#include "datafile/data_file.h"
#include "datafile/load_window.h"

namespace velmar::cli {

class ProgressCounter : public platform::Window {
 public:
  ProgressCounter(platform::MessageQueue& queue, std::function<void()> on_change)
      : Window(queue), m_on_change(std::move(on_change)) {}
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;
  double Fraction() const;

 private:
  std::function<void()> m_on_change;
  int32_t m_lower = 0;
  int32_t m_upper = 100;
  int32_t m_step = 10;
  int32_t m_position = 0;
};

class PrinterWindow : public datafile::LoadWindow {
 public:
  struct Listener {
    std::function<void()> on_step;
    std::function<void()> on_status;  // m_model_name is the printer's model now
  };
  PrinterWindow(platform::MessageQueue& queue, Listener listener);

  void Prepare(const datafile::LoadWindow& file, const datafile::DataFileResult& result);
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;
  std::optional<platform::MessageId> Outcome() const { return m_outcome; }
  double Fraction() const { return m_counter.Fraction(); }

 protected:
  platform::Window* ProgressWindow() override { return &m_counter; }

 private:
  Listener m_listener;
  ProgressCounter m_counter;
  std::optional<platform::MessageId> m_outcome;
};

}  // namespace velmar::cli
