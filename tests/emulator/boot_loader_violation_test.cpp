// What the tool can get wrong, and how the emulated controller takes it: the load ends as not
// well formed, with a reason, and nothing more of it is answered.

#include <gtest/gtest.h>

#include "emulator/boot_loader.h"
#include "tests/emulator/tool_script.h"

namespace velmar::emulator::test {
namespace {

struct ViolationCase {
  const char* name;
  bool font;    // FontAt11234, else TwoBlockProgram
  size_t step;  // the step whose bytes are replaced
  Bytes tool;
  Bytes reply;         // what that step still gets
  const char* reason;  // part of the reason given
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const ViolationCase& c, std::ostream* os) {
  *os << c.name;
}

const ViolationCase kCases[] = {
    {"WrongAcknowledge", false, kAck, {0x1A}, {}, "acknowledge byte 0x1A"},
    {"BadMarker", false, kRead1, {0x1F, 0x72, 0x53, 0x01, 0x01}, {}, "frame marker"},
    {"WrongLetter", false, kAddress1, {0x1E, 0x62, 0x00, 0x20, 0x00}, {}, "command letter 0x62"},
    {"ReadArguments", false, kRead1, {0x1E, 0x72, 0x53, 0x02, 0x01}, {}, "arguments 53 02"},
    {"ReadStatus", false, kRead2, {0x1E, 0x72, 0x53, 0x01, 0x03}, {}, "status 0x03"},
    {"AddressSetsAnotherBit", false, kAddress1, {0x1E, 0x61, 0x00, 0x20, 0x02}, {}, "status 0x02"},
    {"LengthStatus", false, kLength1, {0x1E, 0x64, 0x04, 0x00, 0x00}, {}, "status 0x00"},
    {"LengthOver256", false, kLength1, {0x1E, 0x64, 0x01, 0x01, 0x01}, {}, "257 bytes"},
    {"DataCrc",
     false,
     kData1,
     {0x1E, 0x65, 0xA1, 0x0E, 0x00, 0x01, 0x02, 0x03, 0x04},
     {0x1E, 0x65, 0xA1, 0x0E, 0x80, 0x01, 0x02, 0x03, 0x04},
     "CRC 0EA1"},
    {"DataLongerThanLength",
     false,
     kData1,
     {0x1E, 0x65, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05},
     {0x1E, 0x65, 0xA1, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04},
     "0x05 where the frame marker of the \"w\" of block 1"},
    {"WriteWithoutOk", false, kWrite1, {0x1E, 0x77, 0x6F, 0x6F, 0x01}, {}, "arguments 6F 6F"},
    {"WriteStatus", false, kWrite1, {0x1E, 0x77, 0x6F, 0x6B, 0x03}, {}, "status 0x03"},
    {"LastWriteStatus", false, kLastWrite, {0x1E, 0x77, 0x6F, 0x6B, 0x87}, {}, "status 0x87"},
    {"FontFirstAddressKeepsBitZero", true, kFontAddress1, Short('a', 0, 0, 0x01), {}, "0x01"},
    {"FontFirstAddressNotZero", true, kFontAddress1, Short('a', 0x34, 0x12, 0x00), {}, "1234"},
    {"FontSecondAddressClearsBitZero",
     true,
     kFontAddress2,
     Short('a', 0x00, 0x13, 0x00),
     {},
     "status 0x00"},
    {"FontSecondAddressWrong", true, kFontAddress2, Short('a', 0x01, 0x13, 0x01), {}, "1301"},
    {"FontFirstBlockPastItsRoom", true, kFontLength1, Short('d', 0xCD, 0x00, 0x01), {}, "204"},
    {"FontExtraByte", true, kFontLength1 + 1, DataFrame(Bytes(204, 0x11), 0x07), {}, "0x07"},
};

class EmulatorViolationTest : public ::testing::TestWithParam<ViolationCase> {};

TEST_P(EmulatorViolationTest, EndsTheLoadAsMalformed) {
  const ViolationCase& c = GetParam();
  BootLoaderConfig config;
  config.start = 0x11234;
  Recorder recorder;
  BootLoader loader(config, recorder);
  Script script = c.font ? FontAt11234(FontData()) : TwoBlockProgram();
  script[c.step] = {c.tool, c.reply};

  const std::vector<Bytes> replies = Play(loader, recorder, script);
  for (size_t i = 0; i <= c.step; ++i) {
    EXPECT_EQ(replies[i], script[i].reply) << "step " << i;
  }
  for (size_t i = c.step + 1; i < script.size(); ++i) {
    EXPECT_EQ(replies[i], Bytes{}) << "answered step " << i;
  }
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_FALSE(recorder.loads[0].well_formed);
  EXPECT_FALSE(recorder.loads[0].complete);
  EXPECT_NE(recorder.loads[0].reason.find(c.reason), std::string::npos) << recorder.loads[0].reason;
}

INSTANTIATE_TEST_SUITE_P(Tool, EmulatorViolationTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EmulatorViolationTest, AShortFontBlockMustBeTheLast) {
  BootLoaderConfig config;
  config.start = 0x11234;
  Recorder recorder;
  BootLoader loader(config, recorder);
  const Bytes first(100, 0x22);  // shorter than the 204 that fit: the font ends here
  Script script = FontAt11234(FontData());
  script.resize(kFontLength1);
  script.push_back({Short('d', 100, 0x00, 0x01), Short('D', 100, 0x00, 0x01)});
  script.push_back({DataFrame(first), Echo(first)});
  script.push_back({Short('w', 0x6F, 0x6B, 0x01), Short('S', 0x4D, 0x00, 0x01)});
  script.push_back({Short('r', 0x53, 0x01, 0x01), Short('C', 0x41, 0x00, 0x01)});
  script.push_back({Short('a', 0x98, 0x12, 0x01), {}});
  for (const Step& step : script) {
    loader.Feed(step.tool.data(), step.tool.size());
    EXPECT_EQ(recorder.Take(), step.reply);
  }
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_FALSE(recorder.loads[0].well_formed);
}

TEST(EmulatorViolationTest, AfterAViolationTheNextWakeUpIsAnswered) {
  Recorder recorder;
  BootLoader loader({}, recorder);
  Script script = TwoBlockProgram();
  script[kAck].tool = {0x0B};
  Play(loader, recorder, script);
  EXPECT_EQ(Play(loader, recorder, TwoBlockProgram())[kWake], (Bytes{0xA0}));
  ASSERT_EQ(recorder.loads.size(), 2u);
  EXPECT_TRUE(recorder.loads[1].Succeeded()) << recorder.loads[1].reason;
}

}  // namespace
}  // namespace velmar::emulator::test
