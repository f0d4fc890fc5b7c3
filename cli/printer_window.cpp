#include "cli/printer_window.h"

#include <algorithm>

#include "engine/load_notification.h"
#include "platform/progress_messages.h"

namespace velmar::cli {

platform::LResult ProgressCounter::HandleMessage(platform::MessageId message,
                                                 platform::WParam wparam, platform::LParam lparam) {
  const std::optional<platform::LResult> result = m_model.HandleMessage(message, wparam, lparam);
  if (!result) {
    return 0;
  }
  if (m_on_change) {
    m_on_change();
  }
  return *result;
}

double ProgressCounter::Fraction() const {
  platform::PbRange range{};
  m_model.GetRange(true, &range);
  const int64_t span = int64_t{range.high} - range.low;
  return span > 0
             ? std::clamp(double(int64_t{m_model.GetPos()} - range.low) / double(span), 0.0, 1.0)
             : 0.0;
}

PrinterWindow::PrinterWindow(platform::MessageQueue& queue, Listener listener)
    : LoadWindow(queue), m_listener(std::move(listener)), m_counter(queue, m_listener.on_step) {}

void PrinterWindow::Prepare(const datafile::LoadWindow& file,
                            const datafile::DataFileResult& result) {
  m_model_name = file.m_model_name;
  m_font_name = file.m_font_name;
  m_file_kind = file.m_file_kind;
  m_data.ShareFrom(file.m_data);
  ClearBlock();
  m_outcome.reset();
  datafile::SetUpProgress(&m_counter, result);
}

platform::LResult PrinterWindow::HandleMessage(platform::MessageId message, platform::WParam,
                                               platform::LParam) {
  const engine::NotificationInfo* info = engine::FindNotification(message);
  if (info == nullptr) {
    return 0;
  }
  if (message == engine::LN_STEP) {
    platform::SendMessage(&m_counter, platform::PBM_STEPIT);
  } else if (message == engine::LN_STATUS) {
    if (m_listener.on_status) {
      m_listener.on_status();
    }
  } else if (!m_outcome) {
    m_outcome = message;
    Queue().Quit();
  }
  return 0;
}

}  // namespace velmar::cli
