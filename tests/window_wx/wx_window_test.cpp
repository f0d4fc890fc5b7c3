// The wx main window under a virtual X server: its controls against the template, its layout,
// the routes of its events, the About box, and whole loads driven through it into the emulated
// printer reached as COM1.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "tests/integration/child_process.h"
#include "tests/integration/sample_image.h"
#include "tests/ui/wx_test_app.h"
#include "ui/queue_pump.h"
#include "window_wx/wx_about_dialog.h"
#include "window_wx/wx_dialog_builder.h"
#include "window_wx/wx_main_dialog.h"
#include "window_wx/wx_termination.h"

void PrintTo(const wxRect& r, std::ostream* os) {
  *os << r.x << "," << r.y << " " << r.width << "x" << r.height;
}
void PrintTo(const wxSize& s, std::ostream* os) {
  *os << s.x << "x" << s.y;
}

namespace velmar::app {
namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 60s;
constexpr std::array kInputs = {kPathEdit, kBrowseButton, kLoadButton, kPortCombo, kBaudCombo};

struct Box {
  std::string text;
  std::string caption;
  platform::BoxIcon icon;
};

// The best size of every child. Asked before the window is first shown: once GTK has realised
// an entry or a list, wxGTK folds the control's own size into its best size.
std::vector<wxSize> BestSizes(wxWindow& window) {
  std::vector<wxSize> sizes;
  for (wxWindow* child : window.GetChildren()) {
    sizes.push_back(child->GetBestSize());
  }
  return sizes;
}

void PressKey(wxWindow& window, int key) {
  wxKeyEvent event(wxEVT_CHAR_HOOK);
  event.m_keyCode = key;
  window.ProcessWindowEvent(event);
}

class WxWindowTest : public ::testing::Test {
 public:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-wx-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    m_profile = std::make_unique<settings::ProfileStore>((m_dir / "settings.ini").string());
    m_previous = platform::SetMessageBoxHandler(
        [this](std::string_view text, std::string_view caption, platform::BoxIcon icon) {
          m_boxes.push_back({std::string(text), std::string(caption), icon});
        });
  }
  void TearDown() override {
    delete m_dialog;
    platform::SetMessageBoxHandler(std::move(m_previous));
    std::filesystem::remove_all(m_dir);
  }

  void Open(const std::string& initial_path = {}) {
    m_dialog = new WxMainDialog(m_queue, *m_profile, initial_path, PortItems({}));
    m_best = BestSizes(*m_dialog);
    m_dialog->Show();
    ASSERT_TRUE(ui::PumpUntil([this] { return m_dialog->IsShownOnScreen(); }));
  }
  wxWindow* Control(int id) { return m_dialog->FindWindow(id); }
  ui::TextProgressCtrl& Progress() {
    return *static_cast<ui::TextProgressCtrl*>(m_dialog->ProgressWindow());
  }
  void Command(wxEventType type, int id) {
    wxCommandEvent event(type, id);
    m_dialog->ProcessWindowEvent(event);
  }
  bool Idle() {
    for (ControlId id : kInputs) {
      if (!Control(id)->IsEnabled()) {
        return false;
      }
    }
    return !Control(kProgressBar)->IsShown() && m_dialog->Behaviour().m_downloader == nullptr;
  }

  std::filesystem::path m_dir;
  std::vector<Box> m_boxes;
  platform::MessageBoxHandler m_previous;
  platform::MessageQueue m_queue;
  ui::QueuePump m_pump{m_queue};
  std::unique_ptr<settings::ProfileStore> m_profile;
  WxMainDialog* m_dialog = nullptr;
  std::vector<wxSize> m_best;
};

// The wx class of each template class, in ControlClass order; the self-painted bar has no wx
// class of its own.
constexpr std::array<const char*, 8> kWxClasses = {"wxTextCtrl",     "wxButton",    "wxButton",
                                                   "wxWindow",       "wxChoice",    "wxStaticText",
                                                   "wxStaticBitmap", "wxStaticLine"};

// Every child in template order (wx's tab order) and of its class; each shown at its best size
// or more, inside the client area and (where the template has them `apart`) clear of the others.
void ExpectBuiltFrom(wxDialog& dialog, const DialogTemplate& dialog_template,
                     const std::vector<wxSize>& best_sizes, bool apart) {
  const wxWindowList& children = dialog.GetChildren();
  ASSERT_EQ(children.size(), dialog_template.controls.size());
  const wxRect client(dialog.GetClientSize());
  std::vector<wxRect> placed;
  size_t i = 0;
  for (wxWindow* child : children) {
    const TemplateControl& control = dialog_template.controls[i++];
    SCOPED_TRACE(std::to_string(i) + ": " + std::string(control.text));
    EXPECT_EQ(wxString(child->GetClassInfo()->GetClassName()),
              kWxClasses[static_cast<size_t>(control.control_class)]);
    if (control.id != kStaticId) {
      EXPECT_EQ(child->GetId(), control.id);
    }
    const wxRect rect = child->GetRect();
    const wxSize best = best_sizes[i - 1];
    EXPECT_GE(rect.height, best.y);
    if (control.control_class != ControlClass::kEdit &&
        control.control_class != ControlClass::kProgress &&
        control.control_class != ControlClass::kEtchedLine) {
      EXPECT_GE(rect.width, best.x);
      EXPECT_TRUE(client.Contains(rect))
          << rect.x << "," << rect.y << " " << rect.width << "x" << rect.height;
    }
    for (const wxRect& other : placed) {
      EXPECT_FALSE(apart && other.Intersects(rect));
    }
    placed.push_back(rect);
  }
}

TEST_F(WxWindowTest, ControlsFollowTheTemplateUnclippedAndInTabOrder) {
  Open("/data/firmware.bin");
  ExpectBuiltFrom(*m_dialog, MainTemplate(), m_best, true);
  EXPECT_EQ(m_dialog->GetTitle(), wxString::FromUTF8("Велмар"));
  EXPECT_TRUE(m_dialog->HasFlag(wxMINIMIZE_BOX));
  EXPECT_EQ(m_dialog->GetIcons().GetIconCount(), 3u);
  EXPECT_EQ(m_dialog->GetDefaultItem(), Control(kLoadButton));
  // Idle after initialisation: the lists shown with the defaults, the bar hidden.
  for (ControlId id : kInputs) {
    EXPECT_TRUE(Control(id)->IsShown() && Control(id)->IsEnabled()) << id;
  }
  EXPECT_FALSE(Control(kProgressBar)->IsShown());
  EXPECT_EQ(m_dialog->ControlText(kPathEdit), "/data/firmware.bin");
  EXPECT_EQ(m_dialog->Behaviour().m_port, "COM1");
  EXPECT_EQ(m_dialog->Behaviour().m_baud_rate, "115200");
  EXPECT_EQ(m_dialog->ComboSelection(kBaudCombo), 8);
}

struct FitCase {
  const char* name;
  std::vector<wxRect> planned;
  std::vector<wxSize> needed;
  std::vector<wxRect> fitted;
  wxSize client;
};

class FitLayoutTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitLayoutTest, GrowsPushesAndKeepsTheMargin) {
  const FitCase& c = GetParam();
  const FittedLayout fitted = FitLayout(c.planned, c.needed, wxSize(100, 100));
  EXPECT_EQ(fitted.rects, c.fitted);
  EXPECT_EQ(fitted.client, c.client);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitLayoutTest,
    ::testing::Values(
        // The row below moves down by the growth and the client area keeps its bottom margin.
        FitCase{"RowsBelowMoveDown",
                {{10, 10, 20, 20}, {10, 40, 20, 50}},
                {{0, 30}, {0, 0}},
                {{10, 10, 20, 30}, {10, 50, 20, 50}},
                {100, 110}},
        // A neighbour on the same row moves right; one on another row stays.
        FitCase{"SameRowMovesRight",
                {{10, 10, 20, 10}, {40, 10, 20, 10}, {40, 30, 20, 10}},
                {{35, 0}, {0, 0}, {0, 0}},
                {{10, 10, 35, 10}, {55, 10, 20, 10}, {40, 30, 20, 10}},
                {115, 100}},
        // A label that grows into free room leaves the client area alone...
        FitCase{"RoomToTheRight",
                {{10, 10, 20, 10}, {70, 30, 20, 10}},
                {{60, 0}, {0, 0}},
                {{10, 10, 60, 10}, {70, 30, 20, 10}},
                {100, 100}},
        // ...one at the edge pushes it by the template's narrowest margin...
        FitCase{"AtTheEdge", {{70, 10, 20, 10}}, {{30, 0}}, {{70, 10, 30, 10}}, {110, 100}},
        // ...and a line that the template lets stick out does not.
        FitCase{"StickingOut",
                {{0, 10, 120, 1}, {70, 20, 20, 10}},
                {{0, 2}, {0, 0}},
                {{0, 10, 120, 2}, {70, 21, 20, 10}},
                {100, 101}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WxWindowTest, EventsReachTheBehaviourAndExchangesRaiseNone) {
  Open();
  int changes = 0;
  Control(kPathEdit)->Bind(wxEVT_TEXT, [&](wxCommandEvent& event) {
    ++changes;
    event.Skip();
  });
  static_cast<wxTextCtrl*>(Control(kPathEdit))->SetValue("/typed.bin");  // as the user types
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(m_dialog->Behaviour().m_path, "/typed.bin");
  m_dialog->Behaviour().m_path = "/set.bin";
  m_dialog->Behaviour().DoDataExchange(MainDialog::Exchange::kToControls);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(m_dialog->ControlText(kPathEdit), "/set.bin");

  // The OK command ends the window without saving; Close saves both settings.
  Command(wxEVT_BUTTON, wxID_OK);
  EXPECT_EQ(m_dialog->GetReturnCode(), IDOK);
  EXPECT_FALSE(std::filesystem::exists(m_profile->Path()));
  m_dialog->Show();
  m_dialog->SelectComboItem(kPortCombo, 2);
  PressKey(*m_dialog, WXK_ESCAPE);
  EXPECT_EQ(m_dialog->GetReturnCode(), IDCANCEL);
  EXPECT_FALSE(m_dialog->IsShown());
  EXPECT_EQ(m_profile->GetString("Settings", "_combo_comm_port", ""), "COM3");
}

struct AboutCase {
  const char* name;
  std::function<void(WxWindowTest&)> open;
  std::function<void(AboutDialog&)> close;
};

class AboutTest : public WxWindowTest, public ::testing::WithParamInterface<AboutCase> {};

TEST_P(AboutTest, OpensModallyAndCloses) {
  Open();
  const wxMenuItem* item = m_dialog->SystemMenu().FindItem(ABOUT_COMMAND);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->GetItemLabelText(), wxString::FromUTF8("О программе..."));
  bool seen = false;
  // Runs inside the About box's modal loop.
  wxTheApp->CallAfter([&] {
    for (wxWindow* window : wxTopLevelWindows) {
      if (auto* about = dynamic_cast<AboutDialog*>(window); about != nullptr && about->IsModal()) {
        seen = true;
        EXPECT_EQ(about->GetTitle(), wxString::FromUTF8("О программе"));
        // The template's last two lines overlap by two units, where their texts do not reach.
        ExpectBuiltFrom(*about, AboutTemplate(), BestSizes(*about), false);
        EXPECT_TRUE(about->GetChildren().back()->HasFlag(wxALIGN_RIGHT));
        GetParam().close(*about);
      }
    }
  });
  GetParam().open(*this);
  EXPECT_TRUE(seen);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutTest,
    ::testing::Values(
        AboutCase{"MenuAndEscape", [](WxWindowTest& t) { t.Command(wxEVT_MENU, ABOUT_COMMAND); },
                  [](AboutDialog& about) { PressKey(about, WXK_ESCAPE); }},
        AboutCase{"F1AndEnter", [](WxWindowTest& t) { PressKey(*t.m_dialog, WXK_F1); },
                  [](AboutDialog& about) { PressKey(about, WXK_RETURN); }},
        AboutCase{"MenuAndCloseBox", [](WxWindowTest& t) { t.Command(wxEVT_MENU, ABOUT_COMMAND); },
                  [](AboutDialog& about) { about.Close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct LoadCase {
  const char* name;
  const char* sample;
  std::vector<std::string> printer_options;
  const char* outcome;
};

// COM1 is the configuration folder's link to the emulator's pseudo-terminal.
class Com1Test : public WxWindowTest {
 protected:
  void SetUp() override {
    WxWindowTest::SetUp();
    ::setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    std::filesystem::create_directories(m_dir / "config/velmar/ports");
    std::filesystem::create_symlink(m_dir / "printer", m_dir / "config/velmar/ports/COM1");
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    WxWindowTest::TearDown();
  }
};

class WxLoadTest : public Com1Test, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(WxLoadTest, TheLoadButtonLoadsTheFileIntoCom1) {
  const LoadCase& c = GetParam();
  const std::string image = (m_dir / "image.hex").string();
  const std::string sample = std::string(VELMAR_SAMPLES) + "/" + c.sample;
  test::ChildProcess printer;
  std::vector<std::string> argv = {
      VELMAR_PRINTER, "--link", (m_dir / "printer").string(), "--image", image, "--loads", "1"};
  argv.insert(argv.end(), c.printer_options.begin(), c.printer_options.end());
  ASSERT_TRUE(printer.Start(argv));
  ASSERT_TRUE(printer.WaitForOutput((m_dir / "printer").string(), kDeadline)) << printer.Err();

  Open();
  static_cast<wxTextCtrl*>(Control(kPathEdit))->SetValue(wxString::FromUTF8(sample));
  wxCommandEvent press(wxEVT_BUTTON, kLoadButton);
  Control(kLoadButton)->ProcessWindowEvent(press);
  for (ControlId id : kInputs) {
    EXPECT_FALSE(Control(id)->IsEnabled()) << id;
  }
  EXPECT_TRUE(Control(kProgressBar)->IsShown());
  // The run waits for this thread to take its first step, so it is still busy: Close is refused.
  ASSERT_TRUE(m_dialog->Behaviour().IsBusy());
  m_dialog->Close();
  EXPECT_TRUE(m_dialog->IsShown());

  ASSERT_TRUE(
      ui::PumpUntil([&] { return Progress().GetPos() > 0 || !m_boxes.empty(); }, kDeadline));
  // Taken once the bar has been drawn twice under way, so that the first drawing is on screen.
  int paints = 0;
  Progress().Bind(wxEVT_PAINT, [&](wxPaintEvent& event) {
    paints += Progress().GetPos() > 0 ? 1 : 0;
    event.Skip();
  });
  if (const char* path = std::getenv("VELMAR_SCREENSHOT");
      path != nullptr && *path != '\0' &&
      ui::PumpUntil([&] { return paints >= 2 || !m_boxes.empty(); }, kDeadline) &&
      m_boxes.empty()) {
    EXPECT_TRUE(ui::GrabClientArea(m_dialog).SaveFile(path, wxBITMAP_TYPE_PNG));
  }
  ASSERT_TRUE(ui::PumpUntil([&] { return !m_boxes.empty() && Idle(); }, kDeadline));
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].text, c.outcome);
  EXPECT_EQ(m_boxes[0].caption, "Велмар");
  EXPECT_EQ(m_boxes[0].icon, platform::BoxIcon::kInformation);

  ASSERT_TRUE(printer.Wait(kDeadline));
  EXPECT_EQ(printer.ExitStatus(), 0) << printer.Out() << printer.Err();
  const auto bytes = test::ReadBytes(sample);
  test::Image loaded;
  ASSERT_TRUE(test::ReadIntelHex(image, &loaded));
  EXPECT_EQ(loaded, std::string(c.sample).ends_with(".fnt") ? test::FontImage(bytes, 0)
                                                            : test::ProgramImage(bytes));
}

int OpenDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                        std::filesystem::directory_iterator{}));
}

// Fifty loads in a row from one window, each ending in its box and the window idle again, with
// no descriptor left open by any of them.
TEST_F(Com1Test, FiftyLoadsInARow) {
  constexpr int kLoads = 50;
  const std::string link = (m_dir / "printer").string();
  const std::string image = (m_dir / "image.hex").string();
  const std::string sample = std::string(VELMAR_SAMPLES) + "/sample.bin";
  test::ChildProcess printer;
  ASSERT_TRUE(printer.Start(
      {VELMAR_PRINTER, "--link", link, "--image", image, "--loads", std::to_string(kLoads)}));
  ASSERT_TRUE(printer.WaitForOutput(link, kDeadline)) << printer.Err();
  Open();
  static_cast<wxTextCtrl*>(Control(kPathEdit))->SetValue(wxString::FromUTF8(sample));
  int descriptors = 0;
  for (int load = 1; load <= kLoads && !HasFailure(); ++load) {
    m_boxes.clear();
    wxCommandEvent press(wxEVT_BUTTON, kLoadButton);
    Control(kLoadButton)->ProcessWindowEvent(press);
    ASSERT_TRUE(ui::PumpUntil([&] { return !m_boxes.empty() && Idle(); }, kDeadline)) << load;
    ASSERT_EQ(m_boxes.size(), 1u) << load;
    EXPECT_EQ(m_boxes[0].text, "Программа успешно загружена в принтер.") << load;
    if (load == 1) {
      descriptors = OpenDescriptors();
    }
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  ASSERT_TRUE(printer.Wait(kDeadline));
  EXPECT_EQ(printer.ExitStatus(), 0) << printer.Out() << printer.Err();
  EXPECT_NE(printer.Out().find("load 50: TEST program, 48 blocks"), std::string::npos);
  test::Image loaded;
  ASSERT_TRUE(test::ReadIntelHex(image, &loaded));
  EXPECT_EQ(loaded, test::ProgramImage(test::ReadBytes(sample)));
}

// Reads and drops whatever the line brings until it has been quiet for `quiet`.
bool AwaitQuietLine(const std::string& path, std::chrono::milliseconds quiet,
                    std::chrono::milliseconds deadline) {
  const int port = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (port < 0) {
    return false;
  }
  const auto until = std::chrono::steady_clock::now() + deadline;
  bool quiet_enough = false;
  while (!quiet_enough && std::chrono::steady_clock::now() < until) {
    pollfd readable{port, POLLIN, 0};
    uint8_t buffer[512];
    quiet_enough = ::poll(&readable, 1, static_cast<int>(quiet.count())) == 0 ||
                   ::read(port, buffer, sizeof buffer) < 0;
  }
  ::close(port);
  return quiet_enough;
}

// A window program of its own, stopped by StoppedWindowTest below: with VELMAR_WINDOW_PROCESS
// naming a data file, it loads that file into COM1, says "loading" once the bar has moved, and
// waits to be stopped as the program's main would have it stopped.
TEST_F(WxWindowTest, RunsAsAProcessUntilStopped) {
  const char* sample = std::getenv("VELMAR_WINDOW_PROCESS");
  if (sample == nullptr) {
    GTEST_SKIP() << "started by StoppedWindowTest";
  }
  ui::SetStopHandler(&RequestWindowTermination);
  Open();
  SetTerminationWindow(m_dialog);
  static_cast<wxTextCtrl*>(Control(kPathEdit))->SetValue(wxString::FromUTF8(sample));
  wxCommandEvent press(wxEVT_BUTTON, kLoadButton);
  Control(kLoadButton)->ProcessWindowEvent(press);
  // A few blocks in, so that the printer has taken part of the file.
  ASSERT_TRUE(ui::PumpUntil(
      [&] { return Progress().GetPos() >= 4 * datafile::kLoadStep || !m_boxes.empty(); },
      kDeadline));
  ASSERT_TRUE(m_boxes.empty()) << m_boxes[0].text;
  std::printf("loading\n");
  std::fflush(stdout);
  ui::PumpUntil([] { return false; }, kDeadline);
  SetTerminationWindow(nullptr);
  ADD_FAILURE() << "never stopped";
}

struct StopCase {
  const char* name;
  int signal_number;
};

class StoppedWindowTest : public Com1Test, public ::testing::WithParamInterface<StopCase> {};

// The window stopped mid-load frees the port for the next load at once. Stopped by a signal it
// can take, it closes the port properly: the pseudo-terminal's exclusive flag is cleared, which
// matters to everyone but root while the printer keeps its end open. Killed outright, the
// system closes the port (on a real port, the flag goes with the last close).
TEST_P(StoppedWindowTest, LeavesThePortFreeForTheNextLoad) {
  const int signal_number = GetParam().signal_number;
  const std::string link = (m_dir / "printer").string();
  const std::string image = (m_dir / "image.hex").string();
  const std::string sample = std::string(VELMAR_SAMPLES) + "/sample.bin";
  test::ChildProcess printer;
  // Paced, so that the load is still under way when the signal comes.
  ASSERT_TRUE(printer.Start({VELMAR_PRINTER, "--link", link, "--image", image, "--baud", "38400"}));
  ASSERT_TRUE(printer.WaitForOutput(link, kDeadline)) << printer.Err();

  test::ChildProcess window;
  ::setenv("VELMAR_WINDOW_PROCESS", sample.c_str(), 1);
  ::setenv("VELMAR_WATCH_STOP", "1", 1);
  const bool started =
      window.Start({"/proc/self/exe", "--gtest_filter=WxWindowTest.RunsAsAProcessUntilStopped"});
  ::unsetenv("VELMAR_WINDOW_PROCESS");
  ::unsetenv("VELMAR_WATCH_STOP");
  ASSERT_TRUE(started);
  ASSERT_TRUE(window.WaitForOutput("loading", kDeadline)) << window.Out() << window.Err();
  window.Signal(signal_number);
  ASSERT_TRUE(window.Wait(kDeadline));
  if (signal_number == SIGKILL) {
    EXPECT_EQ(window.ExitStatus(), -1);
  } else {
    EXPECT_EQ(window.ExitStatus(), 128 + signal_number) << window.Out() << window.Err();
    const int port = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(port, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(port, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(port);
  }

  // A printer still taking the stopped load's last frame answers it a moment later: that
  // answer must be over before the next wake-up, or it is taken for the wake-up's reply.
  ASSERT_TRUE(AwaitQuietLine(link, 300ms, kDeadline));

  // The next load, from a window of this process, goes through the same port at once.
  Open();
  static_cast<wxTextCtrl*>(Control(kPathEdit))->SetValue(wxString::FromUTF8(sample));
  wxCommandEvent press(wxEVT_BUTTON, kLoadButton);
  Control(kLoadButton)->ProcessWindowEvent(press);
  ASSERT_TRUE(ui::PumpUntil([&] { return !m_boxes.empty() && Idle(); }, kDeadline));
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].text, "Программа успешно загружена в принтер.") << printer.Out();
  printer.Signal(SIGTERM);
  ASSERT_TRUE(printer.Wait(kDeadline));
  // The stopped load is reported incomplete; the next one complete, leaving the whole file.
  EXPECT_NE(printer.Out().find("load 1: TEST program"), std::string::npos) << printer.Out();
  EXPECT_NE(printer.Out().find("incomplete"), std::string::npos) << printer.Out();
  EXPECT_NE(printer.Out().find("load 2: TEST program, 48 blocks"), std::string::npos)
      << printer.Out();
  test::Image loaded;
  ASSERT_TRUE(test::ReadIntelHex(image, &loaded));
  EXPECT_EQ(loaded, test::ProgramImage(test::ReadBytes(sample)));
}

// Paced at the line's real rate, so that the load lasts long enough to be seen under way.
INSTANTIATE_TEST_SUITE_P(Samples, WxLoadTest,
                         ::testing::Values(LoadCase{"Program",
                                                    "sample.bin",
                                                    {"--baud", "115200"},
                                                    "Программа успешно загружена в принтер."},
                                           LoadCase{"Font",
                                                    "sample.fnt",
                                                    {"--model", "FNT1", "--baud", "115200"},
                                                    "Шрифт успешно загружен в принтер."}),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Signals, StoppedWindowTest,
                         ::testing::Values(StopCase{"Interrupted", SIGINT},
                                           StopCase{"Terminated", SIGTERM},
                                           StopCase{"Killed", SIGKILL}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmar::app
