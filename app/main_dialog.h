#pragma once
// The main window's behaviour, without a toolkit: the exchange of the controls with the
// members, the settings, Close, Browse, the About command, starting a load, the reaction to the
// run's notifications and the return to idle. A front end implements MainView, creates one
// MainDialog on the user-interface thread, and turns its events into the calls below.
//
// Principles of operation: MainDialog is the loaded file's window (LoadWindow) and a message
// window of the user-interface thread's queue; the run posts its notifications to it, and the
// front end makes the queue's wakes pump the queue on that thread (for wx: ui::QueuePump). Idle:
// the five input controls enabled, the progress bar hidden with the text " " at position 0, no run.
// StartLoad moves to loading; locking the inputs takes the keyboard focus from them, and the
// return to idle gives it back to the input that had it (else to the path edit), so that the
// keys keep working. The notification that ends the load, or a port that cannot be
// opened, returns to idle. The run is created and deleted on the user-interface thread only,
// from a handler of MainDialog's own, never from inside a call that the run is making. A
// terminal notification shows its box first and ends the load after the box is closed; while
// the box is open the queue keeps being pumped, so a second terminal notification shows its own
// box, and whichever handler continues first deletes the run, the other finding none.
//
// Settings (section "Settings", entries "_combo_baudrate" and "_combo_comm_port") are read once
// by OnInitDialog and written once by OnCancel, in the store the command-line loader reads.
//   OnInitDialog      fills the lists, sets up the progress bar and the system menu, restores the
//                     settings and puts `initial_path` (empty: none) into the path edit; true.
//   DoDataExchange    controls to members or members to controls. Reading a combo box takes the
//                     selected item's text (empty when none); writing selects the first item
//                     beginning with the member's text, ignoring ASCII case, and leaves the
//                     selection alone when none does. Change events that the view raises
//                     meanwhile are ignored.
//   OnSysCommand      true when it opened the About box (commands 16 to 31); false: the front
//                     end's default handling.
//   OnPaint           true when it painted the minimised window's icon; false: default painting.
//   Browse            the open-file dialog; a confirmed choice goes into the path edit.
//   OnPathEditChange  the members follow the controls.
//   OnOK              ends the window with IDOK without saving; refused while a run is busy.
//   OnCancel          Close: refused while a run is busy; else saves both settings and ends the
//                     window with IDCANCEL.
//   OnDestroy         deletes the run; the front end calls it before it destroys the controls.
//   Abandon           the program is being stopped: deletes the run, so that its port is closed
//                     properly, and leaves the controls as they are.
//   StartLoad         reads the file (a refused one shows text 106 or 102 and, on a line of
//                     its own, the file and why), sets up the progress bar, locks the inputs,
//                     creates the run and starts the load; a port that does not open shows text
//                     103 and why, and returns to idle.
//   ResetAfterLoad    the idle state of the controls; leaves the run alone.
//   HandleMessage     the run's notifications; every other message is left alone (returns 0).
//   RefreshPorts      an adapter came or went: the port list becomes `items` (without an
//                     argument, this machine's, unless the window was made with a list of its
//                     own), the user's choice kept where it still exists, nothing selected
//                     where it does not; no change event is raised, and an unchanged list is
//                     left alone. The front ends call it when the system says so and once a
//                     second.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/combo_lists.h"
#include "app/main_view.h"
#include "datafile/data_file.h"
#include "datafile/load_window.h"
#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "platform/message_box.h"
#include "settings/profile_store.h"

namespace velmar::app {

inline constexpr const char* kBlankProgressText = " ";

// Where a minimised window's icon goes: centred, halves truncated toward zero.
Point IconOrigin(Size client, Size icon);

class MainDialog : public datafile::LoadWindow {
 public:
  enum class Exchange { kToControls, kFromControls };

  MainDialog(platform::MessageQueue& queue, MainView& view, settings::ProfileStore& profile,
             std::optional<std::vector<std::string>> port_items = std::nullopt);
  ~MainDialog() override;

  bool OnInitDialog(const std::string& initial_path = {});
  void DoDataExchange(Exchange direction);
  bool OnSysCommand(uint32_t command);
  bool OnPaint();
  void Browse();
  void OnPathEditChange();
  void OnOK();
  void OnCancel();
  void OnDestroy();
  void Abandon();
  void StartLoad();
  void ResetAfterLoad();
  void RefreshPorts(std::vector<std::string> items);
  void RefreshPorts();
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;

  bool IsBusy() const { return m_downloader != nullptr && m_downloader->IsBusy(); }

  // User-interface thread only.
  std::unique_ptr<engine::Downloader> m_downloader;
  std::string m_path;
  std::string m_connection_type;
  std::string m_baud_rate;
  std::string m_port;

 protected:
  platform::Window* ProgressWindow() override { return m_progress; }

 private:
  void EnableInputs(bool enable);
  void SetProgressText(const std::string& text);
  void ShowNotification(const engine::NotificationInfo& info);
  // Deletes the run, if any; the pointer is null before the run's destructor starts.
  void DeleteRun();
  void EndLoad();
  const std::vector<std::string>& ItemsOf(ControlId combo) const;
  std::string ReadCombo(ControlId combo);
  void WriteCombo(ControlId combo, const std::string& text);

  MainView& m_view;
  settings::ProfileStore& m_profile;
  const std::vector<std::string> m_baud_items;
  std::vector<std::string> m_port_items;
  const bool m_follow_ports;  // the list is this machine's, not one the window was given
  // Taken once the controls exist, before any run; the run's delivery thread steps it.
  platform::Window* m_progress = nullptr;
  bool m_exchanging = false;
  int m_focus_before_load = 0;
};

// Shows `text` in the main window's box: caption "Велмар", one OK button.
void ShowBox(const std::string& text, platform::BoxIcon icon);

}  // namespace velmar::app
