#include "cli/options.h"

#include <gtest/gtest.h>

namespace velmar::cli {
namespace {

TEST(OptionsTest, ParsesWhatALoadNeeds) {
  const auto parsed = ParseOptions({"-p", "/dev/ttyUSB0", "--baud", "9600", "--trace", "f.bin"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->command, Command::kLoad);
  EXPECT_EQ(parsed.options->port, "/dev/ttyUSB0");
  EXPECT_EQ(parsed.options->baud_rate, 9600);
  EXPECT_TRUE(parsed.options->trace);
  EXPECT_EQ(parsed.options->file, "f.bin");

  const auto bare = ParseOptions({"f.fnt"});
  ASSERT_TRUE(bare.options);
  EXPECT_FALSE(bare.options->port);  // the saved settings decide
  EXPECT_FALSE(bare.options->baud_rate);
}

TEST(OptionsTest, ALoadOverTcpNamesHostAndPort) {
  struct Case {
    std::vector<std::string> arguments;
    std::string host;
    int32_t tcp_port;
  };
  const Case cases[] = {
      {{"--host", "printer.local", "--tcp-port", "9100", "f.bin"}, "printer.local", 9100},
      {{"--tcp-port", "1", "--host", "127.0.0.1", "--trace", "f.fnt"}, "127.0.0.1", 1},
      {{"--host", "::1", "--tcp-port", "65535", "f.bin"}, "::1", 65535},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseOptions(c.arguments);
    ASSERT_TRUE(parsed.options) << testing::PrintToString(c.arguments) << ": " << parsed.error;
    EXPECT_EQ(parsed.options->command, Command::kLoad);
    EXPECT_EQ(parsed.options->host, c.host);
    EXPECT_EQ(parsed.options->tcp_port, c.tcp_port);
    // The serial settings stay unset, so the saved ones are not read for a TCP load.
    EXPECT_FALSE(parsed.options->port);
    EXPECT_FALSE(parsed.options->baud_rate);
  }
}

TEST(OptionsTest, CommandsOtherThanLoading) {
  EXPECT_EQ(ParseOptions({"--info", "f.bin"}).options->command, Command::kInfo);
  EXPECT_EQ(ParseOptions({"--list-ports"}).options->command, Command::kListPorts);
  EXPECT_EQ(ParseOptions({"-h"}).options->command, Command::kHelp);
  EXPECT_EQ(ParseOptions({"--bogus", "--help"}).options, std::nullopt);
}

TEST(OptionsTest, RefusesWhatCannotBeRun) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"a.bin", "b.bin"},
      {"-p"},
      {"-p", "", "f.bin"},
      {"-b", "fast", "f.bin"},
      {"-b", "0", "f.bin"},
      {"-b", "-9600", "f.bin"},
      {"-b", "9600x", "f.bin"},
      {"-b", "99999999999", "f.bin"},
      {"--list-ports", "f.bin"},
      {"--info"},
      {"-x", "f.bin"},
      // TCP: host and port together, without a serial line, port 1 to 65535.
      {"--host", "h", "f.bin"},
      {"--tcp-port", "9100", "f.bin"},
      {"--host", "h", "--tcp-port", "9100", "-p", "/dev/ttyS0", "f.bin"},
      {"-p", "COM1", "--host", "h", "--tcp-port", "9100", "f.bin"},
      {"--host", "h", "--tcp-port", "9100", "-b", "9600", "f.bin"},
      {"--host", "h", "--tcp-port", "0", "f.bin"},
      {"--host", "h", "--tcp-port", "65536", "f.bin"},
      {"--host", "h", "--tcp-port", "12x", "f.bin"},
      {"--host", "h", "--tcp-port", "-1", "f.bin"},
      {"--host", "h", "--tcp-port", "", "f.bin"},
      {"--host", "", "--tcp-port", "9100", "f.bin"},
      {"--host", "h", "f.bin", "--tcp-port"},
      {"--tcp-port", "9100", "f.bin", "--host"},
  };
  for (const auto& arguments : bad) {
    const auto parsed = ParseOptions(arguments);
    EXPECT_FALSE(parsed.options) << testing::PrintToString(arguments);
    EXPECT_FALSE(parsed.error.empty());
  }
}

}  // namespace
}  // namespace velmar::cli
