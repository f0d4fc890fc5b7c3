#include "tests/kernel/kernel_guest.h"
#include "tests/kernel/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "tests/integration/child_process.h"
#include "tests/integration/sample_image.h"
#include "tests/kernel/line_printer.h"

namespace velmar::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kCommandDeadline = 30s;
// Six blocks at 9600 take about 4 s; a load with --wait 60 may take a minute more.
constexpr auto kLoadDeadline = 120s;
constexpr auto kMarkDeadline = 60s;
constexpr auto kPrinterDeadline = 20s;
// Generous for a loss the loader notices at once, short of the 2 s reply time-out.
constexpr double kLossToEndLimit = 1.0;
constexpr const char* kAdapterNode = "/dev/ttyUSB0";
constexpr const char* kLatency = "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
constexpr const char* kLowLatency = "1";
constexpr const char* kRetryEvent = "\"event\":\"retry\"";
constexpr const char* kLostKey = "port_lost";
constexpr Outcome kBusy{5, "port_unavailable", "Порт занят другой программой", 0};

const char* PortPath(Port port) {
  switch (port) {
    case Port::kUart:
      return "/dev/ttyS2";
    case Port::kAdapter:
      return kAdapterNode;
    case Port::kNoUart:
      break;
  }
  return "/dev/ttyS3";
}

std::string Joined(const std::vector<std::string>& words, const char* between) {
  std::string text;
  for (const std::string& word : words) {
    text += (text.empty() ? "" : between) + word;
  }
  return text;
}

// The last event of its kind in a JSON stream; null when there is none.
nlohmann::json LastEvent(const std::vector<std::string>& lines, const char* event) {
  nlohmann::json found;
  for (const std::string& line : lines) {
    nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    if (parsed.is_object() && parsed.value("event", "") == event) {
      found = std::move(parsed);
    }
  }
  return found;
}

double Seconds(Clock::duration span) {
  return std::chrono::duration<double>(span).count();
}

class ScenarioRun {
 public:
  ScenarioRun(KernelGuest& guest, const Scenario& scenario) : m_guest(guest), m_row(scenario) {}
  ~ScenarioRun() { Tidy(); }
  ScenarioRun(const ScenarioRun&) = delete;
  ScenarioRun& operator=(const ScenarioRun&) = delete;

  void Go();

 private:
  void Measure(const char* what, double seconds) const {
    std::printf("[ measured ] %s: %s %.3f s\n", m_row.name, what, seconds);
  }
  bool Printed() const { return m_row.tool_rate > 0; }
  bool LastLoaded() const {
    return m_row.outcome.exit_status == 0 || m_row.after != After::kNothing;
  }
  int32_t Loads() const {
    return 1 + static_cast<int32_t>(m_row.after != After::kNothing) +
           static_cast<int32_t>(m_row.moment.what == During::kUnplugUntilRetry);
  }

  GuestReply Ask(const std::string& command, std::chrono::milliseconds deadline = kCommandDeadline);
  bool Ok(const std::string& command);
  bool Read(const char* path, std::string* value);
  bool Start(const std::string& name);
  GuestReply Wait(const std::string& name);
  bool Unplug();
  bool Plug();
  bool StartPrinter();
  bool ActOut(GuestReply* end);
  bool Follow();
  void ExpectEnd(const char* what, const GuestReply& reply, const Outcome& outcome) const;
  void FinishPrinter();
  void Tidy();

  KernelGuest& m_guest;
  const Scenario& m_row;
  ChildProcess m_printer;
  std::string m_image;
  std::vector<std::string> m_running;  // loaders started and not waited for
};

GuestReply ScenarioRun::Ask(const std::string& command, std::chrono::milliseconds deadline) {
  GuestReply reply = m_guest.control.Ask(command, deadline);
  if (!reply.answered) {
    ADD_FAILURE() << "the guest did not answer \"" << command << "\"";
  }
  return reply;
}

bool ScenarioRun::Ok(const std::string& command) {
  const GuestReply reply = Ask(command);
  EXPECT_TRUE(!reply.answered || reply.ok) << command << ": " << reply.value;
  return reply.ok;
}

bool ScenarioRun::Read(const char* path, std::string* value) {
  const GuestReply reply = Ask(std::string("read ") + path);
  *value = reply.value;
  EXPECT_TRUE(!reply.answered || reply.ok) << path << ": " << reply.value;
  return reply.ok;
}

bool ScenarioRun::Start(const std::string& name) {
  std::vector<std::string> words = {
      "start", name, "-p", PortPath(m_row.port), "-b", std::to_string(m_row.baud), "--json"};
  words.insert(words.end(), m_row.options.begin(), m_row.options.end());
  words.push_back(std::string("/data/") + m_row.file);
  if (!Ok(Joined(words, " "))) {
    return false;
  }
  m_running.push_back(name);
  return true;
}

GuestReply ScenarioRun::Wait(const std::string& name) {
  std::erase(m_running, name);
  return Ask("wait " + name, kLoadDeadline);
}

bool ScenarioRun::Unplug() {
  std::string answer;
  const bool done = m_guest.Unplug(0, &answer);
  EXPECT_TRUE(done) << "device_del: " << answer;
  return done;
}

bool ScenarioRun::Plug() {
  std::string answer;
  const bool done = m_guest.Plug(0, kAdapters[0].serial, &answer);
  EXPECT_TRUE(done) << "device_add: " << answer;
  return done;
}

bool ScenarioRun::StartPrinter() {
  m_image = (m_guest.Dir() / (std::string(m_row.name) + ".hex")).string();
  return StartLinePrinter(
      m_row.port == Port::kUart ? m_guest.uart : m_guest.adapters[0],
      {"--baud", std::to_string(m_row.baud), "--tool-rate", std::to_string(m_row.tool_rate),
       "--loads", std::to_string(Loads()), "--image", m_image},
      &m_printer);
}

bool ScenarioRun::ActOut(GuestReply* end) {
  const std::string mark = "block " + std::to_string(m_row.moment.at_block) + " of load 1\n";
  if (!m_printer.WaitForOutput(mark, kMarkDeadline)) {
    ADD_FAILURE() << "the printer never reached " << mark << m_printer.Out();
    return false;
  }
  const auto at = Clock::now();
  switch (m_row.moment.what) {
    case During::kNothing:
      return true;
    case During::kReadLatency: {
      std::string latency;
      EXPECT_TRUE(Read(kLatency, &latency) && latency == kLowLatency)
          << "latency_timer mid-load: " << latency;
      return true;
    }
    case During::kSecondLoader:
      if (!Start("second")) {
        return false;
      }
      ExpectEnd("the second loader", Wait("second"), kBusy);
      return true;
    case During::kUnplug:
      if (!Unplug()) {
        return false;
      }
      *end = Wait("first");
      if (end->answered) {
        Measure("port lost to the load's end", Seconds(end->at - at));
        EXPECT_LT(Seconds(end->at - at), kLossToEndLimit) << "the load outlived its port";
      }
      return true;
    case During::kUnplugUntilRetry:
      // The old port must be closed before the adapter comes back, or it would be ttyUSB1.
      return Unplug() && Ok(std::string("await-output first ") + kRetryEvent) &&
             Ok(std::string("await ") + kAdapterNode + " absent") && Plug();
    case During::kInterrupt:
      if (!Ok("signal first INT")) {
        return false;
      }
      *end = Wait("first");
      if (end->answered) {
        Measure("SIGINT to the load's end", Seconds(end->at - at));
      }
      return true;
  }
  return true;
}

bool ScenarioRun::Follow() {
  switch (m_row.after) {
    case After::kNothing:
      return true;
    case After::kReplugAndLoadAgain:
      if (!Unplug() || !Ok(std::string("await ") + kAdapterNode + " absent") || !Plug()) {
        return false;
      }
      [[fallthrough]];
    case After::kLoadAgain:
      if (!Start("again")) {
        return false;
      }
      ExpectEnd("the next load", Wait("again"), Outcome{});
      return true;
  }
  return true;
}

void ScenarioRun::ExpectEnd(const char* what, const GuestReply& reply,
                            const Outcome& outcome) const {
  if (!reply.answered) {
    return;  // Ask said so
  }
  const std::string shown = "\n" + Joined(reply.out, "\n") + "\n" + Joined(reply.err, "\n");
  EXPECT_EQ(reply.value, std::to_string(outcome.exit_status)) << what << shown;
  const nlohmann::json end = LastEvent(reply.out, "printer_end");
  ASSERT_TRUE(end.is_object()) << what << ": no printer_end" << shown;
  EXPECT_EQ(end.value("key", ""), outcome.key) << what << shown;
  EXPECT_EQ(end.value("attempts", 0), outcome.attempts) << what << shown;
  if (outcome.text != nullptr) {
    EXPECT_TRUE(std::any_of(
        reply.err.begin(), reply.err.end(),
        [&](const std::string& line) { return line.find(outcome.text) != std::string::npos; }))
        << what << " should say " << outcome.text << shown;
  }
  if (m_row.moment.what == During::kUnplugUntilRetry) {
    const nlohmann::json retry = LastEvent(reply.out, "retry");
    EXPECT_EQ(retry.is_object() ? retry.value("reason", "") : "", kLostKey) << what << shown;
  }
}

void ScenarioRun::FinishPrinter() {
  if (!LastLoaded()) {
    m_printer.Signal(SIGTERM);
  }
  // With --loads the printer ends by itself once the last load is in.
  EXPECT_TRUE(m_printer.Wait(kPrinterDeadline)) << "the printer did not end\n" << m_printer.Out();
  const std::string& out = m_printer.Out();
  EXPECT_EQ(m_printer.Err(), "") << out;
  const bool all_complete =
      m_row.outcome.exit_status == 0 && m_row.moment.what != During::kUnplugUntilRetry;
  EXPECT_EQ(m_printer.ExitStatus(), all_complete ? 0 : 1) << out;
  const size_t last = out.rfind("\nload ");
  const std::string report = last == std::string::npos ? "" : out.substr(last + 1);
  EXPECT_NE(report.find(LastLoaded() ? ", complete" : ", incomplete"), std::string::npos) << out;
  if (LastLoaded()) {
    const std::vector<uint8_t> file = ReadBytes((m_guest.Samples() / m_row.file).string());
    Image image;
    ASSERT_TRUE(ReadIntelHex(m_image, &image)) << out;
    EXPECT_EQ(image,
              std::string(m_row.file).ends_with(".bin") ? ProgramImage(file) : FontImage(file, 0));
  }
}

void ScenarioRun::Go() {
  const auto started = Clock::now();
  if (Printed() && !StartPrinter()) {
    return;
  }
  const std::uintmax_t trace = m_guest.machine.TraceMark();
  std::string latency_before;
  if (m_row.moment.what == During::kReadLatency && !Read(kLatency, &latency_before)) {
    return;
  }
  if (!Start("first")) {
    return;
  }
  GuestReply end;
  if (m_row.moment.what != During::kNothing && !ActOut(&end)) {
    return;
  }
  ExpectEnd("the load", end.answered ? end : Wait("first"), m_row.outcome);
  if (m_row.moment.what == During::kReadLatency) {
    std::string latency;
    EXPECT_TRUE(Read(kLatency, &latency) && latency == latency_before)
        << "latency_timer after the load: " << latency << ", before it: " << latency_before;
  }
  if (!Follow() || !Printed()) {
    return;
  }
  FinishPrinter();
  const std::vector<int32_t> rates = m_guest.machine.DeviceRates(
      m_row.port == Port::kUart ? Device::kUart : Device::kAdapter, trace);
  EXPECT_FALSE(rates.empty()) << "QEMU's trace shows no rate set";
  EXPECT_EQ(rates.empty() ? 0 : rates.back(), m_row.device_rate) << "the device's rate";
  Measure("the row", Seconds(Clock::now() - started));
}

void ScenarioRun::Tidy() {
  for (const std::string& name : m_running) {
    m_guest.control.Ask("signal " + name + " KILL", kCommandDeadline);
    m_guest.control.Ask("wait " + name, kCommandDeadline);
  }
  m_guest.Restore(0);
}

}  // namespace

void RunScenario(KernelGuest& guest, const Scenario& scenario) {
  ScenarioRun(guest, scenario).Go();
}

}  // namespace velmar::test
