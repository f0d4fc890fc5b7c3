#pragma once
// One printer's window: the file's members for its run, the counter its blocks step, and the
// run's notifications heard on the printer's own thread.
//
// Principles of operation: the window lives on the thread that loads the printer and pumps its
// queue. Before each attempt Prepare gives it the file's members afresh, its bytes shared with
// the one copy read from disk, and the counter at 0. The first notification that ends the load
// is its outcome and quits the queue; LN_STATUS and every counter step call the listener, on
// this thread.
//   ProgressCounter  answers the progress-bar messages through the bar's own model, so that its
//                    position steps (and wraps past the 32-bit limit) as the window's bar does,
//                    and draws nothing; Fraction is how much of the range the position has
//                    covered, 0 to 1.

#include <cstdint>
#include <functional>
#include <optional>

#include "datafile/data_file.h"
#include "datafile/load_window.h"
#include "ui/text_progress_model.h"

namespace velmar::cli {

class ProgressCounter : public platform::Window, private ui::ProgressView {
 public:
  ProgressCounter(platform::MessageQueue& queue, std::function<void()> on_change)
      : Window(queue), m_on_change(std::move(on_change)) {}
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;
  double Fraction() const;

 private:
  // A view without pixels: the model keeps the state, and nothing is ever painted.
  bool HasWindow() const override { return true; }
  int ClientWidth() const override { return 0; }
  void Invalidate() override {}
  void RepaintNow() override {}
  platform::LResult DefaultHandling(platform::MessageId, platform::WParam,
                                    platform::LParam) override {
    return 0;
  }

  std::function<void()> m_on_change;
  ui::TextProgressModel m_model{*this};
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
