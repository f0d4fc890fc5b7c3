#include "ui/text_progress_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <thread>
#include <vector>

namespace velmar::ui {
namespace {

using namespace platform;

class RecordingView : public ProgressView {
 public:
  bool HasWindow() const override { return has_window; }
  int ClientWidth() const override { return width; }
  void Invalidate() override { ++invalidations; }
  void RepaintNow() override {
    repaints.push_back(model.GetPos());
    repaint_threads.push_back(std::this_thread::get_id());
  }
  LResult DefaultHandling(MessageId message, WParam, LParam) override {
    defaults.push_back(message);
    return message == WM_SETTEXT ? 1 : 0;
  }
  LResult Send(MessageId message, WParam wparam = 0, LParam lparam = 0) {
    return model.HandleMessage(message, wparam, lparam).value_or(-12345);
  }

  bool has_window = true;
  int width = 200;
  int invalidations = 0;
  std::vector<int32_t> repaints;  // the position at each immediate repaint
  std::vector<std::thread::id> repaint_threads;
  std::vector<MessageId> defaults;
  TextProgressModel model{*this};
};

WParam Signed(int32_t value) {
  return static_cast<WParam>(static_cast<LParam>(value));
}

TEST(TextProgressModelTest, MessagesDecodeTheirParameters) {
  // In order, on one control: result, then the range and position left behind.
  struct Case {
    MessageId message;
    WParam wparam;
    LParam lparam;
    LResult result;
    int32_t lower, upper, position;
  };
  const Case cases[] = {
      {PBM_GETRANGE, 1, 0, 0, 0, 100, 0},  // a new control: 0..100 at 0
      {PBM_GETRANGE, 0, 0, 100, 0, 100, 0},
      {PBM_SETRANGE, 0, MakeRange(10, 65535), 0, 10, 65535, 0},  // the high word is unsigned
      {PBM_SETRANGE32, Signed(-5), -1, 0, -5, -1, 0},
      {PBM_SETPOS, 150, 0, 0, -5, -1, 150},  // stored unclamped; returns the previous position
      {PBM_DELTAPOS, Signed(-5), 0, 150, -5, -1, 145},
      {PBM_SETSTEP, 10, 0, 1, -5, -1, 145},
      {PBM_STEPIT, 0, 0, 145, -5, -1, 155},
      {PBM_GETPOS, 0, 0, 155, -5, -1, 155},
      {PBM_SETPOS, Signed(INT32_MAX - 1), 0, 155, -5, -1, INT32_MAX - 1},
      {PBM_STEPIT, 0, 0, INT32_MAX - 1, -5, -1, INT32_MIN + 8},  // wraps, no overflow fault
      {PBM_SETBARCOLOR, 0, Rgb(1, 2, 3), CLR_DEFAULT, -5, -1, INT32_MIN + 8},
      {PBM_SETBARCOLOR, 0, Rgb(4, 5, 6), Rgb(1, 2, 3), -5, -1, INT32_MIN + 8},
      {WM_ERASEBKGND, 0, 0, 1, -5, -1, INT32_MIN + 8},
  };
  RecordingView view;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.message << " " << c.wparam);
    EXPECT_EQ(view.Send(c.message, c.wparam, c.lparam), c.result);
    PbRange range{};
    EXPECT_EQ(view.Send(PBM_GETRANGE, 0, reinterpret_cast<LParam>(&range)), c.upper);
    EXPECT_EQ(range.low, c.lower);
    EXPECT_EQ(range.high, c.upper);
    EXPECT_EQ(view.model.GetPos(), c.position);
  }
  EXPECT_FALSE(view.model.HandleMessage(kWmUser + 50, 0, 0).has_value());
}

TEST(TextProgressModelTest, WithoutAWindowNothingIsRepaintedAndPositionIsRefused) {
  RecordingView view;
  view.has_window = false;
  EXPECT_EQ(view.Send(PBM_SETPOS, 50), -1);
  EXPECT_EQ(view.Send(PBM_STEPIT), -1);
  EXPECT_EQ(view.model.GetPos(), 0);
  view.Send(PBM_SETBKCOLOR, 0, Rgb(1, 2, 3));
  view.model.SetShowText(false);
  EXPECT_FALSE(view.model.ShowsText());
  EXPECT_EQ(view.invalidations, 0);
}

TEST(TextProgressModelTest, InvalidationsOfTheSameValueSetTwice) {
  const struct {
    MessageId message;
    LParam lparam;
    int invalidations;
  } cases[] = {
      {PBM_SETBARCOLOR, Rgb(255, 0, 0), 2},  // colours invalidate even when unchanged
      {PBM_SETBKCOLOR, Rgb(0, 255, 0), 2},
      {PBM_SETTEXTCOLOR, Rgb(0, 0, 0), 2},
      {WM_SETTEXT, reinterpret_cast<LParam>("Loading"), 1},
      {PBM_SETSHOWTEXT, 0, 1},
  };
  for (const auto& c : cases) {
    RecordingView view;
    view.Send(c.message, 0, c.lparam);
    view.Send(c.message, 0, c.lparam);
    EXPECT_EQ(view.invalidations, c.invalidations) << c.message;
    // The window text and the show-text flag pass the standard handling first, every time.
    const bool standard = c.message == WM_SETTEXT || c.message == PBM_SETSHOWTEXT;
    EXPECT_EQ(view.defaults.size(), standard ? 2u : 0u) << c.message;
  }
}

TEST(TextProgressModelTest, GetTextReturnsATerminatedWholeCharacterPrefix) {
  RecordingView view;
  EXPECT_EQ(view.Send(WM_SETTEXT, 0, reinterpret_cast<LParam>("Загрузка")), 1);
  char buffer[8] = "xxxxxxx";
  // Seven bytes would fit; the seventh is half of the fourth letter.
  EXPECT_EQ(view.Send(WM_GETTEXT, sizeof buffer, reinterpret_cast<LParam>(buffer)), 6);
  EXPECT_STREQ(buffer, "Заг");
  EXPECT_EQ(view.Send(WM_GETTEXT, 1, reinterpret_cast<LParam>(buffer)), 0);
  EXPECT_EQ(buffer[0], '\0');
  buffer[0] = 'x';
  EXPECT_EQ(view.Send(WM_GETTEXT, 0, reinterpret_cast<LParam>(buffer)), 0);
  EXPECT_EQ(buffer[0], 'x');
  view.Send(WM_SETTEXT, 0, 0);  // null is the empty text
  EXPECT_EQ(view.model.Text(), "");
}

TEST(TextProgressModelTest, StepsRepaintOnlyWhenTheFilledLengthChanges) {
  RecordingView view;
  view.width = 50;
  for (int i = 0; i < 100; ++i) {
    view.Send(PBM_STEPIT);
  }
  // Position 1 gives the first length; then the length grows by one at about every second
  // step. The ratio is formed first, so 58/100 * 50 stays below 29 and waits for 59.
  EXPECT_EQ(view.repaints.size(), 51u);
  EXPECT_EQ(std::count(view.repaints.begin(), view.repaints.end(), 58), 0);
  EXPECT_EQ(std::count(view.repaints.begin(), view.repaints.end(), 59), 1);
  view.Send(PBM_SETPOS, 100);
  EXPECT_EQ(view.repaints.size(), 51u);
  view.Send(WM_SIZE);  // forgets the length: the same position repaints
  view.Send(PBM_SETPOS, 100);
  EXPECT_EQ(view.repaints.size(), 52u);
}

// What the pixel tests cannot see: text and edges at the limits of the arithmetic.
TEST(TextProgressModelTest, PictureAtTheLimits) {
  const struct {
    int32_t lower, upper, position;
    const char* text;
    const char* shown;
    int bar_end;
  } cases[] = {
      {0, 1, INT32_MAX, "", "2147483647%", 200},  // saturated, not undefined
      {0, 1, INT32_MIN, "", "-2147483648%", 0},
      {INT32_MIN, INT32_MAX, 0, "", "50%", 100},  // the span itself exceeds 32 bits
      {0, 100, 45, "a\r\nb", "a  b", 90},         // one line
  };
  for (const auto& c : cases) {
    RecordingView view;
    view.model.SetRange32(c.lower, c.upper);
    view.model.SetPos(c.position);
    view.model.SetText(c.text);
    const ProgressPicture picture = view.model.Picture({0, 0, 200, 20}, false, 0, 0);
    EXPECT_EQ(picture.text, c.shown);
    EXPECT_EQ(picture.filled.right, c.bar_end) << c.shown;
    EXPECT_EQ(picture.empty.left, c.bar_end) << c.shown;
  }
}

// The model behind a window of a queue, as the wx control holds it.
class ModelWindow : public Window {
 public:
  explicit ModelWindow(MessageQueue& queue) : Window(queue) {}
  LResult HandleMessage(MessageId message, WParam wparam, LParam lparam) override {
    return view.model.HandleMessage(message, wparam, lparam).value_or(0);
  }
  RecordingView view;
};

TEST(TextProgressModelTest, StepsSentFromAWorkerRunOnTheWindowsThread) {
  MessageQueue queue;
  ModelWindow window(queue);
  constexpr int kSteps = 50;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < kSteps; ++i) {
      SendMessage(&window, PBM_STEPIT);
    }
    done = true;
  });
  EXPECT_TRUE(queue.RunUntil([&] { return done.load(); }, std::chrono::seconds(10)));
  worker.join();
  EXPECT_EQ(window.view.model.GetPos(), kSteps);
  // 200 pixels for 0..100: every step repaints, each on this thread.
  EXPECT_EQ(window.view.repaint_threads,
            std::vector<std::thread::id>(kSteps, std::this_thread::get_id()));
}

}  // namespace
}  // namespace velmar::ui
