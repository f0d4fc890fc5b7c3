#include "ui/text_progress_ctrl.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/manual_reset_event.h"
#include "tests/ui/wx_test_app.h"
#include "ui/queue_pump.h"

namespace velmar::ui {
namespace {

using namespace std::chrono_literals;
using platform::LParam;
using platform::LResult;
using platform::SendMessage;

class TextProgressCtrlTest : public ::testing::Test {
 protected:
  ~TextProgressCtrlTest() override { delete ctrl; }

  void Create() {
    ctrl = new TextProgressCtrl(TestFrame(), wxID_ANY, wxPoint(0, 0), wxSize(200, 24));
    ctrl->Bind(wxEVT_PAINT, [this](wxPaintEvent& event) {
      ++paints;
      event.Skip();
    });
  }

  platform::MessageQueue queue;
  TextProgressCtrl* ctrl = nullptr;
  int paints = 0;
};

TEST_F(TextProgressCtrlTest, WithoutAWindowAPositionChangeIsRefused) {
  TextProgressCtrl unattached(queue);
  EXPECT_EQ(SendMessage(&unattached, platform::PBM_SETPOS, 5), -1);
  EXPECT_EQ(unattached.GetPos(), 0);
}

TEST_F(TextProgressCtrlTest, MessagesAndTypedOperationsShareOneState) {
  Create();
  EXPECT_EQ(ctrl->SetStep(7), 1);
  EXPECT_EQ(SendMessage(ctrl, platform::PBM_SETSTEP, 2), 7);
  // The window keeps its own copy of the text; SetLabel reaches the same handler.
  EXPECT_EQ(SendMessage(ctrl, platform::WM_SETTEXT, 0, reinterpret_cast<LParam>("Загрузка")), 1);
  EXPECT_EQ(ctrl->GetLabel(), wxString::FromUTF8("Загрузка"));
  ctrl->SetLabel("45 of 90");
  char buffer[32];
  EXPECT_EQ(
      SendMessage(ctrl, platform::WM_GETTEXT, sizeof buffer, reinterpret_cast<LParam>(buffer)), 8);
  EXPECT_STREQ(buffer, "45 of 90");
}

TEST_F(TextProgressCtrlTest, PositionChangeIsOnTheScreenBeforeItReturns) {
  Create();
  ctrl->SetBarColor(platform::Rgb(255, 0, 0));
  ctrl->SetBkColor(platform::Rgb(255, 255, 255));
  ctrl->SetShowText(false);
  ASSERT_TRUE(PumpUntil([&] { return ctrl->IsShownOnScreen() && paints > 0; }));
  const int before = paints;
  EXPECT_EQ(ctrl->SetPos(45), 0);
  EXPECT_GT(paints, before);
  const wxImage image = GrabClientArea(ctrl);
  for (int x = 0; x < 200; ++x) {
    const unsigned char green = x < 90 ? 0 : 255;
    ASSERT_EQ(image.GetGreen(x, 12), green) << x;
  }
  const int after = paints;
  EXPECT_EQ(ctrl->SetPos(45), 45);  // same length: nothing to repaint
  EXPECT_EQ(paints, after);
}

TEST_F(TextProgressCtrlTest, StepFromAWorkerThreadMovesTheBar) {
  QueuePump pump(queue);
  Create();
  constexpr int kSteps = 20;
  LResult last = -1;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < kSteps; ++i) {
      last = SendMessage(ctrl, platform::PBM_STEPIT);
    }
    done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(ctrl->GetPos(), kSteps);
  EXPECT_EQ(last, kSteps - 1);  // the send returned the position it found
}

TEST_F(TextProgressCtrlTest, DestroyingTheControlReleasesAWaitingSender) {
  platform::ManualResetEvent queued;
  queue.SetWakeHandler([&] { queued.Set(); });
  Create();
  auto step = std::async(std::launch::async,
                         [window = ctrl] { return SendMessage(window, platform::PBM_STEPIT); });
  ASSERT_TRUE(queued.WaitFor(10s));
  delete ctrl;  // the UI thread never pumped: the send is still waiting
  ctrl = nullptr;
  ASSERT_EQ(step.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(step.get(), 0);
  queue.SetWakeHandler(nullptr);
}

TEST(QueuePumpTest, AWakeOutlivingItsPumpAndQueueTouchesNeither) {
  std::thread([] {
    platform::MessageQueue late;
    QueuePump pump(late);
    late.Post(nullptr, platform::PBM_STEPIT, 0, 0);  // asks the UI thread for a call
  }).join();
  wxTheApp->ProcessPendingEvents();  // the call runs after both are gone
}

}  // namespace
}  // namespace velmar::ui
