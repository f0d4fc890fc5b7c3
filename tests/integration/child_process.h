#pragma once
// A program run by a test: its standard output and error captured, waited for with deadlines.
// Standard output is a pipe, or the slave of a pseudo-terminal of the child's own when the
// program must see a terminal; the test reads the master like the pipe (the terminal turns
// each "\n" into "\r\n"), and the output ends when the child and its children close the slave.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace velmar::test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills and reaps a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  enum class Stdout { kPipe, kTerminal };

  bool Start(const std::vector<std::string>& argv, Stdout stdout_to = Stdout::kPipe);
  // Reads until `text` appears on standard output (or error) or the deadline passes.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds deadline,
                     bool from_stderr = false);
  // Reads until `done` holds (asked after each read) or the deadline passes.
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline);
  // Reads both streams to their end and reaps the child; false when the deadline passed
  // first (the child is then killed).
  bool Wait(std::chrono::milliseconds deadline);
  void Signal(int signal_number);

  const std::string& Out() const { return m_out; }
  const std::string& Err() const { return m_err; }
  int ExitStatus() const { return m_status; }  // -1 when killed by a signal
  double CpuSeconds() const { return m_cpu_seconds; }
  long PeakKilobytes() const { return m_peak_kb; }
  double ElapsedSeconds() const { return m_elapsed; }

 private:
  // One poll round; false when both streams have ended.
  bool Pump(std::chrono::milliseconds timeout);

  pid_t m_pid = -1;
  int m_out_fd = -1;
  int m_err_fd = -1;
  std::string m_out;
  std::string m_err;
  int m_status = -1;
  double m_cpu_seconds = 0;
  long m_peak_kb = 0;
  double m_elapsed = 0;
  std::chrono::steady_clock::time_point m_started;
};

}  // namespace velmar::test
