// Paths that are no data file, and files at and past the largest size, read in a child process
// that is killed when it blocks or grows: POSIX only (fork, FIFOs, sockets, /proc, /dev/zero).

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "datafile/data_file.h"
#include "tests/datafile/data_file_fixture.h"

namespace velmar::datafile {
namespace {

using namespace test_files;

// What a read run in a child process came to. The child is killed when it outlives the
// deadline or grows past the memory allowance: a read that blocks, or that takes in a file
// without end, fails the test instead of hanging it or exhausting the machine.
struct GuardedRead {
  bool finished = false;
  ReadOutcome outcome = ReadOutcome::kOk;
  int text_id = 0;
  RefusalReason reason = RefusalReason::kNone;
  int32_t payload_length = 0;
  int32_t data_size = 0;
  char kind[8] = {};
};

constexpr auto kReadDeadline = std::chrono::seconds(30);
constexpr long kMemoryAllowance = 256L << 20;

long ResidentBytes(pid_t pid) {
  std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

GuardedRead ReadInChild(const std::string& path, TestWindow& window) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return {};
  }
  const long baseline = ResidentBytes(::getpid());
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    GuardedRead read;
    const auto result = ReadDataFile(path, window);
    read = {true,          result.outcome,        result.text_id,
            result.reason, result.payload_length, window.m_data.Size()};
    std::strncpy(read.kind, window.m_file_kind.c_str(), sizeof read.kind - 1);
    [[maybe_unused]] const ssize_t put = ::write(pipe_fds[1], &read, sizeof read);
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  GuardedRead read;
  const auto until = std::chrono::steady_clock::now() + kReadDeadline;
  for (;;) {
    pollfd ready{pipe_fds[0], POLLIN, 0};
    if (::poll(&ready, 1, 50) > 0) {
      if (::read(pipe_fds[0], &read, sizeof read) != sizeof read) {
        read.finished = false;
        ADD_FAILURE() << path << ": the child ended without a result";
      }
      break;
    }
    if (std::chrono::steady_clock::now() > until) {
      ADD_FAILURE() << path << ": still reading after the deadline";
      break;
    }
    if (ResidentBytes(pid) > baseline + kMemoryAllowance) {
      ADD_FAILURE() << path << ": memory kept growing";
      break;
    }
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  ::close(pipe_fds[0]);
  return read;
}

// Paths that are no data file at all, and files at and past the largest size, none of which
// may be read whole, block, or take memory without bound.
TEST_F(DataFileTest, RefusesWhatIsNoDataFileWithoutReadingItWhole) {
  const auto sparse = [this](const Bytes& header, int64_t size) {
    const std::string path = Write(header);
    std::error_code error;
    std::filesystem::resize_file(path, static_cast<uintmax_t>(size), error);
    EXPECT_FALSE(error) << error.message();
    return path;
  };
  const Bytes longest_program_header =
      Concat({Text("MyBIN"), Text(std::string(254, 'N')), {0, 0, 1}});
  const Bytes font_header = Concat({Text("MyFNT"), Text("X"), {0}});
  struct Case {
    const char* what;
    std::function<std::string()> make;
    ReadOutcome outcome;
    const char* kind_left;  // for a loaded file, its magic
    int32_t payload_length;
    RefusalReason reason = RefusalReason::kNone;
  };
  const std::vector<Case> cases = {
      {"directory",
       [&] {
         std::filesystem::create_directory(m_dir / "dir");
         return (m_dir / "dir").string();
       },
       ReadOutcome::kCannotOpen, "kept", 0, RefusalReason::kFolder},
      {"FIFO without a writer",
       [&] {
         const std::string path = (m_dir / "fifo").string();
         EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
         return path;
       },
       ReadOutcome::kCannotOpen, "kept", 0, RefusalReason::kNotAFile},
      {"socket",
       [&] {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         const std::string path = (m_dir / "socket").string();
         std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
         ::close(fd);
         return path;
       },
       ReadOutcome::kCannotOpen, "kept", 0, RefusalReason::kNotAFile},
      {"endless device", [] { return std::string("/dev/zero"); }, ReadOutcome::kCannotOpen, "kept",
       0, RefusalReason::kNotAFile},
      {"program of the largest size",
       [&] { return sparse(longest_program_header, kMaxDataFileSize); }, ReadOutcome::kOk, "MyBIN",
       17'301'504},
      {"program a block past it",
       [&] { return sparse(longest_program_header, kMaxDataFileSize + 8); }, ReadOutcome::kBadData,
       "MyBIN", 0, RefusalReason::kTooLarge},
      {"font of the largest size", [&] { return sparse(font_header, kMaxDataFileSize); },
       ReadOutcome::kOk, "MyFNT", static_cast<int32_t>(kMaxDataFileSize - 7)},
      {"font a byte past it", [&] { return sparse(font_header, kMaxDataFileSize + 1); },
       ReadOutcome::kBadData, "MyFNT", 0, RefusalReason::kTooLarge},
      {"64 GiB that are no data file", [&] { return sparse(Text("hello"), int64_t{64} << 30); },
       ReadOutcome::kBadData, "hello", 0, RefusalReason::kNotDataFile},
  };
  for (const Case& c : cases) {
    m_window.m_file_kind = "kept";
    m_window.m_data.RemoveAll();
    m_window.m_data.Add(0x77);
    const GuardedRead read = ReadInChild(c.make(), m_window);
    if (!read.finished) {
      continue;  // reported with the reason
    }
    EXPECT_EQ(read.outcome, c.outcome) << c.what;
    EXPECT_EQ(read.kind, std::string(c.kind_left)) << c.what;
    EXPECT_EQ(read.reason, c.reason) << c.what;
    if (c.outcome == ReadOutcome::kOk) {
      EXPECT_EQ(read.payload_length, c.payload_length) << c.what;
      EXPECT_EQ(read.data_size, c.payload_length) << c.what;
    } else {
      EXPECT_EQ(read.text_id,
                c.outcome == ReadOutcome::kCannotOpen ? kTextCannotOpen : kTextBadData)
          << c.what;
      EXPECT_EQ(read.data_size, 1) << c.what;  // nothing of it loaded
    }
  }
}

}  // namespace
}  // namespace velmar::datafile
