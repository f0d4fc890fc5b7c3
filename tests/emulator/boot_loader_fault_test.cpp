// Each fault spoils exactly the reply it names, then the load ends and nothing more is answered.

#include <gtest/gtest.h>

#include "emulator/boot_loader.h"
#include "tests/emulator/tool_script.h"

namespace velmar::emulator::test {
namespace {

struct FaultCase {
  const char* name;
  FaultKind kind;
  int32_t block;
  std::optional<ReplyKind> reply;
  size_t step;   // of TwoBlockProgram
  Bytes spoilt;  // what that step gets instead
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

const FaultCase kCases[] = {
    {"StatusInIdent",
     FaultKind::kStatusError,
     2,
     ReplyKind::kIdent,
     kAck,
     {0x54, 0x45, 0x53, 0x54, 0x00, 0x1E, 0x53, 0x4D, 0x00, 0x11}},
    {"StatusInCa",
     FaultKind::kStatusError,
     1,
     std::nullopt,
     kRead1,
     {0x1E, 0x43, 0x41, 0x00, 0x11}},
    {"StatusInCaOfBlock2",
     FaultKind::kStatusError,
     2,
     std::nullopt,
     kRead2,
     {0x1E, 0x43, 0x41, 0x00, 0x11}},
    {"StatusInA",
     FaultKind::kStatusError,
     1,
     ReplyKind::kAddressReply,
     kAddress1,
     {0x1E, 0x41, 0x00, 0x20, 0x11}},
    {"StatusInD",
     FaultKind::kStatusError,
     1,
     ReplyKind::kLengthReply,
     kLength1,
     {0x1E, 0x44, 0x04, 0x00, 0x11}},
    {"StatusInSm",
     FaultKind::kStatusError,
     1,
     ReplyKind::kStatusReply,
     kWrite1,
     {0x1E, 0x53, 0x4D, 0x00, 0x11}},
    {"ResultInIdent",
     FaultKind::kResultError,
     1,
     ReplyKind::kIdent,
     kAck,
     {0x54, 0x45, 0x53, 0x54, 0x00, 0x1E, 0x53, 0x4D, 0x80, 0x01}},
    {"ResultInEcho",
     FaultKind::kResultError,
     1,
     std::nullopt,
     kData1,
     {0x1E, 0x65, 0xA1, 0x0F, 0x80, 0x01, 0x02, 0x03, 0x04}},
    {"ResultInSm",
     FaultKind::kResultError,
     1,
     ReplyKind::kStatusReply,
     kWrite1,
     {0x1E, 0x53, 0x4D, 0x80, 0x01}},
    {"BadCommand", FaultKind::kBadCommand, 1, std::nullopt, kRead1, {0x1E, 0x63, 0x41, 0x00, 0x01}},
    {"BadCommandInSm",
     FaultKind::kBadCommand,
     1,
     ReplyKind::kStatusReply,
     kWrite1,
     {0x1E, 0x73, 0x4D, 0x00, 0x01}},
    {"BadAddress",
     FaultKind::kBadAddress,
     2,
     std::nullopt,
     kAddress2,
     {0x1E, 0x41, 0x05, 0x20, 0x01}},
    {"BadSize", FaultKind::kBadSize, 1, std::nullopt, kLength1, {0x1E, 0x44, 0x05, 0x00, 0x01}},
    {"BadCrc",
     FaultKind::kBadCrc,
     1,
     std::nullopt,
     kData1,
     {0x1E, 0x65, 0x5E, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04}},
    {"BadData",
     FaultKind::kBadData,
     2,
     std::nullopt,
     kData2,
     {0x1E, 0x65, 0x83, 0x52, 0x00, 0x05, 0xF9}},
    {"Silent", FaultKind::kSilent, 2, std::nullopt, kRead2, {}},
    {"HangUp", FaultKind::kHangUp, 1, std::nullopt, kRead1, {}},
};

class EmulatorFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(EmulatorFaultTest, SpoilsItsReplyAndEndsTheLoad) {
  const FaultCase& c = GetParam();
  const auto fault = MakeFault(c.kind, c.block, c.reply);
  ASSERT_TRUE(fault.has_value());
  BootLoaderConfig config;
  config.fault = *fault;
  Recorder recorder;
  BootLoader loader(config, recorder);
  const Script script = TwoBlockProgram();

  const std::vector<Bytes> replies = Play(loader, recorder, script);
  for (size_t i = 0; i < c.step; ++i) {
    EXPECT_EQ(replies[i], script[i].reply) << "step " << i;
  }
  EXPECT_EQ(replies[c.step], c.spoilt);
  for (size_t i = c.step + 1; i < script.size(); ++i) {
    EXPECT_EQ(replies[i], Bytes{}) << "answered step " << i << " after the fault";
  }
  ASSERT_EQ(recorder.loads.size(), 1u);
  EXPECT_FALSE(recorder.loads[0].complete);
  EXPECT_TRUE(recorder.loads[0].well_formed) << "the tool did nothing wrong";
  EXPECT_EQ(recorder.hung_up, c.kind == FaultKind::kHangUp);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EmulatorFaultTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EmulatorFaultTest, FallsInEveryLoad) {
  BootLoaderConfig config;
  config.fault = *MakeFault(FaultKind::kBadSize, 1, std::nullopt);
  Recorder recorder;
  BootLoader loader(config, recorder);
  const Script script = TwoBlockProgram();
  Play(loader, recorder, script);
  EXPECT_EQ(Play(loader, recorder, script)[kLength1], (Bytes{0x1E, 0x44, 0x05, 0x00, 0x01}));
}

TEST(EmulatorFaultTest, KindsGoOnlyInRepliesThatCarryThem) {
  EXPECT_FALSE(MakeFault(FaultKind::kStatusError, 1, ReplyKind::kEcho));  // it has no status
  EXPECT_FALSE(MakeFault(FaultKind::kResultError, 1, ReplyKind::kReadReply));
  EXPECT_FALSE(MakeFault(FaultKind::kBadAddress, 1, ReplyKind::kLengthReply));
  EXPECT_FALSE(MakeFault(FaultKind::kBadCrc, 0, std::nullopt));
  EXPECT_EQ(MakeFault(FaultKind::kResultError, 1, std::nullopt)->reply, ReplyKind::kEcho);
}

}  // namespace
}  // namespace velmar::emulator::test
