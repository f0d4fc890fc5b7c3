#pragma once
// The one boot every scenario runs in: the sample files, the initramfs made from them and the
// programs under test, the machine, its control line, and which adapters are plugged in.
//
// Boot makes the samples (short/: 3 blocks, six/: 6 blocks, long/: the default 48-block
// program and 4 KiB font) in a folder of its own, the initramfs (make_initramfs.sh), starts
// the machine and waits for the runner's "ready". Usable() is false once the boot failed, the
// guest stopped answering, or the run outlived kRunLimit (the machine is then killed), so that
// a hung guest fails the test rather than the CI job.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/kernel/qemu_machine.h"
#include "tests/support/pty_pair.h"

namespace velmar::test {

// GuestControl is the host's end of guest_runner.sh on the control line: one command at a time,
// its reply read up to its last line ("ok VALUE" or "fail WHY") within a deadline. A command
// that gets no last line in time leaves the guest marked stuck: every later Ask fails at once,
// so that a hung guest costs one deadline, not one per scenario.

struct GuestReply {
  bool answered = false;  // a last line came in time
  bool ok = false;
  std::string value;  // what follows "ok " or "fail "
  std::vector<std::string> out;
  std::vector<std::string> err;
  std::chrono::steady_clock::time_point at;  // when the last line came
};

class GuestControl {
 public:
  explicit GuestControl(PtyPair& line) : m_line(line) {}

  // Waits for the runner's first line: "ready", or "fail WHY" (into *why).
  bool AwaitReady(std::chrono::milliseconds deadline, std::string* why);
  GuestReply Ask(const std::string& command, std::chrono::milliseconds deadline);
  bool Stuck() const { return m_stuck; }

 private:
  bool ReadLine(std::string* line, std::chrono::steady_clock::time_point until);

  PtyPair& m_line;
  std::string m_pending;
  bool m_stuck = false;
};

class KernelGuest {
  // First: the members below are made from them.
  std::filesystem::path m_dir;
  PtyPair m_control;

 public:
  static constexpr std::chrono::minutes kRunLimit{10};

  KernelGuest();
  ~KernelGuest();

  bool Boot();
  void PowerOff();
  bool Usable();
  // Why the guest is not usable.
  std::string Trouble() const;

  std::filesystem::path Samples() const { return m_dir / "data"; }
  std::filesystem::path Dir() const { return m_dir; }
  double BootSeconds() const { return m_boot_seconds; }
  double RunSeconds() const;

  // The monitor's word on a refusal in *answer. Plug waits for the adapter's node.
  bool Unplug(size_t adapter, std::string* answer);
  bool Plug(size_t adapter, const std::string& serial, std::string* answer);
  // Plugs the adapter back in as the boot had it, unless it is.
  void Restore(size_t adapter);

  PtyPair uart;
  PtyPair adapters[kAdapterCount];
  QemuMachine machine;
  GuestControl control;
  bool ready = false;
  // Each adapter's serial number while it is plugged in; empty while it is not.
  std::string plugged[kAdapterCount] = {kAdapters[0].serial, kAdapters[1].serial};

 private:
  bool MakeFiles(const std::string& release);

  std::chrono::steady_clock::time_point m_started;
  double m_boot_seconds = 0;
  std::string m_failure;
};

}  // namespace velmar::test
