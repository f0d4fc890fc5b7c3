#pragma once
// Stand-ins for the toolkit under MainDialog, and a fixture that builds one on a settings file
// of its own.
//
// FakeProgress keeps what the progress bar's messages set. FakeView keeps the controls' state
// and logs every visible change ("disable 1002", "show 1003", "box <text>") so that tests can
// check the order of things; like a native edit control, it raises the path edit's change event
// when its text is set. The message box is recorded in the log and in `boxes`, and `while_open`
// runs inside it, as the toolkit's modal loop would pump the queue. All on the test's thread.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "platform/message_box.h"

namespace velmar::app::testing {

class FakeProgress : public platform::Window {
 public:
  using Window::Window;
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wparam,
                                  platform::LParam lparam) override;

  std::vector<platform::MessageId> messages;
  int64_t upper = 100;
  int32_t step = 10;
  int32_t position = 0;
  int32_t steps = 0;
  bool show_text = false;
  std::vector<std::string> texts{""};  // every text set, in order; back() is the current one
};

class FakeView : public MainView {
 public:
  FakeView(platform::MessageQueue& queue, std::vector<std::string>* log);

  void EnableControl(ControlId c, bool on) override {
    Log(enabled[c] = on, "enable ", "disable ", c);
    focused = on || focused != c ? focused : 0;  // as a toolkit takes it from a disabled control
  }
  void ShowControl(ControlId c, bool on) override { Log(shown[c] = on, "show ", "hide ", c); }
  std::string ControlText(ControlId) override { return path; }
  void SetControlText(ControlId, const std::string& text) override;
  void SetComboItems(ControlId c, const std::vector<std::string>& list) override;
  int ComboSelection(ControlId c) override { return selection[c]; }
  void SelectComboItem(ControlId c, int index) override { selection[c] = index; }
  int FocusedControl() override { return focused; }
  void FocusControl(ControlId c) override { focused = c; }
  platform::Window* ProgressWindow() override { return &progress; }
  void AppendSystemMenuItem(uint32_t command, const std::string& text) override;
  bool ChooseOpenFile(const OpenFileRequest& request, std::string* chosen) override;
  void OpenAbout() override { ++about_opened; }
  void EndDialog(int result) override { ended_with = result; }
  bool IsMinimised() override { return false; }
  Size ClientSize() override { return {}; }
  Size IconSize() override { return {}; }
  void PaintIcon(Point) override {}

  std::string Selected(ControlId combo);
  // The five input controls enabled, the bar hidden at 0 with a blank text.
  bool IsIdle();

  FakeProgress progress;
  std::vector<std::string>* log;
  std::function<void()> on_path_change;
  std::map<ControlId, bool> enabled;
  std::map<ControlId, bool> shown;
  std::map<ControlId, std::vector<std::string>> items;
  std::map<ControlId, int> selection;
  std::string path;
  int focused = kPathEdit;
  std::vector<std::string> system_menu;
  int about_opened = 0;
  std::optional<int> ended_with;
  std::optional<std::string> file_choice;  // the file dialog's answer; none: cancelled
  std::optional<OpenFileRequest> file_request;

 private:
  void Log(bool on, const char* yes, const char* no, ControlId c);
};

struct Box {
  std::string text;
  std::string caption;
  platform::BoxIcon icon;
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Constructs and initialises the dialog with `ports` as the port list.
  void MakeDialog(std::vector<std::string> ports = PortItems({}),
                  const std::string& initial_path = {});
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes);
  // Pumps the queue until `done` holds; false when the deadline passed first.
  bool PumpUntil(const std::function<bool()>& done);

  std::filesystem::path m_dir;
  std::vector<std::string> m_log;
  std::vector<Box> m_boxes;
  std::function<void(size_t box)> m_while_open;
  platform::MessageBoxHandler m_previous_boxes;
  platform::MessageQueue m_queue;
  std::unique_ptr<settings::ProfileStore> m_profile;
  std::unique_ptr<FakeView> m_view;
  std::unique_ptr<MainDialog> m_dialog;
};

// A program file: magic, model name, big-endian progress total, payload.
std::vector<uint8_t> ProgramFile(const std::string& model, uint16_t total,
                                 const std::vector<uint8_t>& payload = {});
std::vector<uint8_t> FontFile(size_t length);

}  // namespace velmar::app::testing
