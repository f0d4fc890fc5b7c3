#include "window_wx/wx_main_app.h"

#include <wx/cmdline.h>

#include "platform/message_box.h"
#include "platform/window_message.h"
#include "settings/profile_store.h"
#include "ui/queue_pump.h"
#include "window_wx/wx_main_dialog.h"
#include "window_wx/wx_message_box.h"
#include "window_wx/wx_termination.h"

namespace velmar::app {

namespace {

// The usage line's name of the argument.
constexpr const char* kFileParameter = "FILE";

}  // namespace

void MainApp::OnInitCmdLine(wxCmdLineParser& parser) {
  wxApp::OnInitCmdLine(parser);
  parser.AddParam(kFileParameter, wxCMD_LINE_VAL_STRING, wxCMD_LINE_PARAM_OPTIONAL);
}

bool MainApp::OnCmdLineParsed(wxCmdLineParser& parser) {
  if (parser.GetParamCount() > 0) {
    // wx decoded the argument with the locale's encoding (ISO 8859-1 under the C locale, so that
    // any bytes survive); encoding it back gives the bytes that name the file.
    const wxScopedCharBuffer bytes = parser.GetParam(0).mb_str(wxConvLocal);
    m_initial_path.assign(bytes.data(), bytes.length());
  }
  return wxApp::OnCmdLineParsed(parser);
}

bool MainApp::OnInit() {
  if (!wxApp::OnInit()) {
    return false;  // a bad command line, or --help: wx has said so
  }
  platform::MessageBoxHandler previous = platform::SetMessageBoxHandler(ShowWxMessageBox);
  {
    platform::MessageQueue queue;
    ui::QueuePump pump(queue);
    settings::ProfileStore profile;
    WxMainDialog dialog(queue, profile, m_initial_path);
    SetTerminationWindow(&dialog);
    dialog.ShowModal();
    SetTerminationWindow(nullptr);
  }
  platform::SetMessageBoxHandler(std::move(previous));
  return true;
}

int MainApp::OnRun() {
  return 0;  // the window's modal run in OnInit was the program
}

}  // namespace velmar::app
