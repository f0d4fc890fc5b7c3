// The run's notifications as the window handles them: boxes, status text, steps, re-entry.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/fake_main_view.h"
#include "tests/support/pty_pair.h"
#include "texts/string_table.h"

namespace velmar::app::testing {
namespace {

using platform::BoxIcon;

struct EndingCase {
  engine::LoadNotification id;
  int program_text;
  int font_text;
  bool shows_model;
  BoxIcon icon;
};

// Written out here rather than taken from the engine's table.
constexpr EndingCase kEndings[] = {
    {engine::LN_TIMEOUT, 110, 110, false, BoxIcon::kError},
    {engine::LN_MODEL_UNSUPPORTED, 111, 111, true, BoxIcon::kError},
    {engine::LN_MODEL_MISMATCH, 112, 112, true, BoxIcon::kError},
    {engine::LN_BAD_PACKET, 113, 113, false, BoxIcon::kError},
    {engine::LN_BAD_COMMAND, 114, 114, false, BoxIcon::kError},
    {engine::LN_BAD_ADDRESS, 115, 115, false, BoxIcon::kError},
    {engine::LN_BAD_SIZE, 116, 116, false, BoxIcon::kError},
    {engine::LN_INTEGRITY_ERROR, 117, 117, false, BoxIcon::kError},
    {engine::LN_NO_DATA, 120, 120, false, BoxIcon::kError},
    {engine::LN_PACKET_INTEGRITY_ERROR, 118, 118, false, BoxIcon::kError},
    {engine::LN_BAD_DATA, 119, 119, false, BoxIcon::kError},
    {engine::LN_DONE, 108, 109, false, BoxIcon::kInformation},
    {engine::LN_PORT_LOST, 137, 137, false, BoxIcon::kError},
};

class NotificationTest : public DialogTest {
 protected:
  // The controls as a running load leaves them; the model name as a Windows tool writes it.
  void SeemLoading(const char* kind) {
    m_dialog->m_file_kind = kind;
    m_dialog->m_model_name = "\xCC\xEE\xE4\xE5\xEB\xFC";  // "Модель" in code page 1251
    m_view->EnableControl(kLoadButton, false);
    m_view->ShowControl(kProgressBar, true);
    m_view->progress.position = 530;
    m_view->progress.texts.push_back("status");
    m_log.clear();
  }
  void Deliver(platform::MessageId message) {
    ASSERT_TRUE(platform::PostMessage(m_dialog.get(), message));
    m_queue.DispatchPending();
  }
};

TEST_F(NotificationTest, EveryEndingShowsItsTextThenReturnsToIdle) {
  MakeDialog();
  for (const char* kind : {"MyBIN", "MyFNT"}) {
    for (const EndingCase& c : kEndings) {
      SCOPED_TRACE(std::string(kind) + " " + engine::FindNotification(c.id)->name);
      m_boxes.clear();
      SeemLoading(kind);
      Deliver(c.id);
      ASSERT_EQ(m_boxes.size(), 1u);
      const int text = kind == std::string("MyFNT") ? c.font_text : c.program_text;
      EXPECT_EQ(m_boxes[0].text, c.shows_model ? texts::FormatText(text, "Модель")
                                               : std::string(texts::LoadText(text)));
      EXPECT_EQ(m_boxes[0].caption, "Велмар");
      EXPECT_EQ(m_boxes[0].icon, c.icon);
      EXPECT_TRUE(m_view->IsIdle());
    }
  }
}

TEST_F(NotificationTest, StatusAndStepLeaveTheLoadRunningAndOthersPassThrough) {
  MakeDialog();
  SeemLoading("MyFNT");
  m_view->progress.step = 265;
  const size_t before = m_view->progress.messages.size();
  for (platform::MessageId other : {engine::LN_TIMEOUT - 1, engine::LN_STEP + 1}) {
    Deliver(other);
  }
  EXPECT_EQ(m_view->progress.messages.size(), before);
  Deliver(engine::LN_STATUS);
  EXPECT_EQ(m_view->progress.texts.back(), "Загрузка шрифта в Модель...");
  Deliver(engine::LN_STEP);
  EXPECT_EQ(m_view->progress.position, 530 + 265);
  m_dialog->m_file_kind = "MyBIN";
  m_dialog->m_model_name = "TEST";
  Deliver(engine::LN_STATUS);
  EXPECT_EQ(m_view->progress.texts.back(), "Загрузка программы в TEST...");
  EXPECT_TRUE(m_boxes.empty());
  EXPECT_TRUE(m_log.empty());  // no control touched
}

// A program without blocks makes the run post LN_NO_DATA; a step and a second ending arrive
// while its box is open. The inner handler deletes the run, the outer one finds none.
TEST_F(NotificationTest, TwoEndingsInARowDeleteTheRunOnce) {
  test::PtyPair printer;
  ASSERT_TRUE(printer.IsOpen());
  MakeDialog(PortItems({printer.SlavePath()}));
  m_view->path = WriteFile("empty.bin", ProgramFile("TEST", 0));
  m_view->selection[kPortCombo] = 9;
  bool run_before_inner = false;
  bool run_after_inner = true;
  m_while_open = [&](size_t box) {
    if (box == 0) {
      run_before_inner = m_dialog->m_downloader != nullptr;
      platform::PostMessage(m_dialog.get(), engine::LN_STEP);
      platform::PostMessage(m_dialog.get(), engine::LN_TIMEOUT);
      m_queue.DispatchPending();  // the modal box's own loop
      run_after_inner = m_dialog->m_downloader != nullptr;
    }
  };
  m_dialog->StartLoad();
  ASSERT_TRUE(PumpUntil([&] { return m_boxes.size() == 2; }));
  m_queue.DispatchPending();
  EXPECT_EQ(m_boxes[0].text, texts::LoadText(texts::IDS_NO_DATA));
  EXPECT_EQ(m_boxes[1].text, texts::LoadText(texts::IDS_TIMEOUT));
  EXPECT_TRUE(run_before_inner);
  EXPECT_FALSE(run_after_inner);
  EXPECT_EQ(engine::g_current_run.load(), nullptr);
  EXPECT_EQ(m_view->progress.steps, 1);
  EXPECT_EQ(std::count(m_log.begin(), m_log.end(), "enable 1002"), 2);  // reset twice
  EXPECT_TRUE(m_view->IsIdle());
}

}  // namespace
}  // namespace velmar::app::testing
