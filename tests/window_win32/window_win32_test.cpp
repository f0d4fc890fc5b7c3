// velmar.exe under Wine, driven from outside: its controls, its settings, its About box, and
// loads through "Загрузить" into the emulated printer that wine_window_test (Linux) starts as
// COM1 before it runs each load case here, naming the data file in VELMAR_FILE.

#include "window_win32/win32.h"  // first: <windows.h> after the headers that name its numbers

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/combo_lists.h"
#include "app/dialog_templates.h"
#include "tests/window_win32/window_driver.h"
#include "texts/string_table.h"
#include "window_win32/in_memory_template.h"
#include "window_win32/progress_window.h"

namespace velmar::test {
namespace {

enum Id { kPathEdit = 1000, kBrowse, kLoad, kBar, kPort = 1009, kBaud, kBoxText = 0xFFFF };

std::wstring SettingsFile() {
  return Environment(L"APPDATA") + L"\\velmar\\settings.ini";
}

std::wstring Setting(const wchar_t* entry) {
  wchar_t value[64] = {};
  GetPrivateProfileStringW(L"Settings", entry, L"", value, 64, SettingsFile().c_str());
  return value;
}

// The first `count` items of the combo's list, or all of them when it holds fewer.
std::vector<std::wstring> Items(HWND combo, size_t count) {
  std::vector<std::wstring> items(std::min<size_t>(count, SendMessageW(combo, CB_GETCOUNT, 0, 0)));
  count = items.size();
  for (size_t i = 0; i < count; ++i) {
    items[i].resize(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) + 1);
    items[i].resize(
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(items[i].data())));
  }
  return items;
}

template <typename List>
std::vector<std::wstring> WideItems(const List& list) {
  std::vector<std::wstring> items;
  for (const auto& item : list) {
    items.push_back(Wide(item));
  }
  return items;
}

class WindowTest : public ::testing::Test {
 protected:
  // Each case starts as on a fresh machine, without saved settings.
  void SetUp() override { DeleteFileW(SettingsFile().c_str()); }

  bool Loading() const {
    return WindowText(m_window.Control(kBar)) == Wide(texts::LoadingStatusText(false, "TEST"));
  }

  VelmarWindow m_window;
};

TEST_F(WindowTest, ControlsTabOrderDefaultButtonAndLists) {
  const std::wstring file = L"C:\\users\\Public\\Мои файлы\\шрифт 1.fnt";
  ASSERT_TRUE(m_window.Start(L"\"" + file + L"\""));
  EXPECT_EQ(WindowText(m_window.Control(kPathEdit)), file);
  // In tab order.
  const std::pair<int, const wchar_t*> controls[] = {{kPathEdit, L"Edit"},
                                                     {kBrowse, L"Button"},
                                                     {kLoad, L"Button"},
                                                     {kPort, L"ComboBox"},
                                                     {kBaud, L"ComboBox"}};
  HWND tab = m_window.Control(kPathEdit);
  for (const auto& [id, class_name] : controls) {
    wchar_t name[32] = {};
    GetClassNameW(m_window.Control(id), name, 32);
    EXPECT_STREQ(name, class_name) << id;
    EXPECT_EQ(GetDlgCtrlID(tab), id) << "tab order";
    tab = GetNextDlgTabItem(m_window.Main(), tab, FALSE);
  }
  EXPECT_EQ(GetDlgCtrlID(tab), kPathEdit) << "the tab order comes round";
  EXPECT_EQ(SendMessageW(m_window.Main(), DM_GETDEFID, 0, 0), MAKELRESULT(kLoad, DC_HASDEFID));
  EXPECT_FALSE(IsWindowVisible(m_window.Control(kBar)));
  EXPECT_EQ(WindowText(m_window.Control(kBar)), L" ");
  EXPECT_EQ(Items(m_window.Control(kBaud), 99), WideItems(app::BaudRateItems()));
  EXPECT_EQ(Items(m_window.Control(kPort), app::kComPortItems.size()),
            WideItems(app::kComPortItems));
}

// Each text of both templates shows whole, laid out as its static control lays it out, in its
// own font: no line wraps below the control, none runs past its right edge. The dialog manager
// builds the dialogs here, from velmar.exe's own bytes: a font handle means nothing in another
// process.
TEST_F(WindowTest, ControlsShowTheirWholeTexts) {
  ASSERT_TRUE(EnterTestDesktop());
  platform::MessageQueue queue;  // the text bar joins its thread's queue
  ASSERT_TRUE(app::RegisterProgressClass(GetModuleHandleW(nullptr)));
  for (const app::DialogTemplate* dialog : {&app::MainTemplate(), &app::AboutTemplate()}) {
    const std::vector<uint32_t> bytes = app::BuildDialogTemplate(*dialog);
    HWND window = CreateDialogIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(window, nullptr) << dialog->id;
    ptrdiff_t texts = 0;
    for (HWND control = GetWindow(window, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT)) {
      const LONG style = GetWindowLongW(control, GWL_STYLE);
      wchar_t name[8] = {};
      GetClassNameW(control, name, 8);
      if (std::wstring_view(name) != L"Static" || (style & SS_TYPEMASK) > SS_RIGHT) {
        continue;  // not a text: another class, an icon, a line
      }
      ++texts;
      RECT client{};
      GetClientRect(control, &client);
      RECT needed{0, 0, client.right, 0};
      HDC dc = GetDC(control);
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
      DrawTextW(dc, WindowText(control).c_str(), -1, &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS |
                    ((style & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0));
      ReleaseDC(control, dc);
      EXPECT_TRUE(needed.right <= client.right && needed.bottom <= client.bottom)
          << WindowText(control) << ": needs " << needed.right << "x" << needed.bottom
          << " px, has " << client.right << "x" << client.bottom;
    }
    EXPECT_EQ(texts, std::count_if(dialog->controls.begin(), dialog->controls.end(),
                                   [](const app::TemplateControl& control) {
                                     return control.control_class == app::ControlClass::kStatic;
                                   }))
        << "a text of another kind of static, which this check does not lay out";
    DestroyWindow(window);
  }
}

struct SettingsCase {
  const char* name;
  const wchar_t* stored_port;  // nullptr: no settings file
  const wchar_t* stored_baud;
  const wchar_t* port;
  const wchar_t* baud;
};

class SettingsTest : public WindowTest, public ::testing::WithParamInterface<SettingsCase> {};

// Restored on start; Close saves what is picked then (the first row's values, COM3 and 57600).
TEST_P(SettingsTest, RestoredAndSavedOnClose) {
  const SettingsCase& c = GetParam();
  if (c.stored_port != nullptr) {
    CreateDirectoryW((Environment(L"APPDATA") + L"\\velmar").c_str(), nullptr);
    WritePrivateProfileStringW(L"Settings", L"_combo_comm_port", c.stored_port,
                               SettingsFile().c_str());
    WritePrivateProfileStringW(L"Settings", L"_combo_baudrate", c.stored_baud,
                               SettingsFile().c_str());
  }
  ASSERT_TRUE(m_window.Start());
  EXPECT_EQ(WindowText(m_window.Control(kPort)), c.port);
  EXPECT_EQ(WindowText(m_window.Control(kBaud)), c.baud);
  m_window.Select(kPort, L"COM3");
  m_window.Select(kBaud, L"57600");
  PostMessageW(m_window.Main(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(m_window.WaitForExit());
  EXPECT_EQ(Setting(L"_combo_comm_port"), L"COM3");
  EXPECT_EQ(Setting(L"_combo_baudrate"), L"57600");
}

// A stored text selects the first item that begins with it.
INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsTest,
    ::testing::Values(SettingsCase{"Stored", L"COM3", L"57600", L"COM3", L"57600"},
                      SettingsCase{"None", nullptr, nullptr, L"COM1", L"115200"},
                      SettingsCase{"Prefixes", L"COM", L"1", L"COM1", L"14400"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AboutCase {
  const char* name;
  bool by_f1;  // else the system menu's item
  WORD close_key;
};

class AboutTest : public WindowTest, public ::testing::WithParamInterface<AboutCase> {};

TEST_P(AboutTest, OpensAndClosesLeavingTheWindow) {
  const AboutCase& c = GetParam();
  ASSERT_TRUE(m_window.Start());
  if (c.by_f1) {
    ASSERT_TRUE(m_window.Press(m_window.Main(), VK_F1));
  } else {
    PostMessageW(m_window.Main(), WM_SYSCOMMAND, 16, 0);
  }
  HWND about = m_window.WaitForBox(app::AboutTemplate().caption);
  ASSERT_TRUE(m_window.Press(about, c.close_key));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  EXPECT_TRUE(IsWindowVisible(m_window.Main()) && m_window.Running());
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
  const char* model;     // the model name in the text, if any
  bool close_by_escape;  // else WM_CLOSE
};

class LoadTest : public WindowTest, public ::testing::WithParamInterface<LoadCase> {};

// The box that ends the load says how, Enter closes it, and then the window closes.
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
  if (!c.on_command_line) {
    SendMessageW(m_window.Control(kPathEdit), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(file.c_str()));
  }
  PostMessageW(m_window.Control(kLoad), BM_CLICK, 0, 0);
  HWND box = m_window.WaitForBox(texts::kCaption);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(box, kBoxText)), Wide(texts::FormatText(c.box_text, c.model)));
  ASSERT_TRUE(m_window.Press(box, VK_RETURN));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(m_window.Control(kLoad)) != FALSE; }));
  if (c.close_by_escape) {
    ASSERT_TRUE(m_window.Press(m_window.Main(), VK_ESCAPE));
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
        LoadCase{"HungUp", nullptr, false, texts::IDS_PORT_LOST, "", false},
        LoadCase{"NonLatinPath", L"прошивка.bin", false, texts::IDS_PROGRAM_DONE, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// Every way of closing is refused while the printer, slow at 9600 baud, is being loaded.
TEST_F(WindowTest, CloseRefusedMidLoad) {
  const std::wstring file = Environment(L"VELMAR_FILE");
  if (file.empty()) {
    GTEST_SKIP() << "run by wine_window_test, which starts a slow printer as COM1";
  }
  ASSERT_TRUE(m_window.Start(L"\"" + file + L"\""));
  PostMessageW(m_window.Control(kLoad), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return Loading(); })) << WindowText(m_window.Control(kBar));
  SendMessageW(m_window.Main(), WM_CLOSE, 0, 0);
  SendMessageW(m_window.Main(), WM_COMMAND, IDCANCEL, 0);  // Escape
  SendMessageW(m_window.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(IsWindowVisible(m_window.Main()));
  EXPECT_TRUE(Loading()) << "the load ended before every way was tried";
}

// The README's picture: the window mid-load, the file where a user keeps files. Prints the
// window's place on the screen, then waits for the file VELMAR_SHOT_TAKEN.
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
  PostMessageW(m_window.Control(kLoad), BM_CLICK, 0, 0);
  HWND bar = m_window.Control(kBar);
  EXPECT_TRUE(WaitUntil([&] {
    return SendMessageW(bar, PBM_GETPOS, 0, 0) * 5 > SendMessageW(bar, PBM_GETRANGE, FALSE, 0) * 2;
  }));
  SetForegroundWindow(m_window.Main());
  RECT r{};
  GetWindowRect(m_window.Main(), &r);
  std::printf("shot %ldx%ld+%ld+%ld now\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
  std::fflush(stdout);
  EXPECT_TRUE(
      WaitUntil([&] { return GetFileAttributesW(taken.c_str()) != INVALID_FILE_ATTRIBUTES; }));
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace velmar::test
