// Every fault the emulated printer can commit, in every reply it can spoil, at the first, a
// middle and the last block of a program and of a font, over a pseudo-terminal and over TCP:
// each load must end with that fault's own exit status and text, soon after the fault, never as
// a success, and the printer's report must show the load cut short where the fault fell. Then
// hang-ups at random blocks of a longer program, each ended at once as a lost port, without
// spinning.
//
// The printer runs unpaced, so every fault falls within milliseconds of the loader's start and
// the loader's whole run bounds the time it took to end after the fault. A summary of the
// figures is printed at the end, and each case's figures go to VELMAR_FAULT_REPORT when set.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/integration/fault_cases.h"
#include "tests/integration/sample_image.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kStartDeadline = 20s;
constexpr auto kLoadDeadline = 60s;  // only a loader that hangs gets near it
// Seconds from the loader's start to its end: a fault it sees, one it must wait out, and a line
// that goes, which must end the load well before the reply time-out would.
constexpr double kSeenBound = 3.0;
constexpr double kTimedOutBound = 5.0;
constexpr double kLostBound = 1.5;
constexpr double kCpuBound = 0.2;  // seconds of the loader's CPU time per load
constexpr int kTimeoutStatus = 10;
constexpr int kPortLostStatus = 21;
constexpr int kPrinterFailedStatus = 1;  // the printer saw a load that was not complete
constexpr size_t kBlockBytes = 256;
constexpr int kRandomHangUps = 20;
constexpr const char* kLongProgramBytes = "32768";  // 128 blocks
constexpr const char* kNoFontBytes = "0";
constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kFontModel = "FNT1";
constexpr const char* kSeedVariable = "VELMAR_FAULT_SEED";
constexpr const char* kReportVariable = "VELMAR_FAULT_REPORT";
constexpr const char* kSuccessTexts[] = {"Программа успешно загружена в принтер.",
                                         "Шрифт успешно загружен в принтер."};

enum class Line { kPty, kTcp };
enum class Place { kFirst, kMiddle, kLast };

std::string Sample(const char* name) {
  return std::string(VELMAR_SAMPLES) + "/" + name;
}

// The sample files fill every block but the last, and a font goes to address 0.
int32_t BlockCount(const std::string& path, bool font) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  const size_t data = font ? FontImage(bytes, 0).size() : ProgramImage(bytes).size();
  return static_cast<int32_t>((data + kBlockBytes - 1) / kBlockBytes);
}

// "status-error" and "CA" become "StatusError" and "Ca", for case names.
std::string Camel(const std::string& name) {
  std::string out;
  bool start = true;
  for (char c : name) {
    if (c == '-') {
      start = true;
      continue;
    }
    out += static_cast<char>(start ? std::toupper(static_cast<unsigned char>(c))
                                   : std::tolower(static_cast<unsigned char>(c)));
    start = false;
  }
  return out;
}

// ---- The figures of every load, and the summary made of them.

struct Record {
  std::string name;
  std::string kind;
  int exit_status;
  double elapsed;
  double cpu;
  bool random_hang_up;
};

class FaultReport : public ::testing::Environment {
 public:
  void Add(const Record& r) {
    m_records.push_back(r);
    if (const char* path = std::getenv(kReportVariable)) {
      // One write a line, so that cases run side by side do not tear each other's lines.
      char line[256];
      std::snprintf(line, sizeof line, "%s\t%s\texit %d\t%.3f s\tcpu %.3f s\n", r.name.c_str(),
                    r.kind.c_str(), r.exit_status, r.elapsed, r.cpu);
      std::ofstream(path, std::ios::app) << line;
    }
  }

  void SetSeed(uint32_t seed) { m_seed = seed; }

  void TearDown() override {
    if (m_records.empty()) {
      return;
    }
    const std::string summary = Summary();
    std::fputs(summary.c_str(), stdout);
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    const char* path = std::getenv(kReportVariable);
    // A run of one case (as CTest makes them) leaves only its line in the file.
    if (path != nullptr && unit.test_to_run_count() == unit.total_test_count()) {
      std::ofstream(path, std::ios::app) << summary;
    }
  }

 private:
  std::string Summary() const {
    int cases = 0;
    std::map<std::string, const Record*> slowest;
    std::vector<double> hang_up_cpu;
    for (const Record& r : m_records) {
      cases += r.random_hang_up ? 0 : 1;
      const Record*& worst = slowest[r.kind];
      worst = worst == nullptr || r.elapsed > worst->elapsed ? &r : worst;
      if (r.random_hang_up) {
        hang_up_cpu.push_back(r.cpu);
      }
    }
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(3);
    out << "fault matrix: " << cases << " cases\n"
        << "slowest ending per fault kind, from the loader's start:\n";
    for (const auto& [kind, r] : slowest) {
      out << "  " << kind << std::string(14 - std::min<size_t>(kind.size(), 13), ' ') << r->elapsed
          << " s  " << r->name << "\n";
    }
    if (!hang_up_cpu.empty()) {
      const double sum = std::accumulate(hang_up_cpu.begin(), hang_up_cpu.end(), 0.0);
      out << "hang-ups at " << hang_up_cpu.size() << " random blocks (seed " << m_seed
          << "): loader CPU per load max "
          << *std::max_element(hang_up_cpu.begin(), hang_up_cpu.end()) << " s, mean "
          << sum / static_cast<double>(hang_up_cpu.size()) << " s\n";
    }
    return out.str();
  }

  std::vector<Record> m_records;
  uint32_t m_seed = 0;
};

FaultReport* const g_report =
    static_cast<FaultReport*>(::testing::AddGlobalTestEnvironment(new FaultReport));

// ---- One load against a printer told to commit one fault.

struct Expectation {
  std::string name;
  std::string kind;
  Line line = Line::kPty;
  std::string file;
  std::vector<std::string> printer_options;
  int exit_status = 0;
  const char* text = "";
  std::string reason;  // why the printer's report says the load ended
  int32_t accepted = 0;
  bool random_hang_up = false;
};

class FaultMatrixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A parameterised test's name holds a '/', which would leave its parent folder behind.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-faults-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // Starts the printer; the loader's arguments that lead to it, or nothing when it did not start.
  std::optional<std::vector<std::string>> StartPrinter(ChildProcess& printer, Line line,
                                                       const std::vector<std::string>& options) {
    std::vector<std::string> argv = {VELMAR_PRINTER};
    const std::string link = (m_dir / "printer").string();
    if (line == Line::kPty) {
      argv.insert(argv.end(), {"--link", link});
    } else {
      argv.insert(argv.end(), {"--tcp", std::string(kLoopback) + ":0"});
    }
    argv.insert(argv.end(), options.begin(), options.end());
    // Its first line is the link, or the address it listens on.
    if (!printer.Start(argv) || !printer.WaitForOutput("\n", kStartDeadline)) {
      ADD_FAILURE() << "the printer did not start: " << printer.Err();
      return std::nullopt;
    }
    const std::string first = printer.Out().substr(0, printer.Out().find('\n'));
    if (line == Line::kPty && first == link) {
      return std::vector<std::string>{"-p", link};
    }
    if (line == Line::kTcp && first.rfind(std::string(kLoopback) + ":", 0) == 0) {
      return std::vector<std::string>{"--host", kLoopback, "--tcp-port",
                                      first.substr(first.rfind(':') + 1)};
    }
    ADD_FAILURE() << "the printer's first line: " << first;
    return std::nullopt;
  }

  void LoadAndCheck(const Expectation& e) {
    ChildProcess printer;
    const auto to_printer = StartPrinter(printer, e.line, e.printer_options);
    if (!to_printer) {
      return;
    }
    std::vector<std::string> argv = {VELMAR_LOAD};
    argv.insert(argv.end(), to_printer->begin(), to_printer->end());
    argv.push_back(e.file);
    ChildProcess loader;
    ASSERT_TRUE(loader.Start(argv));
    ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
    g_report->Add({e.name, e.kind, loader.ExitStatus(), loader.ElapsedSeconds(),
                   loader.CpuSeconds(), e.random_hang_up});

    EXPECT_NE(loader.ExitStatus(), 0) << loader.Out();
    EXPECT_EQ(loader.ExitStatus(), e.exit_status) << loader.Out() << loader.Err();
    EXPECT_NE(loader.Err().find(e.text), std::string::npos) << loader.Err();
    for (const char* success : kSuccessTexts) {
      EXPECT_EQ(loader.Out().find(success), std::string::npos) << loader.Out();
    }
    const double bound = e.exit_status == kTimeoutStatus    ? kTimedOutBound
                         : e.exit_status == kPortLostStatus ? kLostBound
                                                            : kSeenBound;
    EXPECT_LT(loader.ElapsedSeconds(), bound);
    EXPECT_LT(loader.CpuSeconds(), kCpuBound);

    // A hang-up ends the printer by itself (the loader may be done before it is); otherwise it
    // serves on until told to stop.
    if (e.kind != "hangup") {
      printer.Signal(SIGTERM);
    }
    ASSERT_TRUE(printer.Wait(kLoadDeadline));
    EXPECT_EQ(printer.ExitStatus(), kPrinterFailedStatus) << printer.Out() << printer.Err();
    std::vector<std::string> reports;
    std::istringstream lines(printer.Out());
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("load ", 0) == 0) {
        reports.push_back(line);
      }
    }
    ASSERT_EQ(reports.size(), 1u) << printer.Out();
    const std::string& report = reports.front();
    EXPECT_NE(report.find(", incomplete: " + e.reason), std::string::npos) << report;
    EXPECT_NE(report.find(", " + std::to_string(e.accepted) + " blocks, "), std::string::npos)
        << report;
  }

  std::filesystem::path m_dir;
};

// ---- The matrix.

struct MatrixCase {
  std::string name;
  Line line;
  bool font;
  std::string kind;
  std::string reply;
  Place place;
  int exit_status;
  const char* text;
};

void PrintTo(const MatrixCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<MatrixCase> MatrixCases() {
  const struct {
    Line line;
    const char* name;
  } lines[] = {{Line::kPty, "Pty"}, {Line::kTcp, "Tcp"}};
  const struct {
    Place place;
    const char* name;
  } places[] = {{Place::kFirst, "First"}, {Place::kMiddle, "Middle"}, {Place::kLast, "Last"}};
  std::vector<MatrixCase> cases;
  for (const auto& line : lines) {
    for (bool font : {false, true}) {
      for (const FaultKindCase& kind : FaultKinds()) {
        for (const std::string& reply : kind.replies) {
          std::string name = std::string(line.name) + (font ? "Font" : "Program") +
                             Camel(kind.kind) +
                             (kind.replies.size() > 1 ? "In" + Camel(reply) : "");
          MatrixCase c{name,          line.line,        font,     kind.kind, reply,
                       Place::kFirst, kind.exit_status, kind.text};
          if (reply == "ident") {
            // The identification comes once a load, whatever the block.
            cases.push_back(c);
            continue;
          }
          for (const auto& place : places) {
            c.name = name + "At" + place.name;
            c.place = place.place;
            // The first "A" reply of a font says where the font goes, so no address can be wrong
            // there; the printer, having ended the load, answers nothing more.
            const bool unseen =
                font && kind.kind == std::string("bad-address") && place.place == Place::kFirst;
            c.exit_status = unseen ? kTimeoutStatus : kind.exit_status;
            c.text = unseen ? kTimeoutText : kind.text;
            cases.push_back(c);
          }
        }
      }
    }
  }
  return cases;
}

class FaultAtEveryPlace : public FaultMatrixTest,
                          public ::testing::WithParamInterface<MatrixCase> {};

TEST_P(FaultAtEveryPlace, EndsTheLoadWithItsOwnStatusInTime) {
  const MatrixCase& c = GetParam();
  Expectation e;
  e.name = c.name;
  e.kind = c.kind;
  e.line = c.line;
  e.file = Sample(c.font ? "sample.fnt" : "sample.bin");
  const int32_t blocks = BlockCount(e.file, c.font);
  ASSERT_GE(blocks, 3) << "first, middle and last must differ";
  // The last block's "w" ends the load unanswered: the last "SM" reply is the block before's.
  const int32_t last = c.reply == "SM" ? blocks - 1 : blocks;
  const int32_t block = c.place == Place::kFirst    ? 1
                        : c.place == Place::kMiddle ? blocks / 2
                                                    : last;
  e.printer_options = {"--fault", c.kind,          "--fault-reply",
                       c.reply,   "--fault-block", std::to_string(block)};
  if (c.font) {
    e.printer_options.insert(e.printer_options.end(), {"--model", kFontModel});
  }
  e.exit_status = c.exit_status;
  e.text = c.text;
  const std::string at = std::to_string(block);
  if (c.reply == "ident") {
    e.reason = c.kind + " in the ident reply";
    e.accepted = 0;
  } else if (c.kind == "silent") {
    e.reason = "silent from block " + at;
  } else if (c.kind == "hangup") {
    e.reason = "hung up at block " + at;
  } else {
    e.reason = c.kind + " in the " + c.reply + " reply of block " + at;
  }
  e.reason += ", as told";
  if (c.reply != "ident") {
    // The fault spoils its block before the block is stored, except in the reply after.
    e.accepted = c.reply == "SM" ? block : block - 1;
  }
  LoadAndCheck(e);
}

INSTANTIATE_TEST_SUITE_P(Matrix, FaultAtEveryPlace, ::testing::ValuesIn(MatrixCases()),
                         [](const auto& info) { return info.param.name; });

// ---- Hang-ups at random blocks.

uint32_t Seed() {
  if (const char* given = std::getenv(kSeedVariable)) {
    return static_cast<uint32_t>(std::strtoul(given, nullptr, 0));
  }
  return std::random_device{}();
}

TEST_F(FaultMatrixTest, HangUpsAtRandomBlocksEndAtOnceWithoutSpinning) {
  ChildProcess maker;
  ASSERT_TRUE(maker.Start({VELMAR_MAKE_SAMPLES, m_dir.string(), kLongProgramBytes, kNoFontBytes}));
  ASSERT_TRUE(maker.Wait(kLoadDeadline));
  ASSERT_EQ(maker.ExitStatus(), 0) << maker.Err();
  const std::string program = (m_dir / "sample.bin").string();
  const int32_t blocks = BlockCount(program, false);
  ASSERT_GE(blocks, kRandomHangUps);

  const uint32_t seed = Seed();
  g_report->SetSeed(seed);
  RecordProperty("seed", std::to_string(seed));
  std::printf("hang-ups at random blocks: seed %u (%s=%u repeats them)\n", seed, kSeedVariable,
              seed);
  std::vector<int32_t> order(static_cast<size_t>(blocks));
  std::iota(order.begin(), order.end(), 1);
  std::mt19937 random(seed);
  std::shuffle(order.begin(), order.end(), random);

  for (int i = 0; i < kRandomHangUps; ++i) {
    const std::string at = std::to_string(order[static_cast<size_t>(i)]);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", hang-up at block " + at);
    Expectation e;
    e.name = "RandomHangUpAt" + at;
    e.kind = "hangup";
    e.file = program;
    e.printer_options = {"--fault", "hangup", "--fault-block", at};
    e.exit_status = kPortLostStatus;
    e.text = kPortLostText;
    e.reason = "hung up at block " + at + ", as told";
    e.accepted = order[static_cast<size_t>(i)] - 1;
    e.random_hang_up = true;
    LoadAndCheck(e);
  }
}

// ---- The matrix against what the emulator takes.

// The emulator refuses a fault in a reply that cannot carry it before it opens any line, and
// fails on a link it cannot make: 2 and 1 tell the two apart without serving anything.
TEST_F(FaultMatrixTest, HoldsEveryKindAndReplyTheEmulatorTakes) {
  constexpr int kAccepted = 1;
  constexpr int kRefused = 2;
  const std::string nowhere = (m_dir / "missing" / "printer").string();
  const std::vector<std::string> all_replies = {"ident", "CA", "A", "D", "echo", "SM"};
  std::set<std::string> kinds;
  for (const FaultKindCase& kind : FaultKinds()) {
    kinds.insert(kind.kind);
    for (const std::string& reply : all_replies) {
      ChildProcess printer;
      ASSERT_TRUE(printer.Start(
          {VELMAR_PRINTER, "--link", nowhere, "--fault", kind.kind, "--fault-reply", reply}));
      ASSERT_TRUE(printer.Wait(kStartDeadline));
      const bool listed =
          std::find(kind.replies.begin(), kind.replies.end(), reply) != kind.replies.end();
      EXPECT_EQ(printer.ExitStatus(), listed ? kAccepted : kRefused)
          << kind.kind << " in " << reply << ": " << printer.Err();
    }
  }
  // The kinds its help names, from "--fault KIND" to the ';' that ends the list.
  ChildProcess help;
  ASSERT_TRUE(help.Start({VELMAR_PRINTER, "--help"}));
  ASSERT_TRUE(help.Wait(kStartDeadline));
  const std::string& text = help.Out();
  const std::string option = "--fault KIND";
  const size_t begin = text.find(option);
  ASSERT_NE(begin, std::string::npos) << text;
  std::string list =
      text.substr(begin + option.size(), text.find(';', begin) - begin - option.size());
  std::replace(list.begin(), list.end(), ',', ' ');
  std::istringstream words(list);
  std::set<std::string> named;
  for (std::string word; words >> word;) {
    if (word != "or") {
      named.insert(word);
    }
  }
  EXPECT_EQ(named, kinds);
}

}  // namespace
}  // namespace velmar::test
