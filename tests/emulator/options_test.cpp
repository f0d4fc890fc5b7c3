#include "emulator/options.h"

#include <gtest/gtest.h>

namespace velmar::emulator::test {
namespace {

using Args = std::vector<std::string>;

ParseResult Parse(Args args, Options* options) {
  std::string error;
  return ParseOptions(args, options, &error);
}

TEST(EmulatorOptionsTest, ReadsNumbersInHexOrDecimalAndCombinesTheFault) {
  Options o;
  ASSERT_EQ(
      Parse({"--as", "COM3", "--wake", "0xA1", "--status", "5", "--result", "0X10", "--start",
             "0x11234", "--fault", "status-error", "--fault-block", "3", "--fault-reply", "SM"},
            &o),
      ParseResult::kOk);
  EXPECT_EQ(o.com_port, "COM3");
  EXPECT_EQ(o.loader.wake, 0xA1);
  EXPECT_EQ(o.loader.status, 5);
  EXPECT_EQ(o.loader.result, 0x10);
  EXPECT_EQ(o.loader.start, 0x11234u);
  EXPECT_EQ(o.loader.fault.block, 3);
  EXPECT_EQ(o.loader.fault.reply, ReplyKind::kStatusReply);
}

TEST(EmulatorOptionsTest, RefusesWhatCannotBeServed) {
  const Args refused[] = {
      {},
      {"--link", "a", "--as", "COM1"},
      {"--as", "COM0"},
      {"--as", "COM"},
      {"--as", "ttyS0"},
      {"--link", "a", "--wake", "256"},
      {"--link", "a", "--wake", "0x"},
      {"--link", "a", "--wake", "-1"},
      {"--link", "a", "--status", "012x"},
      {"--link", "a", "--start", "0x20000"},  // the reply carries 17 bits
      {"--link", "a", "--baud", "0"},
      {"--link", "a", "--loads", "0"},
      {"--link", "a", "--model", std::string(260, 'M')},
      {"--link", "a", "--fault", "gremlins"},
      {"--link", "a", "--fault-block", "2"},
      {"--link", "a", "--fault", "status-error", "--fault-reply", "echo"},
      {"--link", "a", "--fault", "bad-crc", "--fault-block", "0"},
      {"--link", "a", "--fault", "silent", "--fault-reply", "later"},
      {"--link", "a", "--verbose"},
      {"--link"},
  };
  for (const Args& args : refused) {
    Options o;
    std::string error;
    EXPECT_EQ(ParseOptions(args, &o, &error), ParseResult::kUsageError)
        << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace velmar::emulator::test
