// The main window's own rules: settings, exchange, Close and OK, Browse, About, lists.

#include <gtest/gtest.h>

#include <climits>

#include "app/file_filter.h"
#include "tests/app/fake_main_view.h"
#include "texts/string_table.h"

namespace velmar::app::testing {
namespace {

struct SettingsCase {
  const char* name;
  const char* stored_baud;  // null: absent
  const char* stored_port;
  const char* shown_baud;
  const char* shown_port;
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
  *os << c.name;
}

class SettingsTest : public DialogTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsTest, RestoredOnInitAndSavedOnClose) {
  const SettingsCase& c = GetParam();
  if (c.stored_baud != nullptr) {
    m_profile->SetString("Settings", "_combo_baudrate", c.stored_baud);
    m_profile->SetString("Settings", "_combo_comm_port", c.stored_port);
  }
  MakeDialog();
  EXPECT_EQ(m_view->Selected(kBaudCombo), c.shown_baud);
  EXPECT_EQ(m_view->Selected(kPortCombo), c.shown_port);
  m_dialog->OnCancel();
  EXPECT_EQ(m_view->ended_with, IDCANCEL);
  EXPECT_EQ(m_profile->GetString("Settings", "_combo_baudrate", "?"), c.shown_baud);
  EXPECT_EQ(m_profile->GetString("Settings", "_combo_comm_port", "?"), c.shown_port);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, SettingsTest,
    ::testing::Values(SettingsCase{"FirstStart", nullptr, nullptr, "115200", "COM1"},
                      SettingsCase{"Exact", "57600", "COM3", "57600", "COM3"},
                      SettingsCase{"FirstItemWithThePrefix", "1", "COM", "14400", "COM1"},
                      SettingsCase{"LetterCaseIgnored", "9600", "com2", "9600", "COM2"},
                      // Nothing begins with it: the selection of the first exchange stays.
                      SettingsCase{"NoMatch", "FAST", "LPT1", "2400", "COM1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, InitialisationAndOk) {
  MakeDialog(PortItems({}), "/data/firmware.bin");
  EXPECT_EQ(m_view->path, "/data/firmware.bin");
  EXPECT_EQ(m_dialog->m_connection_type, "RS-232");
  EXPECT_EQ(m_view->system_menu, std::vector<std::string>{"16 О программе..."});
  EXPECT_TRUE(m_view->progress.show_text);
  EXPECT_TRUE(m_view->shown[kBaudCombo] && m_view->shown[kPortCombo]);
  EXPECT_TRUE(m_view->IsIdle());
  m_dialog->OnOK();
  EXPECT_EQ(m_view->ended_with, IDOK);
  EXPECT_FALSE(std::filesystem::exists(m_profile->Path()));  // OK saves nothing
}

// An adapter plugged in or pulled while the window is open.
TEST_F(DialogTest, ThePortListFollowsThePortsAndKeepsTheChoiceWhereItExists) {
  MakeDialog(PortItems({"/dev/ttyUSB2"}));
  m_dialog->m_port = "/dev/ttyUSB2";
  m_dialog->DoDataExchange(MainDialog::Exchange::kToControls);
  const std::vector<std::string> both = PortItems({"/dev/ttyUSB10", "/dev/ttyUSB2"});
  m_dialog->RefreshPorts(both);
  EXPECT_EQ(m_view->items[kPortCombo], both);
  EXPECT_EQ(m_view->Selected(kPortCombo), "/dev/ttyUSB2");
  m_dialog->RefreshPorts(PortItems({"/dev/ttyUSB10"}));
  EXPECT_EQ(m_view->Selected(kPortCombo), "");  // never another port in its place
}

TEST_F(DialogTest, AnExchangeRaisesNoChangeHandler) {
  MakeDialog();
  // Were the edit's change handled inside the exchange, the old selection would be read back
  // into m_baud_rate before the combo box is written.
  m_dialog->m_baud_rate = "96";
  m_dialog->DoDataExchange(MainDialog::Exchange::kToControls);
  EXPECT_EQ(m_view->Selected(kBaudCombo), "9600");
  // Typing: the members follow at once.
  m_view->path = "b.fnt";
  m_view->selection[kPortCombo] = 4;
  m_dialog->OnPathEditChange();
  EXPECT_EQ(m_dialog->m_path, "b.fnt");
  EXPECT_EQ(m_dialog->m_port, "COM5");
}

TEST_F(DialogTest, BrowsePutsAConfirmedChoiceIntoTheEdit) {
  MakeDialog();
  m_view->path = "typed.bin";
  m_dialog->Browse();  // cancelled
  ASSERT_TRUE(m_view->file_request.has_value());
  EXPECT_EQ(m_view->file_request->default_extension, "bin");
  EXPECT_EQ(m_view->file_request->initial_name, "*.bin");
  EXPECT_EQ(m_view->file_request->filters.size(), 3u);
  EXPECT_EQ(m_dialog->m_path, "typed.bin");
  m_view->file_choice = "/home/u/font.fnt";
  m_dialog->Browse();
  EXPECT_EQ(m_view->path, "/home/u/font.fnt");
  EXPECT_EQ(m_dialog->m_path, "/home/u/font.fnt");
}

TEST_F(DialogTest, SystemCommandsSixteenToThirtyOneOpenAbout) {
  MakeDialog();
  for (uint32_t command : {0u, 15u, 32u, 0xF060u /* close */}) {
    EXPECT_FALSE(m_dialog->OnSysCommand(command)) << command;
  }
  for (uint32_t command = 16; command <= 31; ++command) {
    EXPECT_TRUE(m_dialog->OnSysCommand(command)) << command;
  }
  EXPECT_EQ(m_view->about_opened, 16);
}

TEST(WindowDataTest, IconPortsBaudRatesFilter) {
  EXPECT_EQ(IconOrigin({160, 40}, {32, 32}), (Point{64, 4}));
  EXPECT_EQ(IconOrigin({30, 31}, {32, 32}), (Point{0, 0}));  // -1 / 2 truncates toward zero
  EXPECT_EQ(IconOrigin({0, 0}, {32, 32}), (Point{-15, -15}));

  const std::vector<std::string> ports = PortItems(
      {"/dev/serial/by-id/usb-FTDI-port0", "/dev/ttyS0", "/dev/ttyUSB0", "COM12", "COM3"});
  EXPECT_EQ(std::vector<std::string>(ports.begin() + 8, ports.end()),
            (std::vector<std::string>{"COM9", "COM12", "/dev/serial/by-id/usb-FTDI-port0",
                                      "/dev/ttyS0", "/dev/ttyUSB0"}));

  for (auto [text, value] : {std::pair<const char*, int32_t>{"115200", 115200},
                             {"", 0},
                             {"96x", 96},
                             {"x1", 0},
                             {"99999999999", INT32_MAX}}) {
    EXPECT_EQ(settings::BaudRateValue(text), value) << text;
  }

  const auto filters = ParseFileFilter(texts::LoadText(texts::IDS_FILE_FILTER));
  ASSERT_EQ(filters.size(), 3u);
  EXPECT_EQ(filters[0].label, "Файлы с программами (*.bin)");
  EXPECT_EQ(filters[2].pattern, "*.*");
  EXPECT_EQ(ParseFileFilter("A|*.a||B|*.b").size(), 1u);
}

}  // namespace
}  // namespace velmar::app::testing
