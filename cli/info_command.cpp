#include <cstdio>
#include <vector>

#include "cli/load_command.h"
#include "cli/printer_window.h"
#include "cli/refusal_text.h"
#include "datafile/data_file.h"
#include "engine/crc16.h"
#include "platform/console_output.h"
#include "texts/string_table.h"
#include "texts/text_encoding.h"

namespace velmar::cli {

namespace {

struct Range {
  uint32_t first;
  uint32_t end;  // one past the last byte
};

// Blocks that follow each other in memory make one range.
std::vector<Range> AddressRanges(const std::vector<datafile::BlockInfo>& blocks) {
  std::vector<Range> ranges;
  for (const auto& block : blocks) {
    const uint32_t end = block.address + static_cast<uint32_t>(block.length);
    if (!ranges.empty() && ranges.back().end == block.address) {
      ranges.back().end = end;
    } else if (block.length > 0) {
      ranges.push_back({block.address, end});
    }
  }
  return ranges;
}

}  // namespace

int RunInfo(const Options& options) {
  platform::MessageQueue queue;
  PrinterWindow window(queue, {});
  const datafile::DataFileResult file = datafile::ReadDataFile(options.file, window);
  if (file.outcome != datafile::ReadOutcome::kOk) {
    return ReportRefusedFile(file, options.file);
  }
  const uint8_t* payload = window.m_data.Data();
  if (file.kind == datafile::FileKind::kFont) {
    std::printf("kind: font (MyFNT)\n");
    platform::WriteText(stdout, "font name: " + texts::DisplayName(window.m_font_name) + "\n");
    std::printf("bytes: %d\n", file.payload_length);
    std::printf("progress total: %d\n", file.payload_length & 0xFFFF);
    return kExitSuccess;
  }
  std::vector<datafile::BlockInfo> blocks;
  datafile::ParseProgramBlocks(payload, file.payload_length, &blocks);
  int64_t data_bytes = 0;
  for (const auto& block : blocks) {
    data_bytes += block.length;
  }
  std::printf("kind: program (MyBIN)\n");
  platform::WriteText(stdout, "model: " + texts::DisplayName(window.m_model_name) + "\n");
  std::printf("progress total: %u (bar range 0..%u)\n", file.progress_total,
              static_cast<uint16_t>(file.progress_total + datafile::kProgramRangeExtra));
  std::printf("blocks: %zu\nbytes: %lld data, %d payload\n", blocks.size(),
              static_cast<long long>(data_bytes), file.payload_length);
  for (const Range& range : AddressRanges(blocks)) {
    std::printf("range: 0x%06X-0x%06X (%u bytes)\n", range.first, range.end - 1,
                range.end - range.first);
  }
  int mismatches = 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const auto& block = blocks[i];
    const uint16_t crc = engine::Crc16(payload + block.offset, block.length);
    if (crc != block.header_crc) {
      ++mismatches;
      std::printf("block %zu at 0x%06X: header CRC 0x%04X, data CRC 0x%04X\n", i + 1, block.address,
                  block.header_crc, crc);
    }
  }
  std::printf("CRC mismatches: %d\n", mismatches);
  return kExitSuccess;
}

}  // namespace velmar::cli
