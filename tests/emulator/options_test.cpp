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

TEST(EmulatorOptionsTest, ReadsWhereToListen) {
  struct Case {
    const char* text;
    const char* host;
    uint16_t port;
  };
  const Case cases[] = {
      {"192.168.1.20:9100", "192.168.1.20", 9100},
      {"printer.local:9100", "printer.local", 9100},
      // Without a host, the loopback only: every interface only when asked.
      {":9100", "127.0.0.1", 9100},
      {"9100", "127.0.0.1", 9100},
      {":0", "127.0.0.1", 0},
      {"0", "127.0.0.1", 0},
      {"[::1]:65535", "::1", 65535},
      {"[::]:1", "::", 1},
  };
  for (const Case& c : cases) {
    Options o;
    ASSERT_EQ(Parse({"--tcp", c.text, "--loads", "1"}, &o), ParseResult::kOk) << c.text;
    ASSERT_TRUE(o.tcp) << c.text;
    EXPECT_EQ(o.tcp->host, c.host) << c.text;
    EXPECT_EQ(o.tcp->port, c.port) << c.text;
    EXPECT_TRUE(o.link.empty());
    EXPECT_TRUE(o.com_port.empty());
  }
}

TEST(EmulatorOptionsTest, ReadsTheNoiseAndItsSeed) {
  struct Case {
    Args args;
    double noise;
    uint32_t seed;
  };
  const Case cases[] = {
      {{}, 0.0, kDefaultNoiseSeed},
      {{"--noise", "0"}, 0.0, kDefaultNoiseSeed},
      {{"--noise", "1"}, 1.0, kDefaultNoiseSeed},
      {{"--noise", "0.001"}, 0.001, kDefaultNoiseSeed},
      {{"--noise", "1e-5", "--noise-seed", "42"}, 1e-5, 42},
      {{"--noise-seed", "0x10", "--noise", ".25"}, 0.25, 16},
      {{"--noise", "1.0e0", "--noise-seed", "4294967295"}, 1.0, 4294967295u},
      {{"--noise", "0.5", "--noise-seed", "0"}, 0.5, 0},
      // --NAME=VALUE, and a value that starts with '-' is still the value.
      {{"--noise=0.25", "--noise-seed=7"}, 0.25, 7},
      {{"--noise-seed", "3", "--noise=1"}, 1.0, 3},
  };
  for (const Case& c : cases) {
    Options o;
    Args args = {"--link", "a"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(Parse(args, &o), ParseResult::kOk) << ::testing::PrintToString(c.args);
    EXPECT_EQ(o.noise, c.noise) << ::testing::PrintToString(c.args);
    EXPECT_EQ(o.noise_seed, c.seed) << ::testing::PrintToString(c.args);
  }
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
      {"--link", "a", "--noise", "1.01"},
      {"--link", "a", "--noise", "-0.1"},
      {"--link", "a", "--noise", "2e0"},
      {"--link", "a", "--noise", "inf"},
      {"--link", "a", "--noise", "nan"},
      {"--link", "a", "--noise", ""},
      {"--link", "a", "--noise", "0.1%"},
      {"--link", "a", "--noise", "0x0.1"},
      {"--link", "a", "--noise", "+0.1"},
      {"--link", "a", "--noise", " 0.1"},
      {"--link", "a", "--noise"},
      {"--link", "a", "--noise", "0.1", "--noise-seed", "4294967296"},
      {"--link", "a", "--noise", "0.1", "--noise-seed", "-1"},
      {"--link", "a", "--noise", "0.1", "--noise-seed", "1.5"},
      {"--link", "a", "--noise-seed", "7"},  // a seed of nothing
      {"--link", "a", "--verbose"},
      {"--link", "a", "--nois", "0.1"},  // no abbreviations
      {"--link", "a", "--drip=1"},
      {"--link", "a", "--version=1"},
      {"--link", "a", "stray"},
      {"--link=a", "--", "--drip"},
      {"--link", "a", "-x"},
      {"--link"},
      // Exactly one place to serve on.
      {"--link", "a", "--tcp", ":0"},
      {"--as", "COM1", "--tcp", ":0"},
      {"--tcp"},
      // Not HOST:PORT, :PORT or PORT.
      {"--tcp", ""},
      {"--tcp", ":"},
      {"--tcp", "host:"},
      {"--tcp", "host"},
      {"--tcp", "host:65536"},
      {"--tcp", "host:0x10"},
      {"--tcp", "host:-1"},
      {"--tcp", "host:+1"},
      {"--tcp", "host:12x"},
      {"--tcp", "host: 1"},
      {"--tcp", "::1:9100"},  // IPv6 without brackets
      {"--tcp", "[::1]"},
      {"--tcp", "[::1]:"},
      {"--tcp", "[]:9100"},
      {"--tcp", "[::1:9100"},
      {"--tcp", "::1]:9100"},
      {"--tcp", "a[b]:9100"},
      // An inherited line: never a standard stream, never beside another place.
      {"--line-fd", "2"},
      {"--line-fd", "1024"},
      {"--line-fd", "3", "--link", "a"},
      {"--line-fd", "3", "--tool-rate", "0"},
      {"--line-fd", "3", "--marks=1"},
      {"--tcp", ":0", "--tool-rate", "9600"},  // a connection has no rate
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
