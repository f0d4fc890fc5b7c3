// velmar.exe under Wine, driven from outside: its controls, its settings, its About box, and
// loads through "Загрузить" into the emulated printer that wine_window_test (Linux) starts as
// COM1 before it runs each load case here, naming the data file in VELMAR_FILE.

#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/combo_lists.h"
#include "app/dialog_templates.h"
#include "tests/window_win32/window_driver.h"
#include "texts/string_table.h"

namespace velmar::test {
namespace {

constexpr int kPathEdit = 1000;
constexpr int kBrowseButton = 1001;
constexpr int kLoadButton = 1002;
constexpr int kProgressBar = 1003;
constexpr int kPortCombo = 1009;
constexpr int kBaudCombo = 1010;
constexpr int kAboutCommand = 16;
constexpr int kBoxText = 0xFFFF;

std::wstring SettingsFile() {
  return Environment(L"APPDATA") + L"\\velmar\\settings.ini";
}

std::string Setting(const wchar_t* entry) {
  wchar_t value[64] = {};
  GetPrivateProfileStringW(L"Settings", entry, L"", value, 64, SettingsFile().c_str());
  return Utf8(value);
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring item(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    items.push_back(Utf8(item.c_str()));
  }
  return items;
}

class WindowTest : public ::testing::Test {
 protected:
  // Each case starts as on a fresh machine: no saved settings.
  void SetUp() override { DeleteFileW(SettingsFile().c_str()); }

  // Puts `path` in the edit as typing would, presses "Загрузить" and waits for the box that
  // ends the load; returns its text.
  std::string Load(const std::wstring& path) {
    if (!path.empty()) {
      SendMessageW(m_window.Control(kPathEdit), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(path.c_str()));
    }
    PostMessageW(m_window.Control(kLoadButton), BM_CLICK, 0, 0);
    HWND box = m_window.WaitForBox(texts::kCaption);
    return box != nullptr ? WindowText(GetDlgItem(box, kBoxText)) : "no box";
  }

  bool Loading() const {
    return WindowText(m_window.Control(kProgressBar)) == texts::LoadingStatusText(false, "TEST");
  }

  VelmarWindow m_window;
};

TEST_F(WindowTest, ControlsTabOrderDefaultButtonAndLists) {
  const std::wstring file = L"C:\\users\\Public\\Мои файлы\\шрифт 1.fnt";
  ASSERT_TRUE(m_window.Start(L"\"" + file + L"\""));
  EXPECT_EQ(WindowText(m_window.Control(kPathEdit)), Utf8(file));

  struct Control {
    int id;
    const wchar_t* class_name;
  };
  // In tab order; the bar takes no focus.
  const Control controls[] = {{kPathEdit, L"Edit"},      {kBrowseButton, L"Button"},
                              {kLoadButton, L"Button"},  {kPortCombo, L"ComboBox"},
                              {kBaudCombo, L"ComboBox"}, {kProgressBar, PROGRESS_CLASSW}};
  HWND tab = m_window.Control(kPathEdit);
  for (const Control& c : controls) {
    wchar_t class_name[64] = {};
    GetClassNameW(m_window.Control(c.id), class_name, 64);
    EXPECT_EQ(Utf8(class_name), Utf8(c.class_name)) << c.id;
    if (c.id != kProgressBar) {
      EXPECT_EQ(GetDlgCtrlID(tab), c.id);
      tab = GetNextDlgTabItem(m_window.Main(), tab, FALSE);
    }
  }
  EXPECT_EQ(GetDlgCtrlID(tab), kPathEdit) << "the tab order comes round";
  EXPECT_EQ(SendMessageW(m_window.Main(), DM_GETDEFID, 0, 0),
            MAKELRESULT(kLoadButton, DC_HASDEFID));
  EXPECT_EQ(m_window.Focus(), m_window.Control(kPathEdit));
  EXPECT_FALSE(IsWindowVisible(m_window.Control(kProgressBar)));
  EXPECT_EQ(WindowText(m_window.Control(kProgressBar)), " ");

  EXPECT_EQ(ComboItems(m_window.Control(kBaudCombo)), app::BaudRateItems());
  const std::vector<std::string> ports = ComboItems(m_window.Control(kPortCombo));
  ASSERT_GE(ports.size(), app::kComPortItems.size());
  for (size_t i = 0; i < app::kComPortItems.size(); ++i) {
    EXPECT_EQ(ports[i], app::kComPortItems[i]);
  }
}

struct SettingsCase {
  const char* name;
  const wchar_t* stored;  // the file's content; nullptr for none
  const char* port;
  const char* baud;
  const wchar_t* new_port;  // picked before Close, which saves them
  const wchar_t* new_baud;
};

class SettingsTest : public WindowTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsTest, RestoredAndSavedOnClose) {
  const SettingsCase& c = GetParam();
  if (c.stored != nullptr) {
    CreateDirectoryW((Environment(L"APPDATA") + L"\\velmar").c_str(), nullptr);
    WritePrivateProfileStringW(L"Settings", L"_combo_comm_port", c.stored, SettingsFile().c_str());
    WritePrivateProfileStringW(L"Settings", L"_combo_baudrate", c.stored + wcslen(c.stored) + 1,
                               SettingsFile().c_str());
  }
  ASSERT_TRUE(m_window.Start());
  EXPECT_EQ(m_window.Selected(kPortCombo), c.port);
  EXPECT_EQ(m_window.Selected(kBaudCombo), c.baud);
  m_window.Select(kPortCombo, c.new_port);
  m_window.Select(kBaudCombo, c.new_baud);
  PostMessageW(m_window.Main(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(m_window.WaitForExit());
  EXPECT_EQ(Setting(L"_combo_comm_port"), Utf8(c.new_port));
  EXPECT_EQ(Setting(L"_combo_baudrate"), Utf8(c.new_baud));
}

// `stored` holds the port, a NUL, then the baud rate. A stored text selects the first item
// that begins with it.
INSTANTIATE_TEST_SUITE_P(Cases, SettingsTest,
                         ::testing::Values(SettingsCase{"Stored",
                                                        L"COM3\0"
                                                        L"57600",
                                                        "COM3", "57600", L"COM5", L"9600"},
                                           SettingsCase{"None", nullptr, "COM1", "115200", L"COM2",
                                                        L"19200"},
                                           SettingsCase{"Prefixes",
                                                        L"COM\0"
                                                        L"1",
                                                        "COM1", "14400", L"COM9", L"2400"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct AboutCase {
  const char* name;
  bool by_key;  // F1 on the focused control, else the system menu's command
  WPARAM close_key;
};

class AboutTest : public WindowTest, public ::testing::WithParamInterface<AboutCase> {};

TEST_P(AboutTest, OpensAndClosesLeavingTheWindow) {
  const AboutCase& c = GetParam();
  ASSERT_TRUE(m_window.Start());
  if (c.by_key) {
    m_window.PostKey(m_window.Focus(), VK_F1);
  } else {
    PostMessageW(m_window.Main(), WM_SYSCOMMAND, kAboutCommand, 0);
  }
  HWND about = m_window.WaitForBox(app::AboutTemplate().caption);
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(m_window.WaitForFocusIn(about));
  m_window.PostKey(m_window.Focus(), c.close_key);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  EXPECT_TRUE(IsWindowVisible(m_window.Main()));
  EXPECT_TRUE(m_window.Running());
}

INSTANTIATE_TEST_SUITE_P(Ways, AboutTest,
                         ::testing::Values(AboutCase{"MenuThenEscape", false, VK_ESCAPE},
                                           AboutCase{"F1ThenEnter", true, VK_RETURN}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LoadCase {
  const char* name;
  const wchar_t* copy_as;  // loads a copy of the file by that name; nullptr: the file itself
  bool on_command_line;    // else typed into the edit
  int box_text;
  const char* box_argument;  // the model name in the text, if any
  bool close_by_escape;      // else WM_CLOSE
};

class LoadTest : public WindowTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, EndsWithItsBoxAndCloses) {
  const LoadCase& c = GetParam();
  std::wstring file = Environment(L"VELMAR_FILE");
  if (file.empty()) {
    GTEST_SKIP() << "run by wine_window_test, which starts the printer as COM1";
  }
  if (c.copy_as != nullptr) {
    const std::wstring copy = Environment(L"TEMP") + L"\\" + c.copy_as;
    ASSERT_TRUE(CopyFileW(file.c_str(), copy.c_str(), FALSE));
    file = copy;
  }
  ASSERT_TRUE(m_window.Start(c.on_command_line ? L"\"" + file + L"\"" : L""));
  const std::string expected = texts::FormatText(c.box_text, c.box_argument);
  EXPECT_EQ(Load(c.on_command_line ? L"" : file), expected);
  ASSERT_TRUE(m_window.WaitForFocusIn(m_window.Box(texts::kCaption)));
  m_window.PostKey(m_window.Focus(), VK_RETURN);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(m_window.Control(kLoadButton)) != FALSE; }));
  EXPECT_EQ(m_window.Box(texts::kCaption), nullptr);
  if (c.close_by_escape) {
    m_window.PostKey(m_window.Focus(), VK_ESCAPE);
  } else {
    PostMessageW(m_window.Main(), WM_CLOSE, 0, 0);
  }
  EXPECT_TRUE(m_window.WaitForExit());
  if (c.copy_as != nullptr) {
    DeleteFileW(file.c_str());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadTest,
    ::testing::Values(
        LoadCase{"Program", nullptr, false, texts::IDS_PROGRAM_DONE, "", true},
        LoadCase{"Font", nullptr, true, texts::IDS_FONT_DONE, "", false},
        LoadCase{"OtherModel", nullptr, false, texts::IDS_MODEL_MISMATCH, "TEST", true},
        LoadCase{"NonLatinPath", L"прошивка.bin", false, texts::IDS_PROGRAM_DONE, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// Every way of closing is refused while the printer (slow, at 9600 baud) is being loaded.
TEST_F(WindowTest, CloseRefusedMidLoad) {
  const std::wstring file = Environment(L"VELMAR_FILE");
  if (file.empty()) {
    GTEST_SKIP() << "run by wine_window_test, which starts a slow printer as COM1";
  }
  ASSERT_TRUE(m_window.Start(L"\"" + file + L"\""));
  PostMessageW(m_window.Control(kLoadButton), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return Loading(); })) << WindowText(m_window.Control(kProgressBar));
  SendMessageW(m_window.Main(), WM_CLOSE, 0, 0);
  SendMessageW(m_window.Main(), WM_COMMAND, IDCANCEL, 0);
  SendMessageW(m_window.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  m_window.PostKey(m_window.Focus(), VK_ESCAPE);
  ASSERT_TRUE(m_window.Flush());
  EXPECT_TRUE(IsWindowVisible(m_window.Main()));
  EXPECT_TRUE(Loading()) << "the load ran to its end before every way was tried";
  EXPECT_EQ(m_window.Box(texts::kCaption), nullptr);
}

// The README's picture: the window mid-load, the file where a user keeps files. Prints the
// window's rectangle on the screen, then waits for the file VELMAR_SHOT_TAKEN.
TEST_F(WindowTest, PictureMidLoad) {
  const std::wstring file = Environment(L"VELMAR_FILE");
  const std::wstring taken = Environment(L"VELMAR_SHOT_TAKEN");
  if (file.empty() || taken.empty()) {
    GTEST_SKIP() << "run by make screenshot-windows";
  }
  const std::wstring folder = Environment(L"USERPROFILE") + L"\\Documents\\Прошивки";
  const std::wstring copy = folder + L"\\sample.bin";
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(file.c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(m_window.Start(L"\"" + copy + L"\""));
  PostMessageW(m_window.Control(kLoadButton), BM_CLICK, 0, 0);
  HWND bar = m_window.Control(kProgressBar);
  EXPECT_TRUE(WaitUntil([&] {
    return SendMessageW(bar, PBM_GETPOS, 0, 0) * 5 > SendMessageW(bar, PBM_GETRANGE, FALSE, 0) * 2;
  }));
  RECT rect{};
  GetWindowRect(m_window.Main(), &rect);
  std::printf("shot %ldx%ld+%ld+%ld now\n", rect.right - rect.left, rect.bottom - rect.top,
              rect.left, rect.top);
  std::fflush(stdout);
  EXPECT_TRUE(
      WaitUntil([&] { return GetFileAttributesW(taken.c_str()) != INVALID_FILE_ATTRIBUTES; }));
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace velmar::test
