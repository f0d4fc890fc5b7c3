#include "datafile/data_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/progress_messages.h"
#include "tests/datafile/data_file_fixture.h"

namespace velmar::datafile {
namespace {

using namespace test_files;
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

// Why, with the system's words when the system gave a reason.
TEST_F(DataFileTest, CannotOpen) {
  const struct {
    std::string path;
    RefusalReason reason;
    bool system_text;
  } cases[] = {
      {std::string(), RefusalReason::kMissing, true},
      {(m_dir / "missing.bin").string(), RefusalReason::kMissing, true},
      {(m_dir / "missing" / "x.bin").string(), RefusalReason::kMissing, true},
      {m_dir.string(), RefusalReason::kFolder, false},
  };
  for (const auto& c : cases) {
    m_window.m_file_kind = "kept";
    const auto result = ReadDataFile(c.path, m_window);
    EXPECT_EQ(result.outcome, ReadOutcome::kCannotOpen) << c.path;
    EXPECT_EQ(result.text_id, kTextCannotOpen);
    EXPECT_EQ(result.reason, c.reason) << c.path;
    EXPECT_EQ(result.system_error != 0, !result.system_text.empty()) << c.path;
    if (c.system_text) {
      EXPECT_FALSE(result.system_text.empty()) << c.path;
    }
    EXPECT_EQ(m_window.m_file_kind, "kept");  // nothing changed
  }
}

TEST_F(DataFileTest, RefusesBadFilesBeforeLoadingAnything) {
  struct Case {
    const char* what;
    Bytes file;
    const char* kind_left;
    RefusalReason reason = RefusalReason::kDamaged;
  };
  const Bytes good_block = Block(0x10, {1, 2, 3});
  const std::vector<Case> cases = {
      {"text file", Text("hello world"), "hello", RefusalReason::kNotDataFile},
      {"magic in other case", Program("M", 1, good_block), nullptr, RefusalReason::kNotDataFile},
      {"empty file", {}, "", RefusalReason::kNotDataFile},
      {"magic only", Text("MyBIN"), "MyBIN"},
      {"NUL in magic", Concat({Text("My"), {0}, Text("NT")}), "My", RefusalReason::kNotDataFile},
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
    EXPECT_EQ(result.reason, c.reason) << c.what;
    EXPECT_EQ(m_window.m_file_kind, c.kind_left) << c.what;
    EXPECT_EQ(m_window.m_model_name, "before") << c.what;
    ASSERT_EQ(m_window.m_data.Size(), 1) << c.what;  // not a byte of the bad file loaded
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
