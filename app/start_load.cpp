// The Load command: from the chosen file to a started run.

#include "app/main_dialog.h"
#include "app/string_table.h"
#include "app/text_encoding.h"
#include "platform/progress_messages.h"

namespace velmar::app {

namespace {

// The run's network arguments; the window always loads over the serial port.
constexpr const char* kNoHost = "";
constexpr int32_t kNoPortNumber = 0;

}  // namespace

void MainDialog::SetUpProgress(const datafile::DataFileResult& file) {
  // The full range: a 16-bit one would wrap for a program total of 64741 or more, or for a font
  // of 64 KiB or more, and leave the bar stuck or overflowing.
  const int32_t upper = file.kind == datafile::FileKind::kProgram
                            ? int32_t{file.progress_total} + datafile::kProgramRangeExtra
                            : file.payload_length;
  platform::SendMessage(m_progress, platform::PBM_SETRANGE32, 0, upper);
  platform::SendMessage(m_progress, platform::PBM_SETSTEP, datafile::kLoadStep);
  platform::SendMessage(m_progress, platform::PBM_SETPOS, 0);
}

void MainDialog::StartLoad() {
  if (m_downloader != nullptr) {
    return;  // one run at a time; the Load button is disabled meanwhile
  }
  DoDataExchange(Exchange::kFromControls);
  const datafile::DataFileResult file = datafile::ReadDataFile(m_path, *this);
  if (file.outcome != datafile::ReadOutcome::kOk) {
    ShowBox(std::string(LoadText(file.text_id)), platform::BoxIcon::kError);
    return;
  }
  SetUpProgress(file);
  EnableInputs(false);

  m_downloader = std::make_unique<engine::Downloader>(
      this, m_connection_type, kNoHost, kNoPortNumber, m_port, BaudRateValue(m_baud_rate));
  if (!m_downloader->m_transport->IsOpen()) {
    DeleteRun();
    ShowBox(std::string(LoadText(IDS_PORT_BUSY)), platform::BoxIcon::kError);
    ResetAfterLoad();
    return;
  }
  m_view.ShowControl(kProgressBar, true);
  SetProgressText(LoadingStatusText(IsFontLoad(), m_model_name));
  // A file with nothing to send makes the run post LN_NO_DATA, handled once this returns.
  if (IsFontLoad()) {
    m_downloader->StartFontLoad();
  } else {
    m_downloader->StartProgramLoad();
  }
}

}  // namespace velmar::app
