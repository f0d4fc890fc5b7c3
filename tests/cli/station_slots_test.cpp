#include "cli/station_slots.h"

#include <gtest/gtest.h>

#include "cli/output_text.h"
#include "cli/station_board.h"
#include "tests/cli/scripted_run.h"

#include <functional>
#include <string>
#include <vector>

namespace velmar::cli {
namespace {

platform::PortDetails Port(const std::string& name, bool usb = true) {
  platform::PortDetails port;
  port.name = name;
  port.by_id = usb ? "/dev/serial/by-id/usb-" + name.substr(5) : "";
  port.vendor_id = usb ? 0x0403 : -1;
  port.product_id = usb ? 0x6001 : -1;
  return port;
}

// A day at the station, step by step: what happened, what the book must say to do, and the
// slots' states afterwards ("N" no port, "W" waiting, "L" loading, "+" loaded, "x" failed).
TEST(SlotBookTest, WakesOnlyArmedSlotsAndArmsThemWhenTheirPortComesBack) {
  SlotBook book({});
  const auto usb0 = Port("/dev/ttyUSB0");
  const auto usb1 = Port("/dev/ttyUSB1");
  const auto uart = Port("/dev/ttyS0", false);
  struct Step {
    const char* what;
    std::function<std::vector<SlotAction>()> act;
    std::string actions;  // "s0" start slot 0, "p1" stop slot 1
    std::string states;
  };
  const auto update = [&](std::vector<platform::PortDetails> present) {
    return [&book, present] { return book.Update(present); };
  };
  const auto event = [](std::function<void()> f) {
    return [f] {
      f();
      return std::vector<SlotAction>{};
    };
  };
  // clang-format off
  const std::vector<Step> steps = {
      {"a UART is no USB port", update({uart}), "", ""},
      {"an adapter appears", update({uart, usb0}), "s0", "W"},
      {"listed again: nothing new", update({uart, usb0}), "", "W"},
      {"the printer answers", event([&] { book.Started(0); }), "", "L"},
      {"a second adapter", update({usb0, usb1}), "s1", "LW"},
      {"the first is loaded", event([&] { book.Ended(0, true, ""); }), "", "+W"},
      {"it stays: never woken", update({usb0, usb1}), "", "+W"},
      {"the second goes while waiting", update({usb0}), "p1", "+N"},
      {"the first goes", update({}), "", "NN"},
      {"the next printer on it", update({usb0}), "s0", "WN"},
      {"it fails", event([&] { book.Started(0); book.Ended(0, false, "bad"); }), "", "xN"},
      {"the operator: next, by name", [&] { return book.Rearm("/dev/ttyUSB0"); }, "s0", "WN"},
      {"unplugged mid-load", event([&] { book.Started(0); }), "", "LN"},
      {"", update({}), "p0", "NN"},
      {"its end comes late", event([&] { book.Ended(0, false, "lost"); }), "", "NN"},
      {"still armed for the next", update({usb0}), "s0", "WN"},
      {"next for all: nothing is done", [&] { return book.Rearm(""); }, "", "WN"},
  };
  // clang-format on
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    std::string actions;
    for (const SlotAction& a : step.act()) {
      actions += (a.kind == SlotAction::kStart ? "s" : "p") + std::to_string(a.slot);
    }
    EXPECT_EQ(actions, step.actions);
    std::string states;
    for (const Slot& slot : book.Slots()) {
      states += "NWL+x"[static_cast<int>(slot.state)];
    }
    EXPECT_EQ(states, step.states);
  }
  EXPECT_EQ(book.Slots()[0].loaded, 1);
  EXPECT_EQ(book.Slots()[0].failed, 2);
}

TEST(SlotBookTest, PatternsMatchNamesAndByIdLinks) {
  // clang-format off
  const std::vector<std::pair<std::vector<std::string>, bool>> rows = {
      {{"/dev/ttyUSB*"}, true}, {{"/dev/ttyACM*"}, false},
      {{"/dev/serial/by-id/*"}, true}, {{"/dev/*"}, true}, {{"/dev/tty?SB1"}, true},
      {{"/*/ttyUSB1"}, true}, {{"/*"}, false}, {{"/dev/ttyUSB1?"}, false},
  };
  // clang-format on
  for (const auto& [patterns, wanted] : rows) {
    EXPECT_EQ(PortWanted(Port("/dev/ttyUSB1"), patterns), wanted) << patterns.front();
  }
  EXPECT_FALSE(PortWanted(Port("/dev/ttyS0", false), {}));
}

// What the operator reads: each state in words, in colour only when asked, within the width.
TEST(StationBoardTest, SaysEachSlotsStateWithinTheTerminal) {
  std::vector<Slot> slots(5);
  const char* states[] = {"no port", "waiting for a printer", "loading 42%",
                          "loaded: remove the printer", "failed: no answer; remove the printer"};
  for (size_t i = 0; i < slots.size(); ++i) {
    slots[i].port = Port("/dev/ttyUSB" + std::to_string(i));
    slots[i].port.description = "FT232R USB UART";
    slots[i].port.serial_number = "A10K" + std::to_string(i);
    slots[i].state = static_cast<SlotState>(i);
    slots[i].percent = 42;
    slots[i].reason = "no answer";
    EXPECT_EQ(StateText(slots[i]), states[i]);
  }
  for (const auto& [width, colour] : {std::pair{60, false}, {100, true}}) {
    CapturedStream out;
    StationBoard board(out.get(), width, colour);
    ASSERT_TRUE(board.Draw(slots, {.loaded = 5, .failed = 1, .last_hour = 4}, false));
    EXPECT_FALSE(board.Draw(slots, {}, false));  // within a tenth of a second
    const std::vector<std::string> lines = Lines(out.Text());
    ASSERT_EQ(lines.size(), slots.size() + 1);
    for (const std::string& line : lines) {
      std::string shown = line.substr(line.rfind("\r\033[K") + 4);
      for (size_t at; (at = shown.find("\033[")) != std::string::npos;) {
        shown.erase(at, shown.find('m', at) + 1 - at);
      }
      EXPECT_LT(Columns(shown), width) << line;
    }
    EXPECT_EQ(lines[3].find("\033[32m") != std::string::npos, colour) << lines[3];
    EXPECT_EQ(lines[4].find("\033[31m") != std::string::npos, colour) << lines[4];
    EXPECT_NE(lines[2].find("loading 42%"), std::string::npos) << lines[2];
    EXPECT_EQ(lines[2].find("FT232R USB UART A10K2  loading 42%") != std::string::npos,
              width == 100)
        << lines[2];
    EXPECT_EQ(lines.back(), "\r\033[Kin all: 5 loaded, 1 failed; 4 loaded in the last hour");
  }
  HourlyRate rate;
  const auto now = std::chrono::steady_clock::now();
  rate.Loaded(now - std::chrono::minutes(61));
  rate.Loaded(now - std::chrono::minutes(59));
  EXPECT_EQ(rate.Count(now), 1);
}

}  // namespace
}  // namespace velmar::cli
