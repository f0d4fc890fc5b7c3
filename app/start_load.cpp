// The Load command: from the chosen file to a started run.

#include "app/main_dialog.h"
#include "texts/file_refusal_text.h"
#include "texts/open_failure_text.h"
#include "texts/string_table.h"
#include "texts/text_encoding.h"

namespace velmar::app {

namespace {

// The run's network arguments; the window always loads over the serial port.
constexpr const char* kNoHost = "";
constexpr int32_t kNoPortNumber = 0;

}  // namespace

void MainDialog::StartLoad() {
  if (m_downloader != nullptr) {
    return;  // one run at a time; the Load button is disabled meanwhile
  }
  DoDataExchange(Exchange::kFromControls);
  const datafile::DataFileResult file = datafile::ReadDataFile(m_path, *this);
  if (file.outcome != datafile::ReadOutcome::kOk) {
    ShowBox(texts::FileRefusalText(file, m_path), platform::BoxIcon::kError);
    return;
  }
  datafile::SetUpProgress(m_progress, file);
  EnableInputs(false);

  m_downloader =
      std::make_unique<engine::Downloader>(this, m_connection_type, kNoHost, kNoPortNumber, m_port,
                                           settings::BaudRateValue(m_baud_rate));
  if (!m_downloader->m_transport->IsOpen()) {
    const std::string why = texts::OpenFailureText(m_downloader->m_transport->LastOpenFailure());
    DeleteRun();
    ShowBox(why, platform::BoxIcon::kError);
    ResetAfterLoad();
    return;
  }
  m_view.ShowControl(kProgressBar, true);
  SetProgressText(texts::LoadingStatusText(IsFontLoad(), m_model_name));
  // A file with nothing to send makes the run post LN_NO_DATA, handled once this returns.
  if (IsFontLoad()) {
    m_downloader->StartFontLoad();
  } else {
    m_downloader->StartProgramLoad();
  }
}

}  // namespace velmar::app
