#include "tests/kernel/kernel_guest.h"

#include <unistd.h>

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
  if (!machine.Boot(release, (m_dir / "initramfs").string(), {&m_control, &uart, &adapter},
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

}  // namespace velmar::test
