#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "tests/integration/child_process.h"
#include "tests/integration/sample_image.h"
#include "tests/kernel/kernel_guest.h"
#include "tests/kernel/line_printer.h"
#include "tests/kernel/station_row.h"

namespace velmar::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kCommandDeadline = 30s;
constexpr auto kMarkDeadline = 60s;
constexpr auto kPrinterDeadline = 20s;
constexpr const char* kFtdiVendor = "0403";
constexpr size_t kSha256Digits = 64;

// The record appends: a row run again in the same boot starts a file of its own.
std::string RecordPath(const StationRow& row) {
  static int runs = 0;
  return std::string("/tmp/") + row.name + "-" + std::to_string(++runs) + ".jsonl";
}

struct LinePrinter {
  ChildProcess process;
  std::string image;
  bool completes = true;  // serves all its loads: not of another model, nor cut short
};

class StationRun {
 public:
  StationRun(KernelGuest& guest, const StationRow& row)
      : m_guest(guest), m_row(row), m_record(RecordPath(row)) {}
  ~StationRun() { Tidy(); }
  StationRun(const StationRun&) = delete;
  StationRun& operator=(const StationRun&) = delete;

  void Go();

 private:
  bool Ok(const std::string& command);
  bool StartStation();
  bool Act(const StationStep& step);
  bool StartPrinter(const StationStep& step);
  bool AtMark(size_t adapter, int32_t block);
  void EndPrinter(size_t adapter);
  void ExpectRecord();
  void Tidy();

  KernelGuest& m_guest;
  const StationRow& m_row;
  const std::string m_record;
  bool m_running = false;
  std::vector<std::unique_ptr<LinePrinter>> m_printers;
  LinePrinter* m_on[kAdapterCount] = {};
};

bool StationRun::Ok(const std::string& command) {
  const GuestReply reply = m_guest.control.Ask(command, kCommandDeadline);
  EXPECT_TRUE(reply.ok) << command << ": " << (reply.answered ? reply.value : "no answer");
  return reply.ok;
}

bool StationRun::StartPrinter(const StationStep& step) {
  m_printers.push_back(std::make_unique<LinePrinter>());
  LinePrinter& printer = *m_printers.back();
  printer.image =
      (m_guest.Dir() / (std::string(m_row.name) + "-" + std::to_string(m_printers.size()) + ".hex"))
          .string();
  printer.completes = std::string(step.model) == "TEST";
  m_on[step.adapter] = &printer;
  const std::string baud = std::to_string(m_row.baud);
  return StartLinePrinter(m_guest.adapters[step.adapter],
                          {"--baud", baud, "--tool-rate", baud, "--model", step.model, "--loads",
                           std::to_string(step.loads), "--image", printer.image},
                          &printer.process);
}

bool StationRun::AtMark(size_t adapter, int32_t block) {
  const std::string mark = "block " + std::to_string(block) + " of load 1\n";
  LinePrinter* printer = m_on[adapter];
  if (printer == nullptr || !printer->process.WaitForOutput(mark, kMarkDeadline)) {
    ADD_FAILURE() << "the printer never reached " << mark
                  << (printer == nullptr ? "" : printer->process.Out());
    return false;
  }
  printer->completes = false;
  return true;
}

// A printer that is to serve all its loads ends by itself; any other is stopped.
void StationRun::EndPrinter(size_t adapter) {
  LinePrinter* printer = m_on[adapter];
  m_on[adapter] = nullptr;
  if (printer == nullptr) {
    return;
  }
  ChildProcess& process = printer->process;
  if (!printer->completes) {
    process.Signal(SIGTERM);
  }
  EXPECT_TRUE(process.Wait(kPrinterDeadline)) << "the printer did not end\n" << process.Out();
  if (printer->completes) {
    EXPECT_EQ(process.ExitStatus(), 0) << process.Out() << process.Err();
    EXPECT_EQ(process.Err(), "");
    Image image;
    ASSERT_TRUE(ReadIntelHex(printer->image, &image)) << process.Out();
    EXPECT_EQ(image, ProgramImage(ReadBytes((m_guest.Samples() / m_row.file).string())));
  }
}

bool StationRun::StartStation() {
  std::string start = "start station --station --json --record " + m_record;
  for (const std::string& pattern : m_row.patterns) {
    start += " -p " + pattern;
  }
  m_running = Ok(start + " -b " + std::to_string(m_row.baud) + " /data/" + m_row.file);
  return m_running && Ok("await-output station \"event\":\"run_start\"");
}

bool StationRun::Act(const StationStep& step) {
  const UsbAdapter& adapter = kAdapters[step.adapter];
  std::string answer;
  switch (step.act) {
    case StationAct::kStation:
      return StartStation();
    case StationAct::kPrinter:
      return StartPrinter(step);
    case StationAct::kNewAdapter:
      if (!m_guest.Unplug(step.adapter, &answer) ||
          !Ok(std::string("await ") + adapter.node + " absent")) {
        ADD_FAILURE() << "device_del: " << answer;
        return false;
      }
      EndPrinter(step.adapter);
      if (!StartPrinter(step) || !m_guest.Plug(step.adapter, step.serial, &answer)) {
        ADD_FAILURE() << "device_add: " << answer;
        return false;
      }
      return true;
    case StationAct::kNext: {
      // Read up to its first load's end; the other slot's whole load has come since.
      ChildProcess& process = m_on[step.adapter]->process;
      EXPECT_TRUE(process.WaitForOutput("load 1:", kMarkDeadline)) << process.Out();
      EXPECT_EQ(process.Out().find("of load 2"), std::string::npos)
          << "woken again without \"next\"\n"
          << process.Out();
      return Ok(std::string("tell station next ") + adapter.node);
    }
    case StationAct::kUnplug:
      if (AtMark(step.adapter, step.at_block) && m_guest.Unplug(step.adapter, &answer)) {
        return true;
      }
      ADD_FAILURE() << "device_del: " << answer;
      return false;
    case StationAct::kKill:
      return AtMark(step.adapter, step.at_block) && Ok("signal station KILL");
  }
  return false;
}

void StationRun::ExpectRecord() {
  ChildProcess sum;
  const std::string file = (m_guest.Samples() / m_row.file).string();
  ASSERT_TRUE(sum.Start({"/usr/bin/sha256sum", file}) && sum.Wait(kPrinterDeadline));
  const std::string sha256 = sum.Out().substr(0, kSha256Digits);
  const std::vector<std::string> lines =
      m_guest.control.Ask("show " + m_record, kCommandDeadline).out;
  ASSERT_EQ(lines.size(), m_row.record.size()) << ::testing::PrintToString(lines);
  for (size_t i = 0; i < lines.size(); ++i) {
    const nlohmann::json line = nlohmann::json::parse(lines[i], nullptr, false);
    const RecordLine& want = m_row.record[i];
    ASSERT_TRUE(line.is_object()) << "not whole: " << lines[i];
    EXPECT_EQ(line.value("port", ""), kAdapters[want.adapter].node) << lines[i];
    EXPECT_EQ(line.value("usb_serial", ""), want.serial) << lines[i];
    EXPECT_EQ(line.value("usb_vendor", ""), kFtdiVendor) << lines[i];
    EXPECT_EQ(line.value("sha256", ""), sha256) << lines[i];
    EXPECT_EQ(line.value("key", ""), want.key) << lines[i];
    EXPECT_EQ(line.value("status", -1), want.status) << lines[i];
  }
}

void StationRun::Go() {
  const auto started = Clock::now();
  for (const StationStep& step : m_row.steps) {
    if (!Act(step) || (step.record_lines > 0 &&
                       !Ok("await-lines " + m_record + " " + std::to_string(step.record_lines)))) {
      return;
    }
  }
  const bool killed =
      std::any_of(m_row.steps.begin(), m_row.steps.end(),
                  [](const StationStep& step) { return step.act == StationAct::kKill; });
  if (!killed && !Ok("signal station TERM")) {
    return;
  }
  m_running = false;
  const GuestReply end = m_guest.control.Ask("wait station", kCommandDeadline);
  EXPECT_EQ(end.value, std::to_string(m_row.exit_status))
      << ::testing::PrintToString(end.out) << ::testing::PrintToString(end.err);
  ExpectRecord();
  for (size_t adapter = 0; adapter < kAdapterCount; ++adapter) {
    EndPrinter(adapter);
  }
  std::printf("[ measured ] %s: the row %.3f s\n", m_row.name,
              std::chrono::duration<double>(Clock::now() - started).count());
}

void StationRun::Tidy() {
  if (m_running) {
    m_guest.control.Ask("signal station KILL", kCommandDeadline);
    m_guest.control.Ask("wait station", kCommandDeadline);
  }
  for (LinePrinter* printer : m_on) {
    if (printer != nullptr) {
      printer->process.Signal(SIGTERM);
    }
  }
  for (size_t adapter = 0; adapter < kAdapterCount; ++adapter) {
    m_guest.Restore(adapter);
  }
}

}  // namespace

void RunStationRow(KernelGuest& guest, const StationRow& row) {
  StationRun(guest, row).Go();
}

}  // namespace velmar::test
