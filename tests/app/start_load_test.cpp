// The Load command: refused files, the progress bar's range, a port that does not open, and
// Close while the run is busy.

#include <gtest/gtest.h>

#include "platform/progress_messages.h"
#include "platform/serial_line.h"
#include "tests/app/fake_main_view.h"
#include "tests/support/pty_pair.h"
#include "texts/string_table.h"

namespace velmar::app::testing {
namespace {

constexpr const char* kMissingPort = "/nonexistent/velmar-tty";
const std::vector<uint8_t> kOneBlock = {0, 0, 0, 1, 0, 0xC0, 0xC1, 0, 0x55};

struct FileCase {
  const char* name;
  std::vector<uint8_t> bytes;  // the file's; none: `name` is a path in the test's folder
  int text;                    // the refusal's text; 0: accepted
  int64_t upper;               // the bar's range when accepted
  const char* why = nullptr;   // the reason line's words after the path, where a row says them
};

void PrintTo(const FileCase& c, std::ostream* os) {
  *os << c.name;
}

class StartLoadTest : public DialogTest, public ::testing::WithParamInterface<FileCase> {};

// Before the port is tried a refused file changes nothing; an accepted one sets the bar up with
// its whole range, and a port that does not open re-enables the controls after its box.
TEST_P(StartLoadTest, RefusesTheFileOrThePort) {
  const FileCase& c = GetParam();
  MakeDialog({kMissingPort});
  m_view->selection[kPortCombo] = 0;
  m_view->path = !c.bytes.empty()  ? WriteFile(c.name, c.bytes)
                 : *c.name != '\0' ? (m_dir / c.name).string()
                                   : "";
  m_view->progress.messages.clear();
  m_dialog->StartLoad();
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].caption, "Велмар");
  EXPECT_EQ(m_boxes[0].icon, platform::BoxIcon::kError);
  EXPECT_EQ(m_dialog->m_downloader, nullptr);
  if (c.text != 0) {
    // The outcome's text, then the file and why on a line of its own.
    const std::string first = std::string(texts::LoadText(c.text)) + "\n";
    EXPECT_EQ(m_boxes[0].text.substr(0, first.size()), first);
    if (c.why != nullptr) {
      EXPECT_EQ(m_boxes[0].text, first + m_view->path + ": " + c.why);
    }
    EXPECT_EQ(m_log, std::vector<std::string>{"box " + m_boxes[0].text});
    EXPECT_TRUE(m_view->progress.messages.empty());
    return;
  }
  using namespace platform;
  EXPECT_EQ(
      m_view->progress.messages,
      (std::vector<MessageId>{PBM_SETRANGE32, PBM_SETSTEP, PBM_SETPOS, WM_SETTEXT, PBM_SETPOS}));
  EXPECT_EQ(m_view->progress.upper, c.upper);
  EXPECT_EQ(m_view->progress.step, 265);
  EXPECT_EQ(m_boxes[0].text, std::string(texts::LoadText(texts::IDS_PORT_BUSY)) + "\n" +
                                 kMissingPort + ": Такого порта нет (No such file or directory).");
  const std::vector<std::string> expected = {
      "disable 1002", "disable 1001", "disable 1000",
      "disable 1010", "disable 1009", "box " + m_boxes[0].text,
      "enable 1002",  "enable 1001",  "enable 1000",
      "enable 1010",  "enable 1009",  "hide 1003"};
  EXPECT_EQ(m_log, expected);  // the bar is never shown
  EXPECT_TRUE(m_view->IsIdle());
}

INSTANTIATE_TEST_SUITE_P(
    Files, StartLoadTest,
    ::testing::Values(
        FileCase{"", {}, 106, 0},
        FileCase{"Missing", {}, 106, 0, "Такого файла нет (No such file or directory)."},
        FileCase{".", {}, 106, 0}, FileCase{"Text", {'h', 'e', 'l', 'l', 'o', '\n'}, 102, 0},
        FileCase{"MagicInOtherCase", {'M', 'y', 'b', 'i', 'n', 'T', 0, 0, 0}, 102, 0},
        FileCase{"HeaderCutShort", {'M', 'y', 'B', 'I', 'N', 'T', 0, 1}, 102, 0},
        FileCase{"BlockLongerThanTheFile", ProgramFile("T", 0, {0, 0, 0, 9, 0, 0, 0, 0, 1}), 102,
                 0},
        FileCase{"ProgramTotalZero", ProgramFile("T", 0, kOneBlock), 0, 795},
        FileCase{"ProgramTotalThatWrapped", ProgramFile("T", 64741, kOneBlock), 0, 65536},
        FileCase{"ProgramTotalHighest", ProgramFile("T", 0xFFFF, kOneBlock), 0, 65535 + 795},
        FileCase{"Font64KiB", FontFile(65536), 0, 65536}),
    [](const auto& info) {
      const std::string name = info.param.name;
      return name.empty() ? "EmptyPath" : name == "." ? "Folder" : name;
    });

// Locking the inputs takes the focus from them; the return to idle gives it back, so that Escape
// and Enter keep working after a load.
TEST_F(DialogTest, TheFocusReturnsWithTheIdleInputs) {
  struct FocusCase {
    int before;
    int after;
  };
  for (const FocusCase& c : {FocusCase{kPathEdit, kPathEdit}, FocusCase{kLoadButton, kLoadButton},
                             FocusCase{kBaudCombo, kBaudCombo}, FocusCase{0, kPathEdit}}) {
    SCOPED_TRACE(c.before);
    MakeDialog({kMissingPort});
    m_view->selection[kPortCombo] = 0;
    m_view->path = WriteFile("one.bin", ProgramFile("T", 0, kOneBlock));
    m_view->focused = c.before;
    m_dialog->StartLoad();  // the port does not open: straight back to idle
    ASSERT_EQ(m_dialog->m_downloader, nullptr);
    EXPECT_EQ(m_view->focused, c.after);
  }
}

// A printer that never answers: Close and OK do nothing until the time-out has ended the load;
// then Close saves and closes.
TEST_F(DialogTest, CloseIsRefusedWhileTheRunIsBusy) {
  test::PtyPair printer;
  ASSERT_TRUE(printer.IsOpen());
  MakeDialog(PortItems({printer.SlavePath()}));
  m_view->path = WriteFile("one.bin", ProgramFile("TEST", 0, kOneBlock));
  m_view->selection[kPortCombo] = 9;
  m_view->selection[kBaudCombo] = 3;
  m_dialog->StartLoad();
  EXPECT_TRUE(m_view->shown[kProgressBar]);
  EXPECT_EQ(m_view->progress.texts.back(), "Загрузка программы в TEST...");
  EXPECT_EQ(m_view->progress.position, 265);  // the first block is taken at once
  EXPECT_EQ(printer.ReadExactly(5, std::chrono::seconds(10)),
            (std::vector<uint8_t>{0x1B, 'B', 'O', 'O', 'T'}));
  m_dialog->OnCancel();
  m_dialog->OnOK();
  EXPECT_FALSE(m_view->ended_with.has_value());
  EXPECT_FALSE(std::filesystem::exists(m_profile->Path()));

  ASSERT_TRUE(PumpUntil([&] { return !m_boxes.empty(); }));
  EXPECT_EQ(m_boxes[0].text, texts::LoadText(texts::IDS_TIMEOUT));
  EXPECT_TRUE(m_view->IsIdle());
  m_dialog->OnCancel();
  EXPECT_EQ(m_view->ended_with, IDCANCEL);
  EXPECT_EQ(m_profile->GetString("Settings", "_combo_comm_port", ""), printer.SlavePath());
  EXPECT_EQ(m_profile->GetString("Settings", "_combo_baudrate", ""), "9600");
}

}  // namespace
}  // namespace velmar::app::testing
