// A station's day on pseudo-terminals, step by step, under the sanitizers' eyes: printers
// plugged in and taken away, one that stays, one that goes mid-load, one that never answers;
// the production record and the JSON stream read by a real parser after each step. Adapters
// that come and go on the kernel's drivers are the kernel harness's rows.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/integration/test_folder.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
constexpr auto kDeadline = 60s;

std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> lines;
  std::istringstream in(text.substr(0, text.rfind('\n') + 1));
  for (std::string line; std::getline(in, line);) {
    lines.push_back(Json::parse(line, nullptr, false));
    EXPECT_TRUE(lines.back().is_object()) << "not whole: " << line;
  }
  return lines;
}

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = FreshTestFolder("velmar-station-"); }
  void TearDown() override {
    std::filesystem::remove_all(m_dir);
    ::close(m_mute);
  }

  std::string Port(const std::string& name) const { return (m_dir / ("p-" + name)).string(); }
  // A printer connected at `name`; it removes its link when it ends.
  ChildProcess& Plug(const std::string& name, std::vector<std::string> options) {
    m_printers[name].push_back(std::make_unique<ChildProcess>());
    std::vector<std::string> argv = {VELMAR_PRINTER, "--link", Port(name)};
    argv.insert(argv.end(), options.begin(), options.end());
    ChildProcess& printer = *m_printers[name].back();
    EXPECT_TRUE(printer.Start(argv));
    EXPECT_TRUE(printer.WaitForOutput("\n", kDeadline));
    return printer;
  }
  // A line with nothing on its far end: the wake-up goes unanswered.
  void Mute() {
    m_mute = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(m_mute >= 0 && ::grantpt(m_mute) == 0 && ::unlockpt(m_mute) == 0);
    std::filesystem::create_symlink(::ptsname(m_mute), Port("mute"));
  }
  std::vector<Json> Record() const {
    std::ifstream file(m_dir / "record.jsonl");
    return JsonLines(std::string(std::istreambuf_iterator<char>(file), {}));
  }
  // Waits, reading the station's stream, until `done` holds.
  bool Until(const std::function<bool()>& done) { return m_station.WaitUntil(done, kDeadline); }
  int Count(const std::string& event, const std::string& port) {
    int n = 0;
    for (const Json& e : JsonLines(m_station.Out())) {
      n += e.value("event", "") == event && e.value("port", "") == Port(port) ? 1 : 0;
    }
    return n;
  }

  std::filesystem::path m_dir;
  std::map<std::string, std::vector<std::unique_ptr<ChildProcess>>> m_printers;
  ChildProcess m_station;
  int m_mute = -1;
};

TEST_F(StationTest, LoadsEachPrinterOnceAndRecordsEveryLoad) {
  const std::string file = std::string(VELMAR_SAMPLES) + "/sample.bin";
  m_station.KeepInput();
  ASSERT_TRUE(m_station.Start({VELMAR_LOAD, "--station", "--json", "-p", Port("*"), "--record",
                               (m_dir / "record.jsonl").string(), file}));
  ASSERT_TRUE(m_station.WaitForOutput("run_start", kDeadline)) << m_station.Err();
  const size_t kNotYet = 0;
  struct Step {
    const char* what;
    std::function<void()> act;
    size_t record_lines;  // the record once the step is done
    std::function<bool()> also;
  };
  // clang-format off
  const std::vector<Step> steps = {
      {"a printer that stays", [&] { Plug("stays", {"--loads", "2"}); }, 1, {}},
      {"one on the bench", [&] { Plug("bench", {"--loads", "1"}); }, 2,
       [&] { return Count("port_gone", "bench") == 1; }},
      {"one taken away mid-load", [&] { Plug("slow", {"--baud", "9600"}); }, kNotYet,
       [&] { return Count("progress", "slow") > 1; }},
      {"", [&] { m_printers["slow"].back()->Signal(SIGTERM); }, 3, {}},
      {"a line where no printer answers", [&] { Mute(); }, kNotYet,
       [&] { return Count("port_appeared", "mute") == 1; }},
      {"next for the one that stayed", [&] { m_station.Write("next " + Port("stays") + "\n"); },
       4, [&] { return Count("rearmed", "stays") == 1; }},
  };
  // clang-format on
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_TRUE(Until([&] {
      return (step.record_lines == kNotYet || Record().size() == step.record_lines) &&
             (!step.also || step.also());
    })) << m_station.Out()
        << m_station.Err();
  }
  // The printer that stayed was woken only when the operator said so.
  EXPECT_TRUE(m_printers["stays"].back()->Wait(kDeadline));
  EXPECT_EQ(Count("printer_start", "stays"), 2);
  m_station.Signal(SIGTERM);
  ASSERT_TRUE(m_station.Wait(kDeadline));
  EXPECT_EQ(m_station.ExitStatus(), 143) << m_station.Err();

  // clang-format off
  const std::vector<std::vector<std::string>> expected = {
      {"stays", "loaded", "TEST"}, {"bench", "loaded", "TEST"},
      {"slow", "port_lost", "TEST"}, {"stays", "loaded", "TEST"},
  };
  // clang-format on
  const std::vector<Json> record = Record();
  ASSERT_EQ(record.size(), expected.size()) << m_station.Out();
  for (size_t i = 0; i < record.size(); ++i) {
    EXPECT_EQ(record[i]["port"], Port(expected[i][0])) << record[i];
    EXPECT_EQ(record[i]["key"], expected[i][1]) << record[i];
    EXPECT_EQ(record[i]["model"], expected[i][2]) << record[i];
    EXPECT_EQ(record[i]["sha256"], JsonLines(m_station.Out()).front()["sha256"]);
  }
  // The silent printer's slot was stopped while it waited: no end, nothing counted.
  EXPECT_EQ(Count("printer_start", "mute"), 0);
  const Json end = JsonLines(m_station.Out()).back();
  EXPECT_EQ(end["event"], "run_end");
  EXPECT_EQ(end["loaded"], 3);
  EXPECT_EQ(end["failed"], 1);
}

}  // namespace
}  // namespace velmar::test
