#pragma once
// The application object of the window program: `velmar [FILE]`.
//
// Principles of operation: the application is named after the executable's base name (wx's
// default, as no name is set). Its start-up parses the command line (one optional data file,
// which the window opens with in its path edit), installs the wx message box as the handler of
// platform::ShowMessageBox, creates the UI thread's message queue with a QueuePump on it, runs
// the main window modally and destroys it, and restores the previous box handler. The window's
// run is the whole program, so no event loop of the application's own follows: OnRun returns at
// once. (Returning false from OnInit would do the same, but wx then ends the process with status
// 255, which tells a desktop or a script that the program failed.)
//   OnInitCmdLine, OnCmdLineParsed  wx's own options, plus the optional data file; a bad
//                                   command line or --help ends start-up with wx's own status.

#include <wx/app.h>

#include <string>

namespace velmar::app {

class MainApp : public wxApp {
 public:
  bool OnInit() override;
  void OnInitCmdLine(wxCmdLineParser& parser) override;
  bool OnCmdLineParsed(wxCmdLineParser& parser) override;
  int OnRun() override;

 private:
  std::string m_initial_path;
};

}  // namespace velmar::app
