// The loader against Debian's ser2net in front of emulated printers. Each row is one setup of
// printers behind one ser2net and one run of velmar-load: what a printer calls loaded is held
// byte for byte against the file, and a failure against its exit status and text.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/crc16.h"
#include "tests/integration/child_process.h"
#include "tests/integration/fault_cases.h"
#include "tests/integration/sample_image.h"
#include "tests/integration/test_folder.h"
#include "tests/ser2net/ser2net_server.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kStartDeadline = 20s;
constexpr auto kLoadDeadline = 60s;
constexpr auto kLossNoticed = 1.5s;  // well inside the 2 s reply time-out
constexpr const char* kCannotOpen = "Не удалось открыть порт.";

enum class Program {
  kSmall,   // 2 KiB of the samples' pattern, for the slow rows
  kSample,  // the build's sample, 12 KiB
  kAllFf,   // 4 KiB whose data bytes are all 0xFF, as are some address bytes
};

// One printer behind ser2net.
struct Line {
  Accepter accepter;
  int32_t configured;  // what ser2net sets on the device when it opens it
  int32_t rate;        // what the printer's line runs at, and the tool's side must be set to
};

struct Row {
  const char* name;
  std::vector<Line> lines;
  int32_t baud;  // the loader's -b; 0 leaves it out
  Program program;
  int32_t kill_at_block = 0;  // ser2net gets SIGKILL at the first printer's mark of it
  int exit_status = 0;
  const char* text = nullptr;  // standard error holds it
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

// name, printers {accepter, ser2net's rate, line rate}, -b, program, kill at block, exit, text
const std::vector<Row>& Rows() {
  constexpr auto kRaw = Accepter::kRaw;
  constexpr auto kRfc = Accepter::kRfc2217;
  // clang-format off
  static const std::vector<Row> rows = {
      {"RawAt9600", {{kRaw, 9600, 9600}}, 0, Program::kSmall},
      {"RawAt115200", {{kRaw, 115200, 115200}}, 0, Program::kSample},
      // ser2net opens the device at another rate: only the loader's request brings it right.
      {"Rfc2217At9600", {{kRfc, 115200, 9600}}, 9600, Program::kSmall},
      {"Rfc2217At115200", {{kRfc, 9600, 115200}}, 115200, Program::kSample},
      // Every 0xFF doubled on the way in and undoubled from the echo on the way out.
      {"Rfc2217AllFf", {{kRfc, 19200, 115200}}, 115200, Program::kAllFf},
      // A telnet server without the serial port's control: nothing may reach the printer.
      {"PlainTelnetRefused", {{Accepter::kTelnet, 115200, 115200}}, 115200, Program::kSample, 0,
       5, kCannotOpen},
      {"Ser2netKilledMidLoad", {{kRfc, 9600, 115200}}, 115200, Program::kSample, 3, 21,
       kPortLostText},
      {"FourPrintersRawAndRfc2217",
       {{kRaw, 115200, 115200}, {kRfc, 9600, 115200}, {kRaw, 115200, 115200},
        {kRfc, 57600, 115200}},
       115200, Program::kSample},
  };
  // clang-format on
  return rows;
}

// A program for model TEST in the data file's layout, every data byte 0xFF.
std::vector<uint8_t> AllFfProgram() {
  constexpr size_t kBlocks = 16;
  constexpr uint32_t kFirst = 0x01F000;  // the last block's address is 0x01FF00
  constexpr size_t kRecord = 8 + 256;
  std::vector<uint8_t> file = {'M', 'y', 'B', 'I', 'N', 'T', 'E', 'S', 'T', 0};
  const size_t total = kBlocks * (kRecord + 1);
  file.insert(file.end(), {static_cast<uint8_t>(total >> 8), static_cast<uint8_t>(total)});
  const std::vector<uint8_t> data(256, 0xFF);
  const uint16_t crc = engine::Crc16(data.data(), static_cast<int32_t>(data.size()));
  for (size_t i = 0; i < kBlocks; ++i) {
    const uint32_t address = kFirst + static_cast<uint32_t>(i) * 256;
    file.insert(file.end(), {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address >> 16), 0x00, 0x01,
                             static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), 0});
    file.insert(file.end(), data.begin(), data.end());
  }
  return file;
}

std::string PortUrl(Accepter accepter, uint16_t port) {
  return std::string(accepter == Accepter::kRaw ? "socket://" : "rfc2217://") +
         "127.0.0.1:" + std::to_string(port);
}

bool HasLineStarting(const std::string& text, const std::string& start) {
  for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
    if (at == 0 || text[at - 1] == '\n') {
      return true;
    }
  }
  return false;
}

class Ser2netTest : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override { m_dir = FreshTestFolder("velmar-ser2net-"); }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  std::string MakeProgram(Program program) {
    if (program == Program::kSample) {
      return std::string(VELMAR_SAMPLES) + "/sample.bin";
    }
    if (program == Program::kAllFf) {
      const std::string path = (m_dir / "all-ff.bin").string();
      const std::vector<uint8_t> bytes = AllFfProgram();
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
      return path;
    }
    ChildProcess make;
    EXPECT_TRUE(make.Start({VELMAR_MAKE_SAMPLES, m_dir.string(), "2048", "1"}));
    EXPECT_TRUE(make.Wait(kStartDeadline));
    return (m_dir / "sample.bin").string();
  }

  std::filesystem::path m_dir;
};

TEST_P(Ser2netTest, LoadsThroughTheDeviceServer) {
  const Row& row = GetParam();
  if (Ser2netServer::Program().empty()) {
    GTEST_SKIP() << "ser2net is not installed (Debian: apt-get install ser2net)";
  }
  const std::string file = MakeProgram(row.program);
  std::vector<std::unique_ptr<ChildProcess>> printers;
  std::vector<Ser2netConnection> connections;
  for (size_t i = 0; i < row.lines.size(); ++i) {
    const Line& line = row.lines[i];
    const std::string n = std::to_string(i);
    const std::string link = (m_dir / ("printer" + n)).string();
    printers.push_back(std::make_unique<ChildProcess>());
    ASSERT_TRUE(printers.back()->Start(
        {VELMAR_PRINTER, "--link", link, "--baud", std::to_string(line.rate), "--tool-rate",
         std::to_string(line.rate), "--image", (m_dir / ("image" + n + ".hex")).string(), "--loads",
         "1", "--marks"}));
    ASSERT_TRUE(printers.back()->WaitForOutput(link + "\n", kStartDeadline))
        << printers.back()->Err();
    connections.push_back({line.accepter, link, line.configured, {}, false, line.rate});
  }
  Ser2netServer server;
  ASSERT_TRUE(server.Start(m_dir, connections, kStartDeadline)) << server.Error();

  std::vector<std::string> argv = {VELMAR_LOAD};
  if (row.baud > 0) {
    argv.insert(argv.end(), {"-b", std::to_string(row.baud)});
  }
  for (size_t i = 0; i < row.lines.size(); ++i) {
    argv.insert(argv.end(), {"-p", PortUrl(row.lines[i].accepter, server.Port(i))});
  }
  argv.push_back(file);
  ChildProcess loader;
  ASSERT_TRUE(loader.Start(argv));
  auto killed_at = std::chrono::steady_clock::time_point::max();
  if (row.kill_at_block > 0) {
    const std::string mark = "block " + std::to_string(row.kill_at_block) + " of load 1\n";
    ASSERT_TRUE(printers[0]->WaitForOutput(mark, kLoadDeadline)) << loader.Err();
    server.Kill();
    killed_at = std::chrono::steady_clock::now();
  }
  ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  if (row.kill_at_block > 0) {
    EXPECT_LT(std::chrono::steady_clock::now() - killed_at, kLossNoticed) << "ended by a time-out";
  }
  const std::string& err = loader.Err();
  EXPECT_EQ(loader.ExitStatus(), row.exit_status) << loader.Out() << err << server.Log();
  if (row.text != nullptr) {
    EXPECT_NE(err.find(row.text), std::string::npos) << err;
  }
  if (row.exit_status == 5) {
    // The reason is a line of its own that names the port as it was written.
    EXPECT_TRUE(HasLineStarting(err, PortUrl(row.lines[0].accepter, server.Port(0)) + ":")) << err;
  }

  for (size_t i = 0; i < printers.size(); ++i) {
    ChildProcess& printer = *printers[i];
    if (row.exit_status != 0) {
      printer.Signal(SIGTERM);
    }
    ASSERT_TRUE(printer.Wait(kLoadDeadline)) << i << ": " << printer.Out() << printer.Err();
    // Also where nothing was loaded, nothing arrived at a wrong rate.
    EXPECT_EQ(printer.Err(), "") << i;
    if (row.exit_status == 0) {
      EXPECT_EQ(printer.ExitStatus(), 0) << printer.Out();
      Image image;
      ASSERT_TRUE(ReadIntelHex((m_dir / ("image" + std::to_string(i) + ".hex")).string(), &image))
          << i;
      EXPECT_EQ(image, ProgramImage(ReadBytes(file))) << i;
    } else if (row.kill_at_block > 0) {
      EXPECT_NE(printer.Out().find(", incomplete"), std::string::npos) << printer.Out();
    } else {
      EXPECT_EQ(printer.Out().find("load 1: "), std::string::npos) << printer.Out();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, Ser2netTest, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmar::test
