#include "tests/app/fake_main_view.h"

#include <unistd.h>

#include <chrono>
#include <fstream>

#include "platform/progress_messages.h"

namespace velmar::app::testing {

platform::LResult FakeProgress::HandleMessage(platform::MessageId message, platform::WParam wparam,
                                              platform::LParam lparam) {
  messages.push_back(message);
  if (message == platform::PBM_SETRANGE32) {
    upper = lparam;
  } else if (message == platform::PBM_SETSTEP) {
    step = static_cast<int32_t>(wparam);
  } else if (message == platform::PBM_SETPOS) {
    position = static_cast<int32_t>(wparam);
  } else if (message == platform::PBM_STEPIT) {
    position += step;
    ++steps;
  } else if (message == platform::PBM_SETSHOWTEXT) {
    show_text = wparam != 0;
  } else if (message == platform::WM_SETTEXT) {
    texts.emplace_back(reinterpret_cast<const char*>(lparam));
  }
  return 0;
}

FakeView::FakeView(platform::MessageQueue& queue, std::vector<std::string>* log)
    : progress(queue), log(log) {
  for (ControlId c :
       {kPathEdit, kBrowseButton, kLoadButton, kProgressBar, kPortCombo, kBaudCombo}) {
    enabled[c] = true;
    shown[c] = c < kProgressBar;
  }
}

void FakeView::Log(bool on, const char* yes, const char* no, ControlId c) {
  log->push_back((on ? yes : no) + std::to_string(c));
}

void FakeView::SetControlText(ControlId, const std::string& text) {
  path = text;
  if (on_path_change) {
    on_path_change();
  }
}

void FakeView::SetComboItems(ControlId c, const std::vector<std::string>& list) {
  items[c] = list;
  selection[c] = kNoSelection;
}

void FakeView::AppendSystemMenuItem(uint32_t command, const std::string& text) {
  system_menu.push_back(std::to_string(command) + " " + text);
}

bool FakeView::ChooseOpenFile(const OpenFileRequest& request, std::string* chosen) {
  file_request = request;
  if (file_choice) {
    *chosen = *file_choice;
  }
  return file_choice.has_value();
}

std::string FakeView::Selected(ControlId combo) {
  return ItemText(items[combo], selection[combo]);
}

bool FakeView::IsIdle() {
  for (ControlId c : {kLoadButton, kBrowseButton, kPathEdit, kBaudCombo, kPortCombo}) {
    if (!enabled[c]) {
      return false;
    }
  }
  return !shown[kProgressBar] && progress.position == 0 && progress.texts.back() == " ";
}

void DialogTest::SetUp() {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '-');
  m_dir = std::filesystem::temp_directory_path() /
          ("velmar-window-" + std::to_string(::getpid()) + "-" + name);
  std::filesystem::remove_all(m_dir);
  std::filesystem::create_directories(m_dir);
  m_profile = std::make_unique<settings::ProfileStore>((m_dir / "settings.ini").string());
  m_view = std::make_unique<FakeView>(m_queue, &m_log);
  m_previous_boxes = platform::SetMessageBoxHandler(
      [this](std::string_view text, std::string_view caption, platform::BoxIcon icon) {
        m_boxes.push_back({std::string(text), std::string(caption), icon});
        m_log.push_back("box " + std::string(text));
        if (m_while_open) {
          m_while_open(m_boxes.size() - 1);
        }
      });
}

void DialogTest::TearDown() {
  m_dialog.reset();
  platform::SetMessageBoxHandler(std::move(m_previous_boxes));
  std::filesystem::remove_all(m_dir);
}

void DialogTest::MakeDialog(std::vector<std::string> ports, const std::string& initial_path) {
  m_dialog = std::make_unique<MainDialog>(m_queue, *m_view, *m_profile, std::move(ports));
  m_view->on_path_change = [this] { m_dialog->OnPathEditChange(); };
  ASSERT_TRUE(m_dialog->OnInitDialog(initial_path));
  m_log.clear();
}

std::string DialogTest::WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = (m_dir / name).string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

bool DialogTest::PumpUntil(const std::function<bool()>& done) {
  return m_queue.RunUntil(done, std::chrono::seconds(30));
}

std::vector<uint8_t> ProgramFile(const std::string& model, uint16_t total,
                                 const std::vector<uint8_t>& payload) {
  std::string head = "MyBIN" + model;
  head += {'\0', static_cast<char>(total >> 8), static_cast<char>(total & 0xFF)};
  std::vector<uint8_t> file(head.begin(), head.end());
  for (uint8_t byte : payload) {
    file.push_back(byte);
  }
  return file;
}

std::vector<uint8_t> FontFile(size_t length) {
  std::vector<uint8_t> file = {'M', 'y', 'F', 'N', 'T', 'F', 0};
  file.resize(file.size() + length, 0x5A);
  return file;
}

}  // namespace velmar::app::testing
