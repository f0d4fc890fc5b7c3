#include "cli/options.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/command_line_text.h"

namespace velmar::cli {
namespace {

using Args = std::vector<std::string>;

// The printers' names in order, as a run reports them.
std::vector<std::string> Names(const Options& options) {
  std::vector<std::string> names;
  for (const Target& target : options.targets) {
    names.push_back(target.Name());
  }
  return names;
}

TEST(OptionsTest, ParsesWhatALoadNeeds) {
  const auto parsed = ParseOptions({"-p", "/dev/ttyUSB0", "--baud", "9600", "--trace", "f.bin"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->command, Command::kLoad);
  EXPECT_EQ(Names(*parsed.options), Args{"/dev/ttyUSB0"});
  EXPECT_EQ(parsed.options->baud_rate, 9600);
  EXPECT_TRUE(parsed.options->trace);
  EXPECT_EQ(parsed.options->file, "f.bin");

  const auto bare = ParseOptions({"f.fnt"});
  ASSERT_TRUE(bare.options);
  EXPECT_TRUE(bare.options->targets.empty());  // the saved settings decide
  EXPECT_FALSE(bare.options->baud_rate);

  const auto many = ParseOptions({"--retries=3", "--wait", "2.5", "--json", "-p", "A", "-pB",
                                  "--trace-dir", "t", "--ports-from=-", "f.bin"});
  ASSERT_TRUE(many.options) << many.error;
  EXPECT_EQ(many.options->retries, 3);
  EXPECT_EQ(many.options->wait, std::chrono::milliseconds(2500));
  EXPECT_TRUE(many.options->json);
  EXPECT_TRUE(many.options->trace);  // the folder implies it
  EXPECT_EQ(many.options->trace_dir, "t");
  EXPECT_EQ(many.options->ports_from, "-");

  // A serial device server's port is a TCP printer whose line the loader sets at -b's rate.
  const auto server = ParseOptions({"-p", "RFC2217://[::1]:2217", "-b", "9600", "f.bin"});
  ASSERT_TRUE(server.options) << server.error;
  const Target& target = server.options->targets.front();
  EXPECT_TRUE(target.com_port && target.IsTcp());
  EXPECT_EQ(target.host + " " + target.HostPort(), "::1 [::1]:2217");
}

TEST(OptionsTest, NamesEveryPrinterInTheOrderGiven) {
  struct Case {
    Args arguments;
    std::vector<std::string> names;
    std::string file = "f.bin";
  };
  const Case cases[] = {
      {{"--host", "printer.local", "--tcp-port", "9100", "f.bin"}, {"printer.local:9100"}},
      {{"--tcp-port", "1", "--host", "127.0.0.1", "--trace", "f.bin"}, {"127.0.0.1:1"}},
      {{"--host", "::1", "--tcp-port", "65535", "f.bin"}, {"[::1]:65535"}},
      {{"-pA", "--port=B", "--port", "C", "-p", "D", "f.bin"}, {"A", "B", "C", "D"}},
      {{"-p", "A", "--host", "h", "--tcp-port", "1", "--host=h", "--tcp-port=2", "f.bin", "-pB"},
       {"A", "h:1", "h:2", "B"}},
      // "--" lets a file start with '-'; "-" alone is a file name anyway.
      {{"-p", "rfc2217://srv:2217", "-p", "socket://10.0.0.1:4001", "f.bin"},
       {"rfc2217://srv:2217", "socket://10.0.0.1:4001"}},
      {{"-p", "A", "--", "-f.bin"}, {"A"}, "-f.bin"},
      {{"--", "--help"}, {}, "--help"},
      {{"-"}, {}, "-"},
  };
  for (const Case& c : cases) {
    // Twice: the parser starts afresh on every call.
    for (int round = 0; round < 2; ++round) {
      const auto parsed = ParseOptions(c.arguments);
      ASSERT_TRUE(parsed.options) << testing::PrintToString(c.arguments) << ": " << parsed.error;
      EXPECT_EQ(Names(*parsed.options), c.names) << testing::PrintToString(c.arguments);
      EXPECT_EQ(parsed.options->file, c.file);
      EXPECT_FALSE(parsed.options->baud_rate);
    }
  }
}

TEST(OptionsTest, CommandsOtherThanLoading) {
  EXPECT_EQ(ParseOptions({"--info", "f.bin"}).options->command, Command::kInfo);
  EXPECT_EQ(ParseOptions({"--list-ports"}).options->command, Command::kListPorts);
  const auto station = ParseOptions({"--station", "-p", "/dev/ttyUSB*", "-pCOM*", "f.bin"});
  EXPECT_EQ(station.options->command, Command::kStation);
  EXPECT_EQ(Names(*station.options), (Args{"/dev/ttyUSB*", "COM*"}));
  EXPECT_EQ(ParseOptions({"-h"}).options->command, Command::kHelp);
  EXPECT_EQ(ParseOptions({"-p", "A", "--version"}).options->command, Command::kVersion);
  EXPECT_EQ(platform::VersionText("velmar-load"), "velmar-load (velmar) " VELMAR_VERSION "\n");
  // Told briefly: what was wrong, then where the usage is.
  const std::string error = UsageError(ParseOptions({"--bogus"}).error);
  EXPECT_EQ(error, "velmar-load: unknown option: --bogus\nTry 'velmar-load --help'.\n");
  EXPECT_EQ(ParseOptions({"--bogus", "--help"}).options, std::nullopt);
}

TEST(OptionsTest, RefusesWhatCannotBeRun) {
  struct Case {
    Args arguments;
    std::string error = {};  // empty: any text
  };
  const Case cases[] = {
      {{}, "no file given"},
      {{"a.bin", "b.bin"}, "give one file"},
      {{"-p"}, "-p needs a port name"},
      {{"--port"}, "--port needs a port name"},
      {{"-p", "", "f.bin"}, "-p needs a port name"},
      {{"--port=", "f.bin"}, "--port needs a port name"},
      {{"-b"}, "-b needs a baud rate"},
      {{"-b", "fast", "f.bin"}, "not a baud rate: fast"},
      {{"-b", "0", "f.bin"}},
      {{"-b", "-9600", "f.bin"}},
      {{"-b", "9600x", "f.bin"}},
      {{"-b", "99999999999", "f.bin"}},
      {{"--list-ports", "f.bin"}, "--list-ports takes no file"},
      {{"--record=", "f.bin"}, "--record needs a file"},
      {{"--station", "--host", "h", "--tcp-port", "1", "f.bin"},
       "--station takes serial ports and patterns (-p), not TCP connections or lists"},
      {{"--station", "--ports-from", "-", "f.bin"},
       "--station takes serial ports and patterns (-p), not TCP connections or lists"},
      {{"--station", "--wait", "5", "f.bin"},
       "--station waits for each port as long as it runs: --wait has no meaning with it"},
      {{"--station", "--trace", "f.bin"}, "--trace with --station needs --trace-dir"},
      {{"--info"}, "no file given"},
      {{"-x", "f.bin"}, "unknown option: -x"},
      {{"--bogus=1", "f.bin"}, "unknown option: --bogus"},
      {{"--tr", "f.bin"}, "unknown option: --tr"},  // no abbreviations
      {{"--json=yes", "f.bin"}, "--json takes no value"},
      {{"--por"}, "unknown option: --por"},
      // TCP: each host with its port, 1 to 65535, no rate when every printer is over TCP.
      {{"--host", "h", "f.bin"}, "--host needs --tcp-port"},
      {{"--tcp-port", "9100", "f.bin"}, "--tcp-port needs --host"},
      {{"--host", "h", "--tcp-port", "9100", "--host", "g", "f.bin"}, "--host needs --tcp-port"},
      {{"--host", "h", "--tcp-port", "9100", "-b", "9600", "f.bin"},
       "a baud rate has no meaning over TCP"},
      {{"--host", "h", "--tcp-port", "0", "f.bin"}},
      {{"--host", "h", "--tcp-port", "65536", "f.bin"}},
      {{"--host", "h", "--tcp-port", "12x", "f.bin"}},
      {{"--host", "h", "--tcp-port", "-1", "f.bin"}},
      {{"--host", "h", "--tcp-port", "", "f.bin"}},
      {{"--host", "", "--tcp-port", "9100", "f.bin"}},
      {{"--host", "h", "f.bin", "--tcp-port"}, "--tcp-port needs a port number"},
      {{"--tcp-port", "9100", "f.bin", "--host"}, "--host needs a host name or address"},
      // Each printer once; several traces need a folder.
      {{"-p", "A", "--port=A", "f.bin"}, "port named twice: A"},
      {{"--host", "h", "--tcp-port", "1", "--tcp-port=1", "--host=h", "f.bin"},
       "port named twice: h:1"},
      // Names are what the events and trace files go by, so two printers cannot share one.
      {{"-p", "h:1", "--host", "h", "--tcp-port", "1", "f.bin"}, "port named twice: h:1"},
      {{"-p", "A", "-p", "B", "--trace", "f.bin"},
       "--trace with several printers needs --trace-dir"},
      // Port URLs: the schemes other serial tools use, each naming a printer as HOST:PORT does.
      {{"-p", "rfc2217://h", "f.bin"}, "not rfc2217://HOST:PORT: rfc2217://h"},
      {{"-p", "socket://", "f.bin"}, "not socket://HOST:PORT: socket://"},
      {{"-p", "telnet://h:23", "f.bin"},
       "not a port URL (rfc2217://HOST:PORT or socket://HOST:PORT): telnet://h:23"},
      {{"-p", "socket://::1:1", "f.bin"}, "not HOST:PORT, an IPv6 address goes in brackets: ::1:1"},
      {{"-p", "socket://h:1", "--host", "h", "--tcp-port", "1", "f.bin"},
       "port named twice: h:1 is socket://h:1"},
      {{"-p", "socket://h:1", "-b", "9600", "f.bin"}, "a baud rate has no meaning over TCP"},
      {{"--retries", "1001", "f.bin"}},
      {{"--retries", "-1", "f.bin"}},
      {{"--wait", "-1", "f.bin"}},
      {{"--wait", "nan", "f.bin"}},
      {{"--wait", "", "f.bin"}},
      {{"--wait"}, "--wait needs a value"},
      {{"--ports-from", "", "f.bin"}},
      {{"--trace-dir", "", "f.bin"}},
      {{"--color=sometimes", "f.bin"}, "--color: not auto, always or never: sometimes"},
      {{"--color", "never", "f.bin"}, "give one file"},  // WHEN only after '=', as GNU ls
      {{"--colour", "f.bin"}, "unknown option: --colour"},
      {{"--version=1"}, "--version takes no value"},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseOptions(c.arguments);
    EXPECT_FALSE(parsed.options) << testing::PrintToString(c.arguments);
    EXPECT_FALSE(parsed.error.empty()) << testing::PrintToString(c.arguments);
    if (!c.error.empty()) {
      EXPECT_EQ(parsed.error, c.error) << testing::PrintToString(c.arguments);
    }
  }
}

TEST(OptionsTest, ReadsWhenToColour) {
  const std::pair<Args, ColourWhen> cases[] = {
      {{"f.bin"}, ColourWhen::kAuto},
      {{"--color", "f.bin"}, ColourWhen::kAlways},
      {{"--color=never", "--station", "f.bin"}, ColourWhen::kNever},
      {{"--color=always", "--color=auto", "f.bin"}, ColourWhen::kAuto},
      {{"f.bin", "--color=always"}, ColourWhen::kAlways},
  };
  for (const auto& [arguments, when] : cases) {
    const auto parsed = ParseOptions(arguments);
    ASSERT_TRUE(parsed.options) << testing::PrintToString(arguments) << ": " << parsed.error;
    EXPECT_EQ(parsed.options->colour, when) << testing::PrintToString(arguments);
  }
}

TEST(OptionsTest, ReadsAPortList) {
  struct Case {
    Args arguments;
    std::string list;
    std::vector<std::string> names = {};  // empty: refused
    std::string error = {};
  };
  const Case cases[] = {
      {{"-p", "A"},
       "  B \r\n\n# a comment\n\t#C\nh:9100\n[::1]:1\n/dev/serial/by-path/pci-0:1.0-port0\nlast",
       {"A", "B", "h:9100", "[::1]:1", "/dev/serial/by-path/pci-0:1.0-port0", "last"}},
      {{"-p", "A"}, "B\nA\n", {}, "line 2: port named twice: A"},
      {{"--host", "h", "--tcp-port", "1"}, "h:1", {}, "line 1: port named twice: h:1"},
      {{}, "A\nh:0\n", {}, "line 2: not a TCP port from 1 to 65535: h:0"},
      {{}, "::1:9100"},
      {{}, "[::1]"},
      {{}, ":9100"},
      {{"-b", "9600"}, "h:1\n", {}, "a baud rate has no meaning over TCP"},
      {{"-b", "9600"}, "h:1\nCOM3\n", {"h:1", "COM3"}},
      {{"-b", "9600"}, "h:1\nrfc2217://h:2\n", {"h:1", "rfc2217://h:2"}},
      {{},
       "rfc2217://h:1\nsocket://h:1\n",
       {},
       "line 2: port named twice: socket://h:1 is rfc2217://h:1"},
      {{"--trace"}, "A\nB\n", {}, "--trace with several printers needs --trace-dir"},
  };
  for (const Case& c : cases) {
    Args arguments = c.arguments;
    arguments.insert(arguments.end(), {"--ports-from", "list", "f.bin"});
    auto parsed = ParseOptions(arguments);
    ASSERT_TRUE(parsed.options) << c.list << ": " << parsed.error;
    std::istringstream in(c.list);
    const std::string error = AddPortList(in, &*parsed.options);
    if (c.names.empty()) {
      EXPECT_FALSE(error.empty()) << c.list;
      EXPECT_TRUE(c.error.empty() || error == c.error) << c.list << ": " << error;
    } else {
      EXPECT_EQ(error, "") << c.list;
      EXPECT_EQ(Names(*parsed.options), c.names) << c.list;
    }
  }
}

}  // namespace
}  // namespace velmar::cli
