// Whole loads against the emulated controller, as the tool sends them.

#include "emulator/boot_loader.h"

#include <gtest/gtest.h>

#include "tests/emulator/tool_script.h"

namespace velmar::emulator::test {
namespace {

using namespace std::chrono_literals;

// The example exchange: one block 01 02 03 04 at 0x2000.
const Script kExample = {
    {{0x1B, 0x42, 0x4F, 0x4F, 0x54}, {0xA0}},
    {{0x0A}, {0x54, 0x45, 0x53, 0x54, 0x00, 0x1E, 0x53, 0x4D, 0x00, 0x01}},
    {{0x1E, 0x72, 0x53, 0x01, 0x01}, {0x1E, 0x43, 0x41, 0x00, 0x01}},
    {{0x1E, 0x61, 0x00, 0x20, 0x00}, {0x1E, 0x41, 0x00, 0x20, 0x01}},
    {{0x1E, 0x64, 0x04, 0x00, 0x01}, {0x1E, 0x44, 0x04, 0x00, 0x01}},
    {{0x1E, 0x65, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04},
     {0x1E, 0x65, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04}},
    {{0x1E, 0x77, 0x6F, 0x6B, 0x83}, {}},
};

std::vector<Bytes> Expected(const Script& script) {
  std::vector<Bytes> replies;
  for (const Step& step : script) {
    replies.push_back(step.reply);
  }
  return replies;
}

class EmulatorExampleTest : public ::testing::TestWithParam<bool> {};

TEST_P(EmulatorExampleTest, AnswersEveryStepAndStoresTheBlock) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  EXPECT_EQ(Play(loader, recorder, kExample, GetParam()), Expected(kExample));
  ASSERT_EQ(recorder.loads.size(), 1u);
  const LoadSummary& load = recorder.loads[0];
  EXPECT_TRUE(load.Succeeded()) << load.reason;
  EXPECT_EQ(load.kind, LoadKind::kProgram);
  EXPECT_EQ(load.blocks, 1);
  EXPECT_EQ(load.bytes, 4);
  EXPECT_EQ(load.lowest, 0x2000u);
  EXPECT_EQ(load.highest, 0x2003u);
  EXPECT_EQ(load.line_bytes, 70);  // every byte of the table above, both ways
  EXPECT_EQ(loader.image(), (Image{{0x2000, 1}, {0x2001, 2}, {0x2002, 3}, {0x2003, 4}}));
  EXPECT_FALSE(loader.InLoad());
}

INSTANTIATE_TEST_SUITE_P(Batching, EmulatorExampleTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByteByByte" : "Whole"; });

TEST(EmulatorBootLoaderTest, TimesTheLoadFromItsWakeUpToItsLastByte) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  const Clock::time_point start{};
  Clock::time_point at = start;
  for (const Step& step : kExample) {
    loader.Feed(step.tool.data(), step.tool.size(), at);
    at += 10ms;
  }
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_EQ(recorder.loads[0].elapsed, 60ms);
}

TEST(EmulatorBootLoaderTest, LoadsTwoBlocksAndServesTheNextLoad) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  const Script program = TwoBlockProgram();
  EXPECT_EQ(Play(loader, recorder, program), Expected(program));
  EXPECT_EQ(Play(loader, recorder, program), Expected(program));
  ASSERT_EQ(recorder.loads.size(), 2u);
  EXPECT_EQ(recorder.loads[1].number, 2);
  EXPECT_TRUE(recorder.loads[1].Succeeded()) << recorder.loads[1].reason;
  EXPECT_EQ(recorder.loads[1].blocks, 2);
  EXPECT_EQ(recorder.loads[1].highest, 0x2005u);
  EXPECT_EQ(loader.image().size(), 6u);
}

TEST(EmulatorBootLoaderTest, FontGoesWhereTheFirstAddressReplySaid) {
  BootLoaderConfig config;
  config.start = 0x11234;
  Recorder recorder;
  BootLoader loader(config, recorder);
  const Bytes font = FontData();
  const Script script = FontAt11234(font);
  EXPECT_EQ(Play(loader, recorder, script), Expected(script));
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_TRUE(recorder.loads[0].Succeeded()) << recorder.loads[0].reason;
  EXPECT_EQ(recorder.loads[0].kind, LoadKind::kFont);
  EXPECT_EQ(recorder.loads[0].blocks, 3);
  Image expected;
  for (size_t i = 0; i < font.size(); ++i) {
    expected[0x11234 + static_cast<uint32_t>(i)] = font[i];
  }
  EXPECT_EQ(loader.image(), expected);
}

TEST(EmulatorBootLoaderTest, KeptStatusBitZeroIsAddressBitSixteen) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  Script script(kExample.begin(), kExample.begin() + 3);
  script.push_back({Short('a', 0x00, 0x20, 0x01), Short('A', 0x00, 0x20, 0x01)});
  script.push_back({Short('d', 0x01, 0x00, 0x01), Short('D', 0x01, 0x00, 0x01)});
  script.push_back({DataFrame({0x5A}), Echo({0x5A})});
  script.push_back({Short('w', 0x6F, 0x6B, 0x83), {}});
  EXPECT_EQ(Play(loader, recorder, script), Expected(script));
  EXPECT_EQ(loader.image(), (Image{{0x12000, 0x5A}}));
}

TEST(EmulatorBootLoaderTest, TheOtherWakeByteWantsItsOwnAcknowledge) {
  BootLoaderConfig config;
  config.wake = 0xA1;
  Recorder recorder;
  BootLoader loader(config, recorder);
  Script script = kExample;
  script[0].reply = {0xA1};
  script[1].tool = {0x1A};
  EXPECT_EQ(Play(loader, recorder, script), Expected(script));
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_TRUE(recorder.loads[0].Succeeded()) << recorder.loads[0].reason;
}

TEST(EmulatorBootLoaderTest, AWakeByteTheToolRefusesEndsTheLoadAtOnce) {
  BootLoaderConfig config;
  config.wake = 0x55;
  Recorder recorder;
  BootLoader loader(config, recorder);
  const std::vector<Bytes> replies = Play(loader, recorder, {kExample[0], kExample[1]});
  EXPECT_EQ(replies, (std::vector<Bytes>{{0x55}, {}}));
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_FALSE(recorder.loads[0].complete);
  EXPECT_TRUE(recorder.loads[0].well_formed);
}

TEST(EmulatorBootLoaderTest, ANewWakeUpAbandonsTheLoadAndStartsAnother) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  Play(loader, recorder, {kExample.begin(), kExample.begin() + 4});
  EXPECT_EQ(Play(loader, recorder, kExample), Expected(kExample));
  ASSERT_EQ(recorder.loads.size(), 2u);
  EXPECT_FALSE(recorder.loads[0].complete);
  EXPECT_TRUE(recorder.loads[0].well_formed);
  EXPECT_NE(recorder.loads[0].reason.find("the \"d\" of block 1"), std::string::npos)
      << recorder.loads[0].reason;
  EXPECT_TRUE(recorder.loads[1].Succeeded());
}

TEST(EmulatorBootLoaderTest, WakeUpIsFoundAmongNoise) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  const Bytes noise{0x00, 0x1B, 0x42, 0x1B, 0x1B, 0x42, 0x4F, 0x4F, 0x54};
  loader.Feed(noise.data(), noise.size());
  EXPECT_EQ(recorder.Take(), (Bytes{0xA0}));
}

TEST(EmulatorBootLoaderTest, FinishEndsTheLoadInProgress) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  Play(loader, recorder, {kExample.begin(), kExample.begin() + 3});
  loader.Finish();
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_FALSE(recorder.loads[0].complete);
  EXPECT_NE(recorder.loads[0].reason.find("the \"a\" of block 1"), std::string::npos)
      << recorder.loads[0].reason;
  loader.Finish();
  EXPECT_EQ(recorder.loads.size(), 1u);
}

TEST(EmulatorLoadSummaryTest, ComparesElapsedTimeWithTheLine) {
  LoadSummary summary;
  summary.number = 1;
  summary.model = "TEST";
  summary.elapsed = 2s;
  summary.line_bytes = 5760;  // one second at 57600 baud
  summary.complete = true;
  EXPECT_EQ(LineTime(5760, 57600).count(), 1.0);
  const std::string line = FormatSummary(summary, 57600);
  EXPECT_NE(line.find("line 1.000 s at 57600 baud, ratio 2.00"), std::string::npos) << line;
  EXPECT_EQ(FormatSummary(summary, 0).find("ratio"), std::string::npos);
}

}  // namespace
}  // namespace velmar::emulator::test
