// The reply time-out in real time (about 2 s per case), kept apart so that it runs beside the
// other tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine/downloader.h"
#include "engine/load_notification.h"
#include "tests/engine/load_fixture.h"
#include "tests/engine/printer_script.h"
#include "tests/engine/test_doubles.h"

namespace velmar::engine::testing {
namespace {

const std::vector<ProgramBlock> kBlocks = MakeBlocks(2);
const Bytes kFont = FontBytes(300);

class TimeoutTest : public LoadTest {
 protected:
  Script Start(Load load) {
    if (load == Load::kProgram) {
      StartProgram("TEST", kBlocks);
      return ProgramScript("TEST", kBlocks);
    }
    StartFont(kFont);
    return FontScript("PRN", kFont, 0);
  }
  bool TimedOut() const { return window.Count(LN_TIMEOUT) > 0; }
  bool WaitForTimeout() {
    return queue.RunUntil([this] { return TimedOut(); }, kDeadline);
  }
};

TEST_F(TimeoutTest, SilentPrinterTimesOutOnce) {
  const Script script = Start(Load::kProgram);
  ASSERT_TRUE(WaitForTimeout());
  Pump();
  EXPECT_EQ(Names(window.Ids()), "LN_TIMEOUT");
  EXPECT_FALSE(run->IsBusy());
  EXPECT_EQ(run->m_rx.Size(), 0);
  EXPECT_EQ(Hex(line->Writes()), "1B 42 4F 4F 54");
  ExpectDeaf(script, 0);  // a printer waking up late is not heard
  run.reset();            // its Watchdog has expired: nothing left to stop
  Pump();
  EXPECT_EQ(Names(window.Ids()), "LN_TIMEOUT");
}

struct SilenceCase {
  const char* name;
  Load load;
  std::vector<Bytes> replies;
  std::string notes_before;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const SilenceCase& c, std::ostream* os) {
  *os << c.name;
}

class SilenceTest : public TimeoutTest, public ::testing::WithParamInterface<SilenceCase> {};

// Places where the printer may go quiet without an incomplete reply to wait for.
TEST_P(SilenceTest, EndsWithOneTimeout) {
  const SilenceCase& c = GetParam();
  const Script script = Start(c.load);
  for (const Bytes& reply : c.replies) {
    Feed(reply);
  }
  ASSERT_EQ(Names(window.Ids()), c.notes_before);
  const size_t writes = line->WriteCount();
  ASSERT_TRUE(WaitForTimeout());
  Pump();
  EXPECT_EQ(Names(IdsSince(0)),
            c.notes_before.empty() ? "LN_TIMEOUT" : c.notes_before + ", LN_TIMEOUT");
  EXPECT_EQ(line->WriteCount(), writes);
  EXPECT_FALSE(run->IsBusy());
  EXPECT_EQ(run->m_rx.Size(), 0);
  ExpectDeaf(script, c.replies.size());
}

INSTANTIATE_TEST_SUITE_P(
    Points, SilenceTest,
    ::testing::Values(SilenceCase{"AfterTheAcknowledgeByte", Load::kProgram, {{0xA0}}, ""},
                      SilenceCase{"AfterADiscardedWakeBatch", Load::kFont, {{0xA0, 0xA0}}, ""},
                      SilenceCase{
                          "AfterSixBytesPastTheZero",
                          Load::kProgram,
                          {{0xA0}, {'T', 'E', 'S', 'T', 0x00, 0x1E, 'S', 'M', 0x00, 0x01, 0x02}},
                          ""}),
    [](const ::testing::TestParamInfo<SilenceCase>& info) { return std::string(info.param.name); });

struct BabbleCase {
  const char* name;
  Load load;
  size_t accepted;  // replies of the script answered well before the line starts babbling
  Bytes batch;      // sent again and again, as fast as the run takes it
  std::string ending;
};

void PrintTo(const BabbleCase& c, std::ostream* os) {
  *os << c.name;
}

class BabbleTest : public TimeoutTest, public ::testing::WithParamInterface<BabbleCase> {};

// Noise, a wrong baud rate or a printer in its normal firmware: whatever the line keeps
// sending, the load ends soon after the last acceptable reply, and the buffer stays small.
TEST_P(BabbleTest, EndsWithinThreeSecondsOfTheLastAcceptableReply) {
  const BabbleCase& c = GetParam();
  const Script script = Start(c.load);
  ASSERT_TRUE(Play(script, 0, c.accepted));
  const auto last_accepted = std::chrono::steady_clock::now();
  int32_t largest_rx = 0;
  while (window.Endings() == 0 && std::chrono::steady_clock::now() - last_accepted < 6s) {
    Feed(c.batch);
    largest_rx = std::max(largest_rx, run->m_rx.Size());
  }
  const auto ended_after = std::chrono::steady_clock::now() - last_accepted;
  Pump();
  EXPECT_LT(ended_after, 3s);
  EXPECT_EQ(window.Endings(), 1u);
  EXPECT_EQ(Names(IdsSince(0)), c.ending);
  EXPECT_LE(largest_rx, 8192);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BabbleTest,
    ::testing::Values(
        BabbleCase{"NoiseBeforeTheWakeReply", Load::kProgram, 0, {0x55, 0xAA}, "LN_TIMEOUT"},
        BabbleCase{"FloodBeforeTheWakeReply", Load::kFont, 0, Bytes(4096, 0xA0), "LN_TIMEOUT"},
        BabbleCase{"TextAfterTheAcknowledgeByte", Load::kProgram, 1, BytesOf("Ready.\r\n"),
                   "LN_BAD_COMMAND"},
        BabbleCase{"ZerosAfterTheAcknowledgeByte",
                   Load::kFont,
                   1,
                   {0x00, 0x00, 0x00},
                   "LN_STATUS, LN_BAD_COMMAND"},
        BabbleCase{"NoiseInsteadOfAnEcho",
                   Load::kProgram,
                   5,
                   {0x13, 0x37},
                   "LN_STATUS, LN_PACKET_INTEGRITY_ERROR"}),
    [](const ::testing::TestParamInfo<BabbleCase>& info) { return std::string(info.param.name); });

TEST_F(TimeoutTest, ReplyArrivingSlowlyNeverTimesOut) {
  const Script script = Start(Load::kProgram);
  ASSERT_TRUE(Play(script, 0, 1));
  // Five batches with a pause before each: the reply takes longer than one time-out, but no
  // pause does, as each batch re-arms it.
  const Bytes& ident = script[1].reply;
  for (size_t at = 0; at < ident.size(); at += 2) {
    ASSERT_FALSE(queue.RunUntil([this] { return TimedOut(); }, 600ms));
    Feed(Bytes(ident.begin() + static_cast<ptrdiff_t>(at),
               ident.begin() + static_cast<ptrdiff_t>(std::min(at + 2, ident.size()))));
  }
  EXPECT_EQ(Names(window.Ids()), "LN_STATUS");
  EXPECT_EQ(Hex(line->Writes().back()), Hex(script[1].commands[0]));
  ASSERT_TRUE(Play(script, 2, script.size()));
  EXPECT_EQ(window.Count(LN_TIMEOUT), 0u);
}

}  // namespace
}  // namespace velmar::engine::testing
