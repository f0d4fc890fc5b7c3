#include "tests/kernel/line_printer.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace velmar::test {

bool StartLinePrinter(PtyPair& line, const std::vector<std::string>& options,
                      ChildProcess* printer) {
  constexpr std::chrono::seconds kDeadline{20};
  line.ReadExactly(SIZE_MAX, std::chrono::milliseconds(0));
  const int fd = line.MasterFd();
  std::vector<std::string> argv = {VELMAR_PRINTER, "--line-fd", std::to_string(fd), "--marks"};
  argv.insert(argv.end(), options.begin(), options.end());
  // Inherited by this child alone: every other descriptor of the test is close-on-exec.
  ::fcntl(fd, F_SETFD, 0);
  const bool started = printer->Start(argv);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  EXPECT_TRUE(started && printer->WaitForOutput("\n", kDeadline))
      << "the printer did not start: " << printer->Err();
  return started && !printer->Out().empty();
}

}  // namespace velmar::test
