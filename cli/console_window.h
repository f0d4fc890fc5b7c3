#pragma once
// The loader's window: it holds the loaded file, hears the run's notifications on the main
// thread, and shows the status text and, on a terminal, a progress bar with percent, bytes per
// second and time left. The load's outcome is the first notification that ends it.
//
// The bar is drawn on the main thread only (steps from the run arrive as sends). Its byte
// counter reads the run's transport, so the loader calls KeepByteCount while the run still
// exists and Finish once the run is gone: after KeepByteCount the bar shows the figure taken
// then and never calls the counter again. Finish(true) draws the bar full, whatever the range
// and the steps taken; Finish(false) draws it where it stands.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "datafile/load_window.h"

namespace velmar::cli {

class ProgressBar : public platform::Window {
 public:
  ProgressBar(platform::MessageQueue& queue, bool terminal);
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;
  // Where the bytes-per-second figure comes from.
  void SetByteCounter(std::function<int64_t()> counter) { m_bytes = std::move(counter); }
  // Takes the counter's figure now and lets go of the counter, whose source may then go away.
  void KeepByteCount();
  void Show(const std::string& status);
  // Draws the last state, full when the load completed, and ends the bar's line.
  void Finish(bool completed);
  int32_t Position() const { return m_position; }
  // How much of the bar is filled, 0 to 1.
  double Fraction() const;

 private:
  void Draw(bool force);

  bool m_terminal;
  int32_t m_lower = 0;
  int32_t m_upper = 100;
  int32_t m_step = 10;
  int32_t m_position = 0;
  bool m_drawn = false;
  bool m_completed = false;
  std::function<int64_t()> m_bytes;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_last_draw;
};

class ConsoleWindow : public datafile::LoadWindow {
 public:
  ConsoleWindow(platform::MessageQueue& queue, bool terminal);
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;

  // Shows the status text unless it is already shown.
  void ShowStatus();
  std::optional<platform::MessageId> Outcome() const { return m_outcome; }
  ProgressBar& Progress() { return m_progress; }

 protected:
  platform::Window* ProgressWindow() override { return &m_progress; }

 private:
  ProgressBar m_progress;
  std::string m_shown_status;
  std::optional<platform::MessageId> m_outcome;
};

}  // namespace velmar::cli
