// Several emulated printers loaded by one velmar-load run, over pseudo-terminals and TCP: each
// ends with its own result in the JSON stream, whatever the others do, and what it calls loaded
// arrived byte for byte. The stream is read by a real JSON parser and checked event by event.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/integration/fault_cases.h"
#include "tests/integration/sample_image.h"
#include "tests/integration/test_folder.h"

namespace velmar::test {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
constexpr auto kStartDeadline = 20s;
constexpr auto kLoadDeadline = 120s;  // several loads, and three time-outs in a row
constexpr int kExitSomeFailed = 6;
constexpr int kExitInterrupted = 130;

// The keys of the failures the rows make, by the status one printer would end with.
const std::map<int, std::string> kKeyOfStatus = {{0, "loaded"},
                                                 {10, "timeout"},
                                                 {12, "model_mismatch"},
                                                 {21, "port_lost"},
                                                 {130, "interrupted"}};

// The complete lines of the stream so far, each one JSON object.
std::vector<Json> Events(const std::string& out) {
  std::vector<Json> events;
  std::istringstream lines(out.substr(0, out.rfind('\n') + 1));
  for (std::string line; std::getline(lines, line);) {
    Json event = Json::parse(line, nullptr, false);
    EXPECT_TRUE(event.is_object()) << "not a JSON object: " << line;
    if (event.is_object()) {
      events.push_back(std::move(event));
    }
  }
  return events;
}

// A run's stream as each printer saw it, after checking the run's order: run_start first, run_end
// last, and per printer printer_start, then identified, progress and retry events, then
// printer_end.
std::map<std::string, std::vector<Json>> ByPrinter(const std::vector<Json>& events,
                                                   const std::string& file, size_t printers) {
  std::map<std::string, std::vector<Json>> by_printer;
  for (size_t i = 0; i < events.size(); ++i) {
    const Json& e = events[i];
    // Each event's keys and types are the JSON output's own tests'; here, the run's order.
    EXPECT_EQ(e.value("v", 0), 1) << e;
    const std::string name = e.value("event", "");
    EXPECT_EQ(name == "run_start", i == 0) << e;
    EXPECT_EQ(name == "run_end", i + 1 == events.size()) << e;
    if (e.contains("port") && e["port"].is_string()) {
      by_printer[e["port"].get<std::string>()].push_back(e);
    }
  }
  if (events.empty() || events.front().value("event", "") != "run_start") {
    ADD_FAILURE() << "no run_start";
    return by_printer;
  }
  const Json& start = events.front();
  EXPECT_EQ(start.value("file", ""), file);
  EXPECT_EQ(start.value("kind", ""), "program");
  EXPECT_EQ(start.value("model", ""), "TEST");
  EXPECT_EQ(start.value("size", 0), static_cast<int>(std::filesystem::file_size(file)));
  EXPECT_EQ(start.value("printers", 0), static_cast<int>(printers));
  ChildProcess sum;
  if (sum.Start({"/usr/bin/sha256sum", file}) && sum.Wait(kStartDeadline)) {
    EXPECT_EQ(start.value("sha256", ""), sum.Out().substr(0, 64));
  }
  EXPECT_EQ(by_printer.size(), printers);
  for (const auto& [port, list] : by_printer) {
    int attempt = 1;
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string name = list[i].value("event", "");
      EXPECT_EQ(name == "printer_start", i == 0) << port << ": " << list[i];
      EXPECT_EQ(name == "printer_end", i + 1 == list.size()) << port << ": " << list[i];
      if (name == "retry") {
        EXPECT_EQ(list[i].value("attempt", 0), ++attempt) << port;
      } else if (name == "progress") {
        EXPECT_LE(list[i].value("bytes", 0), list[i].value("total", -1)) << list[i];
      }
    }
    EXPECT_EQ(list.back().value("attempts", 0), attempt) << port;
  }
  return by_printer;
}

// How one printer of a row ends: the status one printer would give (-1: the noise decides),
// and the retries it takes on the way.
struct PrinterRow {
  bool tcp;
  const char* fault;  // a PrinterFaults() case; null for a good printer
  std::vector<std::string> extra;
  int status;
  int retries;
};

struct Scenario {
  const char* name;
  std::vector<std::string> loader_options;
  std::vector<PrinterRow> printers;
  int exit_status;
};

void PrintTo(const Scenario& s, std::ostream* os) {
  *os << s.name;
}

const FaultCase& Fault(const std::string& name) {
  static const std::vector<FaultCase> faults = PrinterFaults();
  for (const FaultCase& c : faults) {
    if (c.name == name) {
      return c;
    }
  }
  static const FaultCase none{"", {}, 0, ""};
  ADD_FAILURE() << "no fault case " << name;
  return none;
}

std::vector<Scenario> Scenarios() {
  const std::vector<std::string> noisy = {"--noise", "0.001", "--noise-seed", "4242"};
  return {
      {"GoodHungUpAndWrongModel",
       {},
       {{false, nullptr, {}, 0, 0},
        {true, nullptr, {}, 0, 0},
        {false, "HangUp", {}, 21, 0},
        {true, "OtherModel", {}, 12, 0}},
       kExitSomeFailed},
      {"SilentAndNoisyBesideGood",
       {},
       {{false, nullptr, {}, 0, 0},
        {false, "Silent", {}, 10, 0},
        {true, nullptr, noisy, -1, 0},
        {true, nullptr, {}, 0, 0}},
       kExitSomeFailed},
      // A time-out is tried again exactly as often as asked; a printer of another model never.
      {"RetriesCountedAndBounded",
       {"--retries", "2"},
       {{false, "Silent", {}, 10, 2}, {true, "OtherModel", {}, 12, 0}, {false, nullptr, {}, 0, 0}},
       kExitSomeFailed},
  };
}

struct Printer {
  ChildProcess process;
  std::string link;
  std::string image;
  std::string name;                 // as the loader names it
  std::vector<std::string> target;  // the loader's arguments for it
};

class MultiLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = FreshTestFolder("velmar-multi-"); }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // A printer's place: a link in the test's folder, named before the printer starts.
  Printer& AddPrinter() {
    auto printer = std::make_unique<Printer>();
    const std::string number = std::to_string(m_printers.size());
    printer->link = (m_dir / ("printer" + number)).string();
    printer->image = (m_dir / ("image" + number + ".hex")).string();
    printer->name = printer->link;
    printer->target = {"-p", printer->link};
    m_printers.push_back(std::move(printer));
    return *m_printers.back();
  }

  void StartPrinter(Printer& p, bool tcp, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {VELMAR_PRINTER, "--image", p.image};
    argv.insert(argv.end(), {tcp ? "--tcp" : "--link", tcp ? ":0" : p.link});
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_TRUE(p.process.Start(argv));
    ASSERT_TRUE(p.process.WaitForOutput("\n", kStartDeadline)) << p.process.Err();
    if (tcp) {
      p.name = p.process.Out().substr(0, p.process.Out().find('\n'));
      const size_t colon = p.name.rfind(':');
      p.target = {"--host", p.name.substr(0, colon), "--tcp-port", p.name.substr(colon + 1)};
    }
  }

  std::vector<std::string> LoaderArgv(const std::vector<std::string>& options) const {
    std::vector<std::string> argv = {VELMAR_LOAD, "--json"};
    argv.insert(argv.end(), options.begin(), options.end());
    for (const auto& p : m_printers) {
      argv.insert(argv.end(), p->target.begin(), p->target.end());
    }
    argv.push_back(kFile);
    return argv;
  }

  // A printer the loader called loaded holds the file byte for byte.
  void ExpectImage(Printer& p) {
    EXPECT_TRUE(p.process.WaitForOutput(", complete", kStartDeadline)) << p.process.Out();
    p.process.Signal(SIGTERM);
    ASSERT_TRUE(p.process.Wait(kLoadDeadline));
    Image image;
    ASSERT_TRUE(ReadIntelHex(p.image, &image)) << p.name;
    EXPECT_EQ(image, ProgramImage(ReadBytes(kFile))) << p.name;
  }

  const std::string kFile = std::string(VELMAR_SAMPLES) + "/sample.bin";
  std::filesystem::path m_dir;
  std::vector<std::unique_ptr<Printer>> m_printers;
};

class ScenarioTest : public MultiLoadTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(ScenarioTest, EveryPrinterEndsWithItsOwnResult) {
  const Scenario& s = GetParam();
  for (const PrinterRow& row : s.printers) {
    std::vector<std::string> options =
        row.fault ? Fault(row.fault).printer_options : std::vector<std::string>{};
    options.insert(options.end(), row.extra.begin(), row.extra.end());
    StartPrinter(AddPrinter(), row.tcp, options);
  }
  ChildProcess loader;
  const std::string record = (m_dir / "record.jsonl").string();
  std::vector<std::string> options = s.loader_options;
  options.insert(options.end(), {"--record", record});
  ASSERT_TRUE(loader.Start(LoaderArgv(options)));
  ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  EXPECT_EQ(loader.ExitStatus(), s.exit_status) << loader.Err();
  const std::vector<Json> events = Events(loader.Out());
  auto by_printer = ByPrinter(events, kFile, s.printers.size());
  // The record holds each printer's end as the stream told it, with the file it got.
  std::ifstream record_file(record);
  const std::string record_text((std::istreambuf_iterator<char>(record_file)), {});
  const std::vector<Json> lines = Events(record_text);
  EXPECT_EQ(lines.size(), s.printers.size()) << record_text;
  for (const Json& line : lines) {
    const auto& list = by_printer[line.value("port", "")];
    ASSERT_FALSE(list.empty()) << line;
    for (const char* key : {"result", "key", "status", "text", "attempts"}) {
      EXPECT_EQ(line[key], list.back()[key]) << key << ": " << line;
    }
    EXPECT_EQ(line["sha256"], events.front()["sha256"]);
    EXPECT_EQ(line["size"], events.front()["size"]);
    if (line["result"] == "loaded") {
      EXPECT_EQ(line["model"], "TEST") << line;
    }
    EXPECT_FALSE(line.value("host", "").empty()) << line;
  }
  int loaded = 0;
  for (size_t i = 0; i < s.printers.size(); ++i) {
    const PrinterRow& row = s.printers[i];
    Printer& p = *m_printers[i];
    const std::vector<Json>& list = by_printer[p.name];
    ASSERT_FALSE(list.empty()) << p.name;
    const Json& end = list.back();
    const int status = end.value("status", -1);
    const bool ok = status == 0;
    loaded += ok ? 1 : 0;
    EXPECT_EQ(end.value("result", ""), ok ? "loaded" : "failed") << end;
    if (row.status >= 0) {
      EXPECT_EQ(status, row.status) << end;
      EXPECT_EQ(end.value("key", ""), kKeyOfStatus.at(row.status)) << end;
    }
    if (row.fault != nullptr) {
      EXPECT_NE(end.value("text", "").find(Fault(row.fault).text), std::string::npos) << end;
    }
    int retries = 0;
    for (const Json& e : list) {
      if (e.value("event", "") == "retry") {
        ++retries;
        EXPECT_EQ(e.value("reason", ""), end.value("key", "")) << e;
      }
    }
    EXPECT_EQ(retries, row.retries) << p.name;
    if (ok) {
      ExpectImage(p);
    }
  }
  ASSERT_FALSE(events.empty());
  const Json& run_end = events.back();
  EXPECT_EQ(run_end.value("printers", 0), static_cast<int>(s.printers.size()));
  EXPECT_EQ(run_end.value("loaded", -1), loaded);
  EXPECT_EQ(run_end.value("failed", -1), static_cast<int>(s.printers.size()) - loaded);
  EXPECT_EQ(run_end.value("status", -1), loader.ExitStatus());
}

INSTANTIATE_TEST_SUITE_P(Rows, ScenarioTest, ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

// A record that cannot be written stops the run before any printer is woken.
TEST_F(MultiLoadTest, ARecordThatCannotBeWrittenLoadsNothing) {
  Printer& printer = AddPrinter();
  StartPrinter(printer, false, {});
  ChildProcess loader;
  ASSERT_TRUE(loader.Start(LoaderArgv({"--record", (m_dir / "no/such/record").string()})));
  ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  EXPECT_EQ(loader.ExitStatus(), 3) << loader.Err();
  EXPECT_NE(loader.Err().find("cannot write the record"), std::string::npos) << loader.Err();
  EXPECT_EQ(loader.Out(), "");  // not even the run's start
}

// An operator plugs the second printer in after the loader has started: it loads on arrival.
TEST_F(MultiLoadTest, APortThatAppearsLateLoads) {
  Printer& present = AddPrinter();
  StartPrinter(present, false, {});
  Printer& late = AddPrinter();
  ChildProcess loader;
  ASSERT_TRUE(loader.Start(LoaderArgv({"--wait", "20"})));
  // Once the first printer is done, the loader has long found the second port missing.
  ASSERT_TRUE(loader.WaitForOutput("\"printer_end\"", kLoadDeadline)) << loader.Err();
  StartPrinter(late, false, {});
  ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  EXPECT_EQ(loader.ExitStatus(), 0) << loader.Err();
  ByPrinter(Events(loader.Out()), kFile, 2);
  ExpectImage(present);
  ExpectImage(late);
}

// Ctrl+C with eight paced loads under way: every run ends as interrupted and lets its line go.
TEST_F(MultiLoadTest, InterruptStopsEveryLoadAndClosesEveryPort) {
  constexpr size_t kPrinters = 8;
  for (size_t i = 0; i < kPrinters; ++i) {
    StartPrinter(AddPrinter(), i % 2 == 1, {"--baud", "9600"});
  }
  ChildProcess loader;
  ASSERT_TRUE(loader.Start(LoaderArgv({"-b", "9600"})));
  // Every printer mid-load: a progress event from each.
  const auto all_under_way = [&] {
    std::set<std::string> ports;
    for (const Json& e : Events(loader.Out())) {
      if (e.value("event", "") == "progress") {
        ports.insert(e.value("port", ""));
      }
    }
    return ports.size() == kPrinters;
  };
  ASSERT_TRUE(loader.WaitUntil(all_under_way, kLoadDeadline)) << loader.Out() << loader.Err();
  loader.Signal(SIGINT);
  ASSERT_TRUE(loader.Wait(kLoadDeadline)) << "the loader hung";
  EXPECT_EQ(loader.ExitStatus(), kExitInterrupted) << loader.Err();
  auto by_printer = ByPrinter(Events(loader.Out()), kFile, kPrinters);
  for (const auto& p : m_printers) {
    const Json end = by_printer[p->name].empty() ? Json() : by_printer[p->name].back();
    EXPECT_EQ(end.value("key", ""), "interrupted") << p->name << ": " << end;
    EXPECT_EQ(end.value("status", 0), kExitInterrupted) << p->name;
    if (p->target[0] == "--host") {
      // The printer saw the connection close in the middle of the load.
      EXPECT_TRUE(p->process.WaitForOutput("load 1: ", kStartDeadline)) << p->process.Out();
    } else {
      // The loader's exclusive hold on the line is gone: another opener takes it at once.
      const int fd = ::open(p->link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      EXPECT_GE(fd, 0) << p->name;
      EXPECT_EQ(fd >= 0 ? ::flock(fd, LOCK_EX | LOCK_NB) : -1, 0) << p->name;
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
}

}  // namespace
}  // namespace velmar::test
