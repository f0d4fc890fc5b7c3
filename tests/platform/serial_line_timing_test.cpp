// The serial line's shared waits, over a scripted driver queue and a clock that moves only when
// they sleep, so every bound shows exactly, on every system.

#include "platform/serial_line_timing.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/serial_line.h"

namespace velmar::platform {
namespace {

using namespace std::chrono_literals;
constexpr std::optional<int32_t> kLost = std::nullopt;

class ScriptedQueue final : public LineOperations {
 public:
  explicit ScriptedQueue(std::vector<std::optional<int32_t>> looks) : m_looks(std::move(looks)) {}
  void FlushInput() override {}
  Arrival AwaitArrival(std::chrono::nanoseconds) override { return Arrival::kNone; }
  std::optional<int32_t> QueuedOutput() override { return Look(m_next++); }
  // A loss shows during the sleep before the look that finds it.
  bool Sleep(std::chrono::nanoseconds span) override {
    elapsed += span;
    return Look(m_next).has_value();
  }
  Clock::time_point Now() override { return Clock::time_point{} + elapsed; }

  std::chrono::nanoseconds elapsed{};

 private:
  // The script's last look repeats for ever.
  std::optional<int32_t> Look(size_t index) const {
    return m_looks.at(std::min(index, m_looks.size() - 1));
  }
  std::vector<std::optional<int32_t>> m_looks;
  size_t m_next = 0;
};

// Eight bytes' line time once it exceeds kQuietTime: 33.3 ms at 2400 baud, not 20.
TEST(SerialLineTimingTest, TheQuietLineLastsEightBytesOnSlowLines) {
  for (const auto& [baud_rate, quiet] :
       {std::pair{2400, 33'333'333ns}, {4800, 20'000'000ns}, {115200, 20'000'000ns}}) {
    EXPECT_EQ(QuietTime(baud_rate), quiet) << baud_rate;
  }
}

TEST(SerialLineTimingTest, AwaitSentWaitsForTheQueueWithinItsLineTimeAndTellsALoss) {
  const auto byte_time = ByteTimeAt(9600);
  const struct {
    const char* what;
    std::vector<std::optional<int32_t>> looks;
    bool seen_empty;
    bool sent;
    std::chrono::nanoseconds took;
  } cases[] = {
      {"empty at once (a pty)", {0}, false, true, 0ns},
      {"lost after the queue was seen empty", {kLost}, true, true, 0ns},
      {"lost, the queue never seen empty", {kLost}, false, false, 0ns},
      {"emptied", {100, 40, 0}, false, true, 140 * byte_time},
      {"lost while bytes were queued", {100, 40, kLost}, false, false, 140 * byte_time},
      {"stuck", {100}, true, false, 100 * byte_time + SerialLine::kDrainMargin},
  };
  for (const auto& c : cases) {
    ScriptedQueue line(c.looks);
    EXPECT_EQ(AwaitSent(line, byte_time, c.seen_empty), c.sent) << c.what;
    EXPECT_EQ(line.elapsed, c.took) << c.what;
  }
}

}  // namespace
}  // namespace velmar::platform
