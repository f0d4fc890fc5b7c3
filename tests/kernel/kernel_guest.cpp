#include "tests/kernel/kernel_guest.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "tests/integration/child_process.h"

namespace velmar::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// TCG on a loaded 2-core machine: a boot takes about 8 s on a quiet one.
constexpr auto kReadyDeadline = 180s;
constexpr auto kToolDeadline = 60s;
constexpr auto kPowerOffDeadline = 30s;

struct SampleSet {
  const char* folder;
  const char* program_bytes;
  const char* font_bytes;
};
constexpr SampleSet kSampleSets[] = {
    {"short", "768", "700"}, {"six", "1536", "1536"}, {"long", "12288", "4196"}};

bool Run(const std::vector<std::string>& argv, std::string* failure) {
  ChildProcess tool;
  if (tool.Start(argv) && tool.Wait(kToolDeadline) && tool.ExitStatus() == 0) {
    return true;
  }
  *failure = argv[0] + " failed: " + tool.Out() + tool.Err();
  return false;
}

// "ok 5" gives "5"; a bare "ok" gives "".
std::string After(const std::string& line, const std::string& word) {
  return line.size() > word.size() ? line.substr(word.size() + 1) : std::string();
}

bool Is(const std::string& line, const std::string& word) {
  return line == word || line.starts_with(word + " ");
}

}  // namespace

KernelGuest::KernelGuest()
    : m_dir(std::filesystem::temp_directory_path() /
            ("velmar-kernel-" + std::to_string(::getpid()))),
      machine(m_dir),
      control(m_control) {}

KernelGuest::~KernelGuest() {
  machine.Stop(0s);
  std::error_code ignored;
  std::filesystem::remove_all(m_dir, ignored);
}

bool KernelGuest::MakeFiles(const std::string& release) {
  std::filesystem::remove_all(m_dir);
  std::filesystem::create_directories(Samples());
  for (const SampleSet& set : kSampleSets) {
    std::filesystem::create_directories(Samples() / set.folder);
    if (!Run({VELMAR_MAKE_SAMPLES, (Samples() / set.folder).string(), set.program_bytes,
              set.font_bytes},
             &m_failure)) {
      return false;
    }
  }
  return Run({"/bin/sh", VELMAR_KERNEL_DIR "/make_initramfs.sh", (m_dir / "initramfs").string(),
              release, Samples().string(), VELMAR_LOAD},
             &m_failure);
}

bool KernelGuest::Boot() {
  m_started = Clock::now();
  const std::string release = QemuMachine::KernelRelease();
  if (release.empty()) {
    m_failure = "no kernel in /boot with modules in /lib/modules (linux-image-amd64)";
    return false;
  }
  if (!MakeFiles(release)) {
    return false;
  }
  const auto booting = Clock::now();
  if (!machine.Boot(release, (m_dir / "initramfs").string(),
                    {&m_control, &uart, {&adapters[0], &adapters[1]}},
                    kRunLimit + kPowerOffDeadline)) {
    m_failure = machine.Failure();
    return false;
  }
  ready = control.AwaitReady(kReadyDeadline, &m_failure);
  m_boot_seconds = std::chrono::duration<double>(Clock::now() - booting).count();
  return ready;
}

void KernelGuest::PowerOff() {
  if (ready && !control.Stuck()) {
    control.Ask("poweroff", kPowerOffDeadline);
  }
  machine.Stop(kPowerOffDeadline);
  ready = false;
}

bool KernelGuest::Usable() {
  if (ready && control.Stuck()) {
    m_failure = "the guest stopped answering on the control line";
    ready = false;
  }
  if (ready && Clock::now() - m_started > kRunLimit) {
    m_failure = "the run took longer than its limit";
    machine.Stop(0s);
    ready = false;
  }
  return ready;
}

std::string KernelGuest::Trouble() const {
  return m_failure;
}

double KernelGuest::RunSeconds() const {
  return std::chrono::duration<double>(Clock::now() - m_started).count();
}

bool KernelGuest::Unplug(size_t adapter, std::string* answer) {
  const bool done = machine.Unplug(adapter, answer);
  if (done) {
    plugged[adapter].clear();
  }
  return done;
}

bool KernelGuest::Plug(size_t adapter, const std::string& serial, std::string* answer) {
  if (!machine.Plug(adapter, serial, answer)) {
    return false;
  }
  plugged[adapter] = serial;
  const GuestReply reply =
      control.Ask(std::string("await ") + kAdapters[adapter].node + " present", kToolDeadline);
  *answer = reply.value;
  return reply.ok;
}

void KernelGuest::Restore(size_t adapter) {
  std::string answer;
  if (plugged[adapter] == kAdapters[adapter].serial) {
    return;
  }
  if (!plugged[adapter].empty() &&
      (!Unplug(adapter, &answer) ||
       !control.Ask(std::string("await ") + kAdapters[adapter].node + " absent", kToolDeadline)
            .ok)) {
    return;
  }
  Plug(adapter, kAdapters[adapter].serial, &answer);
}

bool GuestControl::ReadLine(std::string* line, Clock::time_point until) {
  for (;;) {
    const size_t end = m_pending.find('\n');
    if (end != std::string::npos) {
      *line = m_pending.substr(0, end);
      m_pending.erase(0, end + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    pollfd ready{m_line.MasterFd(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      return false;
    }
    char buffer[4096];
    const ssize_t got = ::read(m_line.MasterFd(), buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
      continue;
    }
    if (got <= 0) {
      return false;  // QEMU is gone
    }
    m_pending.append(buffer, static_cast<size_t>(got));
  }
}

bool GuestControl::AwaitReady(std::chrono::milliseconds deadline, std::string* why) {
  const auto until = Clock::now() + deadline;
  for (std::string line; ReadLine(&line, until);) {
    if (line == "ready") {
      return true;
    }
    if (Is(line, "fail")) {
      *why = After(line, "fail");
      m_stuck = true;
      return false;
    }
  }
  *why = "no word from the guest's runner";
  m_stuck = true;
  return false;
}

GuestReply GuestControl::Ask(const std::string& command, std::chrono::milliseconds deadline) {
  GuestReply reply;
  const std::string line = command + "\n";
  if (m_stuck || !m_line.WriteAll(reinterpret_cast<const uint8_t*>(line.data()), line.size())) {
    m_stuck = true;
    return reply;
  }
  const auto until = Clock::now() + deadline;
  for (std::string got; ReadLine(&got, until);) {
    if (Is(got, "out") || Is(got, "err")) {
      const bool out = Is(got, "out");
      (out ? reply.out : reply.err).push_back(After(got, out ? "out" : "err"));
    } else if (Is(got, "ok") || Is(got, "fail")) {
      reply.answered = true;
      reply.ok = Is(got, "ok");
      reply.value = After(got, reply.ok ? "ok" : "fail");
      reply.at = Clock::now();
      return reply;
    }
  }
  m_stuck = true;
  return reply;
}

}  // namespace velmar::test
