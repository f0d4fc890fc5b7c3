#include "emulator/paced_line.h"

#include <gtest/gtest.h>

namespace velmar::emulator::test {
namespace {

using namespace std::chrono_literals;
using Clock = PacedLine::Clock;

constexpr int32_t kBaud = 10000;  // 1 ms a byte
constexpr auto kByte = 1ms;
const Clock::time_point kT0 = Clock::time_point{} + 1h;

TEST(EmulatorPacedLineTest, UnpacedBytesAreDueAtOnce) {
  PacedLine line(0, false);
  EXPECT_EQ(line.ArriveAt(kT0), kT0);
  const uint8_t reply[] = {1, 2, 3};
  line.Queue(reply, kT0);
  EXPECT_EQ(line.DueCount(kT0 - 1ns), 0u);
  EXPECT_EQ(line.DueCount(kT0), 3u);
  EXPECT_EQ(line.Front(3), (std::vector<uint8_t>{1, 2, 3}));
  line.Sent(3, kT0);
  EXPECT_TRUE(line.Empty());
  EXPECT_FALSE(line.NextDue().has_value());
}

TEST(EmulatorPacedLineTest, ReceivedBytesArriveOneByteTimeApart) {
  PacedLine line(kBaud, false);
  EXPECT_EQ(line.ArriveAt(kT0), kT0 + kByte);
  EXPECT_EQ(line.ArriveAt(kT0), kT0 + 2 * kByte);    // read together, still one after the other
  EXPECT_EQ(line.ArriveAt(kT0 + 10ms), kT0 + 11ms);  // an idle line starts afresh
}

TEST(EmulatorPacedLineTest, RepliesLeaveNoFasterThanTheLine) {
  PacedLine line(kBaud, false);
  const uint8_t reply[] = {1, 2, 3};
  line.Queue(reply, kT0);
  EXPECT_EQ(line.NextDue(), kT0 + kByte);
  EXPECT_EQ(line.DueCount(kT0), 0u);
  EXPECT_EQ(line.DueCount(kT0 + 2 * kByte), 2u);
  line.Sent(1, kT0 + 2 * kByte);
  EXPECT_EQ(line.NextDue(), kT0 + 2 * kByte);  // the line time, not the late write, counts
  EXPECT_EQ(line.DueCount(kT0 + 5 * kByte), 2u);
  // Woken late enough to write several at once, yet never after the last is due.
  EXPECT_EQ(line.WakeAt(10 * kByte), kT0 + 3 * kByte);
  EXPECT_EQ(line.WakeAt(kByte / 2), kT0 + 2 * kByte + kByte / 2);
}

TEST(EmulatorPacedLineTest, AReplyWaitsForTheCommandItAnswers) {
  PacedLine line(kBaud, false);
  const uint8_t reply[] = {1};
  line.Queue(reply, kT0 + 5ms);
  EXPECT_EQ(line.NextDue(), kT0 + 5ms + kByte);
}

TEST(EmulatorPacedLineTest, DripSendsOneByteAtATimeFromWhenItReallyWent) {
  PacedLine line(0, true);
  const uint8_t reply[] = {1, 2, 3};
  line.Queue(reply, kT0);
  EXPECT_EQ(line.DueCount(kT0 + 1s), 1u);
  line.Sent(1, kT0 + 1s);
  EXPECT_EQ(line.NextDue(), kT0 + 1s + PacedLine::kDripGap);
  EXPECT_EQ(line.WakeAt(1s), line.NextDue());  // a drip is byte by byte
  EXPECT_EQ(line.DueCount(kT0 + 1s), 0u);
}

}  // namespace
}  // namespace velmar::emulator::test
