#include "datafile/data_file.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/progress_messages.h"
#include "tests/support/step_counting_window.h"

namespace velmar::datafile {
namespace {

using Bytes = std::vector<uint8_t>;

using TestWindow = test::StepCountingWindow;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Bytes Block(uint32_t address, const Bytes& data, uint16_t crc = 0xBEEF, uint8_t extra = 0x5A) {
  Bytes block{static_cast<uint8_t>(address),          static_cast<uint8_t>(address >> 8),
              static_cast<uint8_t>(address >> 16),    static_cast<uint8_t>(data.size()),
              static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(crc),
              static_cast<uint8_t>(crc >> 8),         extra};
  block.insert(block.end(), data.begin(), data.end());
  return block;
}

Bytes Program(const std::string& model, uint16_t total, const Bytes& payload) {
  return Concat({Text("MyBIN"),
                 Text(model),
                 {0, static_cast<uint8_t>(total >> 8), static_cast<uint8_t>(total)},
                 payload});
}

class DataFileTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    const auto path = m_dir / ("file" + std::to_string(m_count++));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("velmar-datafile-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  platform::MessageQueue m_queue;
  TestWindow m_window{m_queue};
  std::filesystem::path m_dir;
  int m_count = 0;
};

TEST_F(DataFileTest, ReadsAProgram) {
  const Bytes payload = Concat({Block(0x2000, {1, 2, 3, 4}), Block(0x012004, {5})});
  const auto result = ReadDataFile(Write(Program("TST", 0x0100, payload)), m_window);
  ASSERT_EQ(result.outcome, ReadOutcome::kOk);
  EXPECT_EQ(result.kind, FileKind::kProgram);
  EXPECT_EQ(result.progress_total, 256);  // big-endian 01 00
  EXPECT_EQ(result.payload_length, static_cast<int32_t>(payload.size()));
  EXPECT_EQ(m_window.m_file_kind, "MyBIN");
  EXPECT_EQ(m_window.m_model_name, "TST");
  ASSERT_EQ(m_window.m_data.Size(), static_cast<int32_t>(payload.size()));
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), m_window.m_data.Data()));
}

TEST_F(DataFileTest, EmptyNameAndEmptyPayload) {
  const auto result = ReadDataFile(Write(Program("", 0xFFFF, {})), m_window);
  ASSERT_EQ(result.outcome, ReadOutcome::kOk);
  EXPECT_EQ(m_window.m_model_name, "");
  EXPECT_EQ(result.progress_total, 0xFFFF);
  EXPECT_EQ(result.payload_length, 0);
  EXPECT_FALSE(m_window.TakeNextBlock());
  EXPECT_EQ(m_window.progress.steps, 0);
}

TEST_F(DataFileTest, ReadsAFontWithoutProgressTotal) {
  const Bytes raw{9, 8, 7, 0, 6};
  const auto result =
      ReadDataFile(Write(Concat({Text("MyFNT"), Text("Arial"), {0}, raw})), m_window);
  ASSERT_EQ(result.outcome, ReadOutcome::kOk);
  EXPECT_EQ(result.kind, FileKind::kFont);
  EXPECT_EQ(m_window.m_font_name, "Arial");
  EXPECT_EQ(m_window.m_model_name, "");  // a font leaves the model alone
  EXPECT_EQ(result.payload_length, 5);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), m_window.m_data.Data()));
}

TEST_F(DataFileTest, UnterminatedNameCountsAsEmpty) {
  Bytes file = Concat({Text("MyFNT"), Bytes(255, 'x'), {1, 2, 3}});
  const auto result = ReadDataFile(Write(file), m_window);
  ASSERT_EQ(result.outcome, ReadOutcome::kOk);
  EXPECT_EQ(m_window.m_font_name, "");
  EXPECT_EQ(result.payload_length, static_cast<int32_t>(file.size()) - 6);
}

TEST_F(DataFileTest, NameOf254BytesIsTheLongest) {
  const std::string name(254, 'N');
  const auto result = ReadDataFile(Write(Program(name, 3, Block(0, {1}))), m_window);
  ASSERT_EQ(result.outcome, ReadOutcome::kOk);
  EXPECT_EQ(m_window.m_model_name, name);
}

TEST_F(DataFileTest, CannotOpen) {
  for (const std::string& path :
       {std::string(), (m_dir / "missing.bin").string(), m_dir.string()}) {
    m_window.m_file_kind = "kept";
    const auto result = ReadDataFile(path, m_window);
    EXPECT_EQ(result.outcome, ReadOutcome::kCannotOpen) << path;
    EXPECT_EQ(result.text_id, kTextCannotOpen);
    EXPECT_EQ(m_window.m_file_kind, "kept");  // nothing changed
  }
}

TEST_F(DataFileTest, RefusesBadFilesBeforeLoadingAnything) {
  struct Case {
    const char* what;
    Bytes file;
    const char* kind_left;
  };
  const Bytes good_block = Block(0x10, {1, 2, 3});
  const std::vector<Case> cases = {
      {"text file", Text("hello world"), "hello"},
      {"magic in other case", Program("M", 1, good_block), nullptr},
      {"empty file", {}, ""},
      {"magic only", Text("MyBIN"), "MyBIN"},
      {"NUL in magic", Concat({Text("My"), {0}, Text("NT")}), "My"},
      {"name not terminated, file short", Concat({Text("MyBIN"), Text("ABC")}), "MyBIN"},
      {"no progress total", Concat({Text("MyBIN"), Text("M"), {0, 1}}), "MyBIN"},
      {"header cut short", Program("M", 1, Bytes{1, 2, 3, 4, 5, 6, 7}), "MyBIN"},
      {"data cut short", Program("M", 1, Bytes{0, 0, 0, 4, 0, 0, 0, 0, 1, 2, 3}), "MyBIN"},
      {"length above 256", Program("M", 1, Block(0, Bytes(257, 1))), "MyBIN"},
      {"second block cut", Program("M", 1, Concat({good_block, {0, 0}})), "MyBIN"},
  };
  Bytes lower = Program("M", 1, good_block);
  lower[2] = 'b';  // "MybIN"
  for (Case c : cases) {
    if (c.kind_left == nullptr) {
      c.file = lower;
      c.kind_left = "MybIN";
    }
    m_window.m_model_name = "before";
    m_window.m_data.RemoveAll();
    const uint8_t sentinel = 0x77;
    m_window.m_data.Add(sentinel);
    const auto result = ReadDataFile(Write(c.file), m_window);
    EXPECT_EQ(result.outcome, ReadOutcome::kBadData) << c.what;
    EXPECT_EQ(result.text_id, kTextBadData) << c.what;
    EXPECT_EQ(m_window.m_file_kind, c.kind_left) << c.what;
    EXPECT_EQ(m_window.m_model_name, "before") << c.what;
    ASSERT_EQ(m_window.m_data.Size(), 1) << c.what;  // not a byte of the bad file loaded
  }
}

// What a read run in a child process came to. The child is killed when it outlives the
// deadline or grows past the memory allowance: a read that blocks, or that takes in a file
// without end, fails the test instead of hanging it or exhausting the machine.
struct GuardedRead {
  bool finished = false;
  ReadOutcome outcome = ReadOutcome::kOk;
  int text_id = 0;
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
    read = {true, result.outcome, result.text_id, result.payload_length, window.m_data.Size()};
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
  };
  const std::vector<Case> cases = {
      {"directory",
       [&] {
         std::filesystem::create_directory(m_dir / "dir");
         return (m_dir / "dir").string();
       },
       ReadOutcome::kCannotOpen, "kept", 0},
      {"FIFO without a writer",
       [&] {
         const std::string path = (m_dir / "fifo").string();
         EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
         return path;
       },
       ReadOutcome::kCannotOpen, "kept", 0},
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
       ReadOutcome::kCannotOpen, "kept", 0},
      {"endless device", [] { return std::string("/dev/zero"); }, ReadOutcome::kCannotOpen, "kept",
       0},
      {"program of the largest size",
       [&] { return sparse(longest_program_header, kMaxDataFileSize); }, ReadOutcome::kOk, "MyBIN",
       17'301'504},
      {"program a block past it",
       [&] { return sparse(longest_program_header, kMaxDataFileSize + 8); }, ReadOutcome::kBadData,
       "MyBIN", 0},
      {"font of the largest size", [&] { return sparse(font_header, kMaxDataFileSize); },
       ReadOutcome::kOk, "MyFNT", static_cast<int32_t>(kMaxDataFileSize - 7)},
      {"font a byte past it", [&] { return sparse(font_header, kMaxDataFileSize + 1); },
       ReadOutcome::kBadData, "MyFNT", 0},
      {"64 GiB that are no data file", [&] { return sparse(Text("hello"), int64_t{64} << 30); },
       ReadOutcome::kBadData, "hello", 0},
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

TEST_F(DataFileTest, TakeNextBlockCutsEveryBlockAndStepsOnce) {
  struct Case {
    uint32_t address;
    Bytes data;
  };
  const std::vector<Case> blocks = {
      {0x2000, {1, 2, 3, 4}}, {0x2004, {}}, {0x012100, Bytes(256, 0xAB)}, {0x2200, {9}}};
  Bytes payload;
  for (const Case& b : blocks) {
    payload = Concat({payload, Block(b.address, b.data, 0x1234, 0x42)});
  }
  ASSERT_EQ(ReadDataFile(Write(Program("M", 1, payload)), m_window).outcome, ReadOutcome::kOk);
  for (size_t k = 0; k < blocks.size(); ++k) {
    ASSERT_TRUE(m_window.TakeNextBlock()) << k;
    EXPECT_EQ(m_window.progress.steps, static_cast<int>(k + 1));
    const auto& h = m_window.m_block_header;
    EXPECT_EQ(h[0] | (h[1] << 8) | (h[2] << 16), static_cast<int>(blocks[k].address));
    EXPECT_EQ(h[5], 0x34);
    EXPECT_EQ(h[6], 0x12);
    EXPECT_EQ(h[7], 0x42);
    ASSERT_EQ(m_window.m_block_length, static_cast<int32_t>(blocks[k].data.size()));
    EXPECT_TRUE(
        std::equal(blocks[k].data.begin(), blocks[k].data.end(), m_window.m_block_data.begin()));
  }
  EXPECT_FALSE(m_window.TakeNextBlock());
  EXPECT_EQ(m_window.progress.steps, static_cast<int>(blocks.size()));
}

TEST_F(DataFileTest, LengthBytesAreLittleEndian) {
  ASSERT_EQ(ReadDataFile(Write(Program("M", 1, Concat({Block(0, Bytes(256, 1)), Block(0, {2})}))),
                         m_window)
                .outcome,
            ReadOutcome::kOk);
  ASSERT_TRUE(m_window.TakeNextBlock());
  EXPECT_EQ(m_window.m_block_header[3], 0x00);
  EXPECT_EQ(m_window.m_block_header[4], 0x01);
  EXPECT_EQ(m_window.m_block_length, 256);
  ASSERT_TRUE(m_window.TakeNextBlock());
  EXPECT_EQ(m_window.m_block_length, 1);
}

TEST_F(DataFileTest, ParseProgramBlocksDescribesEachBlock) {
  const Bytes payload = Concat({Block(0x010203, {1, 2}, 0xCAFE, 3), Block(0x40, {})});
  std::vector<BlockInfo> blocks;
  ASSERT_TRUE(ParseProgramBlocks(payload.data(), static_cast<int32_t>(payload.size()), &blocks));
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].address, 0x010203u);
  EXPECT_EQ(blocks[0].length, 2);
  EXPECT_EQ(blocks[0].header_crc, 0xCAFE);
  EXPECT_EQ(blocks[0].extra, 3);
  EXPECT_EQ(blocks[0].offset, 8);
  EXPECT_EQ(blocks[1].offset, 18);
}

TEST_F(DataFileTest, ClearBlockZeroesTheCurrentBlock) {
  m_window.m_block_header.fill(9);
  m_window.m_block_length = 5;
  m_window.m_block_data.fill(9);
  m_window.ClearBlock();
  EXPECT_EQ(m_window.m_block_length, 0);
  for (uint8_t b : m_window.m_block_header) {
    EXPECT_EQ(b, 0);
  }
  for (uint8_t b : m_window.m_block_data) {
    EXPECT_EQ(b, 0);
  }
}

}  // namespace
}  // namespace velmar::datafile
