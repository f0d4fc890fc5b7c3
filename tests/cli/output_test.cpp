// The human outputs fed a scripted run: plain lines without control sequences, board lines
// within the terminal's width and redrawn at most ten times a second, the one-printer look as
// the loader always showed it.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "cli/colour.h"
#include "cli/output.h"
#include "cli/output_text.h"
#include "tests/cli/scripted_run.h"

namespace velmar::cli {
namespace {

std::string Render(const OutputChoice& choice, const std::vector<LoadEvent>& events) {
  CapturedStream out, err;  // err: JSON's human summary, not looked at here
  OutputChoice to_file = choice;
  to_file.out = out.get();
  to_file.err = err.get();
  auto output = MakeOutput(to_file);
  for (const LoadEvent& e : events) {
    output->Publish(e);
  }
  output->Close();
  return out.Text();
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

TEST(PlainOutputTest, OneLineAnEventWithoutControlSequences) {
  const std::string text = Render({.several = true}, TwoPrinterRun());
  EXPECT_EQ(text.find_first_of("\r\033"), std::string::npos);
  const std::vector<std::string> lines = Lines(text);
  std::vector<std::string> progress;
  std::copy_if(lines.begin(), lines.end(), std::back_inserter(progress), [](const std::string& l) {
    return l.starts_with("/dev/ttyUSB0: ") && l.ends_with("%");
  });
  EXPECT_EQ(progress,
            (std::vector<std::string>{"/dev/ttyUSB0: 10%", "/dev/ttyUSB0: 20%", "/dev/ttyUSB0: 30%",
                                      "/dev/ttyUSB0: 40%", "/dev/ttyUSB0: 50%", "/dev/ttyUSB0: 60%",
                                      "/dev/ttyUSB0: 70%", "/dev/ttyUSB0: 80%", "/dev/ttyUSB0: 90%",
                                      "/dev/ttyUSB0: 100%"}));
  const std::string long_port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  EXPECT_EQ(Count(text, long_port + ": retry 1 (timeout)\n"), 1u);
  EXPECT_EQ(Count(text, long_port + ": failed: Данная модель контроллера не поддерживается "
                                    "(VELMAR-FP-2000-WITH-A-VERY-LONG-MODEL-NAME-INDEED).\n"),
            1u);
  EXPECT_EQ(lines.back(), "1 of 2 loaded");
}

TEST(BoardOutputTest, LinesFitTheTerminalAndEndInTheSummary) {
  for (const int columns : {30, 40, 80, 200}) {
    const std::string text =
        Render({.several = true, .terminal = true, .columns = columns}, TwoPrinterRun());
    int board_lines = 0;
    for (const std::string& line : Lines(text)) {
      const size_t at = line.rfind("\r\033[K");
      if (at != std::string::npos) {
        ++board_lines;
        EXPECT_LT(Columns(line.substr(at + 4)), columns) << line;
      }
    }
    EXPECT_GT(board_lines, 2) << columns;
    EXPECT_TRUE(text.ends_with("\n1 of 2 loaded\n")) << columns;
  }
  // The last board at 80 columns shows both results, the long names cut.
  const std::string text =
      Render({.several = true, .terminal = true, .columns = 80}, TwoPrinterRun());
  const size_t last = text.rfind("\033[2A");
  ASSERT_NE(last, std::string::npos);
  const std::string board = text.substr(last, text.find("\nport ", last) - last);
  EXPECT_NE(board.find("100%  loaded"), std::string::npos) << board;
  EXPECT_NE(board.find("…"), std::string::npos) << board;
  EXPECT_NE(board.find("failed"), std::string::npos) << board;
}

// Colour: the status word alone, so that without its escapes the text is the plain one; the
// model shown is the one the printer reported.
TEST(BoardOutputTest, ColoursTheResultAndShowsTheReportedModel) {
  std::vector<LoadEvent> run = TwoPrinterRun();
  for (LoadEvent& e : run) {
    if (e.kind == EventKind::kIdentified && e.printer == 0) {
      e.model = "\xc2\xc5\xcb-3000";  // another model than the file's ВЕЛ-2000, in cp1251
    }
  }
  const auto plain = [](std::string text) {
    for (const std::string_view paint : {colours::kGreen, colours::kRed, colours::kReset}) {
      for (size_t at; (at = text.find(paint)) != std::string::npos;) {
        text.erase(at, paint.size());
      }
    }
    return text;
  };
  const struct {
    OutputChoice choice;
    bool colour;
  } cases[] = {
      {{.several = true, .terminal = true, .colour = ColourWhen::kAlways}, true},
      {{.several = true, .terminal = true, .colour = ColourWhen::kNever}, false},
      {{.several = true, .terminal = true, .colour = ColourWhen::kAuto}, false},  // a file
      {{.several = true, .colour = ColourWhen::kAlways}, true},
      {{.json = true, .several = true, .colour = ColourWhen::kAlways}, false},  // JSON never
  };
  for (const auto& c : cases) {
    const std::string text = Render(c.choice, run);
    OutputChoice uncoloured = c.choice;
    uncoloured.colour = ColourWhen::kNever;
    EXPECT_EQ(plain(text), Render(uncoloured, run)) << text;
    EXPECT_EQ(text.find("\033[32mloaded\033[0m") != std::string::npos, c.colour) << text;
    EXPECT_EQ(text.find("\033[31mfailed\033[0m") != std::string::npos, c.colour) << text;
    // The last board line and the summary's row, where the output has them.
    for (const char* row : {"\033[K/dev/ttyUSB0 ", "\n/dev/ttyUSB0 "}) {
      if (const size_t at = text.rfind(row); at != std::string::npos) {
        const std::string line = text.substr(at, text.find('\n', at + 1) - at);
        EXPECT_NE(line.find("ВЕЛ-3000"), std::string::npos) << line;
      }
    }
  }
}

TEST(OutputTextTest, ColourIsDecidedOnce) {
  // when, a terminal, NO_COLOR, coloured
  const std::tuple<ColourWhen, bool, const char*, bool> cases[] = {
      {ColourWhen::kAuto, true, nullptr, true}, {ColourWhen::kAuto, true, "", true},
      {ColourWhen::kAuto, true, "1", false},    {ColourWhen::kAuto, false, nullptr, false},
      {ColourWhen::kAlways, false, "1", true},  {ColourWhen::kNever, true, nullptr, false},
  };
  for (size_t row = 0; row < std::size(cases); ++row) {
    const auto& [when, terminal, no_color, colour] = cases[row];
    EXPECT_EQ(DecideColour(when, terminal, no_color), colour) << "row " << row;
  }
}

TEST(BoardOutputTest, RedrawsAtMostTenTimesASecond) {
  std::vector<LoadEvent> events = TwoPrinterRun();
  // A second of steps every 5 ms, while the second printer waits.
  const auto start = events[2].time;
  std::vector<LoadEvent> burst(events.begin(), events.begin() + 3);
  for (int i = 1; i <= 200; ++i) {
    LoadEvent step = events[4];
    step.time = start + std::chrono::milliseconds(5 * i);
    step.bytes = 300 * i;
    burst.push_back(step);
  }
  const std::string text = Render({.several = true, .terminal = true}, burst);
  EXPECT_LE(Count(text, "\033[2A"), 11u);
  EXPECT_GE(Count(text, "\033[2A"), 9u);
}

// One printer: the status line, on a terminal the bar, the end text on its stream.
struct SingleCase {
  const char* name;
  bool terminal;
  bool loaded;
  const char* out;
  const char* err;
};

TEST(SingleOutputTest, LooksAsTheLoaderAlwaysDid) {
  const SingleCase cases[] = {
      {"file, loaded", false, true,
       "Загрузка программы в ВЕЛ-2000...\nПрограмма успешно загружена в принтер.\n", ""},
      {"terminal, loaded", true, true,
       "Загрузка программы в ВЕЛ-2000...\n"
       "\r\033[K[                              ]   0%        0 B/s  --:-- left"
       "\r\033[K[###############               ]  50%     1000 B/s  0:00 left"
       "\r\033[K[##############################] 100%      711 B/s  0:00 left\n"
       "Программа успешно загружена в принтер.\n",
       ""},
      {"terminal, failed", true, false,
       "Загрузка программы в ВЕЛ-2000...\n"
       "\r\033[K[                              ]   0%        0 B/s  --:-- left"
       "\r\033[K[###############               ]  50%     1000 B/s  0:00 left"
       "\r\033[K[###############               ]  50%      711 B/s  0:00 left\n",
       "Истекло время ожидания ответа от принтера.\nЗагрузка будет прервана.\n"},
  };
  const std::vector<LoadEvent> run = TwoPrinterRun();
  for (const SingleCase& c : cases) {
    std::vector<LoadEvent> events = {run[0], run[1]};
    events[0].printers = 1;
    LoadEvent step = run[5];
    for (const int ms : {50, 160, 200}) {  // the first and last come too soon to be drawn
      step.time = run[1].time + std::chrono::milliseconds(ms);
      step.bytes = 32768;
      step.line_bytes = 160;
      events.push_back(step);
    }
    LoadEvent end = run[1];
    end.kind = EventKind::kPrinterEnd;
    end.time = run[1].time + std::chrono::milliseconds(225);
    end.loaded = c.loaded;
    end.text =
        c.loaded ? texts::LoadText(texts::IDS_PROGRAM_DONE) : texts::LoadText(texts::IDS_TIMEOUT);
    events.push_back(end);
    CapturedStream out, err;
    auto output = MakeOutput({.terminal = c.terminal, .out = out.get(), .err = err.get()});
    for (const LoadEvent& e : events) {
      output->Publish(e);
    }
    output->Close();
    EXPECT_EQ(out.Text(), c.out) << c.name;
    EXPECT_EQ(err.Text(), c.err) << c.name;
  }
}

TEST(OutputTextTest, FitCutsByCharactersNotBytes) {
  const struct {
    const char* text;
    int width;
    const char* fitted;
  } cases[] = {
      {"COM3", 8, "COM3"},        {"/dev/ttyUSB10", 8, "/dev/tt…"},
      {"ВЕЛМАР-ФП", 6, "ВЕЛМА…"}, {"ВЕЛ", 3, "ВЕЛ"},
      {"anything", 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Fit(c.text, c.width), c.fitted) << c.text << " in " << c.width;
  }
}

}  // namespace
}  // namespace velmar::cli
