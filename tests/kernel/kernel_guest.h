#pragma once
// The one boot every scenario runs in: the sample files, the initramfs made from them and the
// programs under test, the machine, its control line, and whether the adapter is plugged in.
//
// Boot makes the samples (short/: 3 blocks, six/: 6 blocks, long/: the default 48-block
// program and 4 KiB font) in a folder of its own, the initramfs (make_initramfs.sh), starts
// the machine and waits for the runner's "ready". Usable() is false once the boot failed, the
// guest stopped answering, or the run outlived kRunLimit (the machine is then killed), so that
// a hung guest fails the test rather than the CI job.

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/kernel/guest_control.h"
#include "tests/kernel/qemu_machine.h"
#include "tests/support/pty_pair.h"

namespace velmar::test {

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

  PtyPair uart;
  PtyPair adapter;
  QemuMachine machine;
  GuestControl control;
  bool ready = false;
  bool plugged = true;

 private:
  bool MakeFiles(const std::string& release);

  std::chrono::steady_clock::time_point m_started;
  double m_boot_seconds = 0;
  std::string m_failure;
};

}  // namespace velmar::test
