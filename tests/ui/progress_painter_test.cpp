#include "ui/progress_painter.h"

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <string>

#include "tests/ui/wx_test_app.h"
#include "ui/memory_dc.h"

namespace velmar::ui {
namespace {

using platform::CLR_DEFAULT;
using platform::ColorRef;
using platform::Rgb;

constexpr ColorRef kRed = Rgb(255, 0, 0);
constexpr ColorRef kWhite = Rgb(255, 255, 255);
constexpr ColorRef kSentinel = Rgb(1, 2, 3);
constexpr int kWidth = 200;
constexpr int kHeight = 40;

class WindowlessView : public ProgressView {
 public:
  bool HasWindow() const override { return true; }
  int ClientWidth() const override { return kWidth; }
  void Invalidate() override {}
  void RepaintNow() override {}
  platform::LResult DefaultHandling(platform::MessageId, platform::WParam,
                                    platform::LParam) override {
    return 0;
  }
};

struct Bar {
  int32_t lower = 0;
  int32_t upper = 100;
  int32_t position = 0;
  std::string text{};
  bool vertical = false;
  ColorRef bar = kRed;
  ColorRef background = kWhite;
  ColorRef text_color = CLR_DEFAULT;
  bool show_text = true;
};

wxImage Render(const Bar& bar, wxSize size = wxSize(kWidth, kHeight)) {
  WindowlessView view;
  TextProgressModel model(view);
  model.SetRange32(bar.lower, bar.upper);
  model.SetPos(bar.position);
  model.SetText(bar.text.c_str());
  model.SetBarColor(bar.bar);
  model.SetBkColor(bar.background);
  model.SetTextColor(bar.text_color);
  model.SetShowText(bar.show_text);
  wxBitmap bitmap(size.x, size.y, 24);
  {
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(ToWxColour(kSentinel)));
    dc.Clear();
    PaintProgress(dc, PictureOf(model, size, bar.vertical), model.TextFormat(),
                  TestFrame()->GetFont());
  }
  return bitmap.ConvertToImage();
}

ColorRef At(const wxImage& image, int x, int y) {
  return Rgb(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

// How many pixels of the columns [from, to) pass `test`.
template <typename Test>
int Count(const wxImage& image, int from, int to, Test test) {
  int count = 0;
  for (int x = from; x < to; ++x) {
    for (int y = 0; y < image.GetHeight(); ++y) {
      count += test(At(image, x, y));
    }
  }
  return count;
}

int Count(const wxImage& image, int from, int to, ColorRef color) {
  return Count(image, from, to, [color](ColorRef c) { return c == color; });
}

bool SameColumns(const wxImage& a, const wxImage& b, int from, int to) {
  for (int x = from; x < to; ++x) {
    for (int y = 0; y < a.GetHeight(); ++y) {
      if (At(a, x, y) != At(b, x, y)) {
        return false;
      }
    }
  }
  return true;
}

TEST(ProgressPainterTest, BarCoversItsShareOfTheColumns) {
  const struct {
    int32_t upper, position;
    int columns;
  } cases[] = {{100, 45, 90}, {1000, 999, 199}, {100, 150, 200}, {100, -20, 0}};
  for (const auto& c : cases) {
    const wxImage image = Render({.upper = c.upper, .position = c.position, .show_text = false});
    EXPECT_EQ(Count(image, 0, c.columns, kRed), c.columns * kHeight) << c.position;
    EXPECT_EQ(Count(image, c.columns, kWidth, kWhite), (kWidth - c.columns) * kHeight);
  }
}

// The percentage draws exactly as its text would, and not as its neighbour's.
TEST(ProgressPainterTest, PercentageIsTruncated) {
  const struct {
    int32_t upper, position;
    const char* reads;
    const char* not_reads;
  } cases[] = {{100, 45, "45%", "46%"}, {1000, 999, "99%", "100%"}, {100, 29, "28%", "29%"},
               {100, 57, "56%", "57%"}, {100, 58, "57%", "58%"},    {100, 150, "150%", "100%"}};
  for (const auto& c : cases) {
    const wxImage shown = Render({.upper = c.upper, .position = c.position});
    const auto as = [&](const char* text) {
      return SameColumns(shown, Render({.upper = c.upper, .position = c.position, .text = text}), 0,
                         kWidth);
    };
    EXPECT_TRUE(as(c.reads)) << c.reads;
    EXPECT_FALSE(as(c.not_reads)) << c.reads;
  }
}

TEST(ProgressPainterTest, TextColourChangesExactlyAtTheEndOfTheBar) {
  const std::string text = "MMMMMMMMMMMM";  // wide enough to straddle the end at column 100
  const wxImage half = Render({.position = 50, .text = text});
  EXPECT_TRUE(SameColumns(half, Render({.position = 100, .text = text}), 0, 100));
  EXPECT_TRUE(SameColumns(half, Render({.position = 0, .text = text}), 100, kWidth));
  // Text lies on both sides of the end, so both comparisons saw text.
  EXPECT_LT(Count(half, 90, 100, kRed), 10 * kHeight);
  EXPECT_LT(Count(half, 100, 110, kWhite), 10 * kHeight);
}

TEST(ProgressPainterTest, SetTextColourIsUsedOverBothParts) {
  const auto dark = [](ColorRef c) { return (c & 0xFF) < 64 && ((c >> 8) & 0xFF) < 64; };
  const std::string text = "MMMMMMMMMMMM";
  const wxImage black = Render({.position = 50, .text = text, .text_color = Rgb(0, 0, 0)});
  EXPECT_GT(Count(black, 0, 100, dark), 0);
  EXPECT_GT(Count(black, 100, kWidth, dark), 0);
  EXPECT_EQ(Count(Render({.position = 50, .text = text}), 0, kWidth, dark), 0);
}

TEST(ProgressPainterTest, VerticalBarGrowsFromTheBottomWithoutText) {
  const wxImage image = Render({.position = 25, .vertical = true}, wxSize(40, 80));
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 40; ++x) {
      ASSERT_EQ(At(image, x, y), y < 60 ? kWhite : kRed) << x << "," << y;
    }
  }
}

TEST(ProgressPainterTest, BoundsNotInOrderDrawNothing) {
  for (const int32_t lower : {100, 101}) {
    const wxImage image = Render({.lower = lower, .upper = 100, .position = 50});
    EXPECT_EQ(Count(image, 0, kWidth, kSentinel), kWidth * kHeight) << lower;
  }
}

TEST(ProgressPainterTest, BlankTextShowsNoPercentage) {
  const auto plain = [](const wxImage& image) {
    return Count(image, 0, 90, kRed) + Count(image, 90, kWidth, kWhite);
  };
  EXPECT_EQ(plain(Render({.position = 45, .text = " "})), kWidth * kHeight);
  EXPECT_LT(plain(Render({.position = 45})), kWidth * kHeight);
}

TEST(ProgressPainterTest, DefaultColoursAreTheSystemHighlightAndWindow) {
  const wxImage image =
      Render({.position = 50, .bar = CLR_DEFAULT, .background = CLR_DEFAULT, .show_text = false});
  EXPECT_EQ(At(image, 0, 0), FromWxColour(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
  EXPECT_EQ(At(image, 199, 0), FromWxColour(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW)));
}

TEST(MemoryDCTest, CopiesOnlyItsAreaToTheSamePlace) {
  wxBitmap bitmap(60, 40, 24);
  const wxRect area(10, 5, 30, 20);
  {
    wxMemoryDC target(bitmap);
    target.SetBackground(wxBrush(ToWxColour(kSentinel)));
    target.Clear();
    MemoryDC dc(target, area);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(ToWxColour(kWhite)));
    dc.DrawRectangle(0, 0, 60, 40);  // in the target's coordinates, beyond the area
    dc.SetBrush(wxBrush(ToWxColour(kRed)));
    dc.DrawRectangle(12, 7, 2, 2);
  }
  const wxImage image = bitmap.ConvertToImage();
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) {
      const bool red = x >= 12 && x < 14 && y >= 7 && y < 9;
      ASSERT_EQ(At(image, x, y), red ? kRed : area.Contains(x, y) ? kWhite : kSentinel) << x;
    }
  }
}

}  // namespace
}  // namespace velmar::ui
