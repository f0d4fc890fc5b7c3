#include "datafile/data_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace velmar::datafile {

namespace {

constexpr int32_t kProgressTotalSize = 2;

DataFileResult Refused(ReadOutcome outcome) {
  DataFileResult result;
  result.outcome = outcome;
  result.text_id = outcome == ReadOutcome::kCannotOpen ? kTextCannotOpen : kTextBadData;
  return result;
}

// The magic as text, ending early at a NUL among its bytes.
std::string KindText(const std::vector<uint8_t>& file) {
  const auto magic_end = file.begin() + std::min<size_t>(file.size(), kMagicSize);
  return std::string(file.begin(), std::find(file.begin(), magic_end, uint8_t{0}));
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  if (path.empty()) {
    return false;
  }
  // stdio rather than streams: no exceptions, and a directory fails on its first read.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    return false;
  }
  constexpr size_t kChunk = 64 * 1024;
  bytes->clear();
  size_t got;
  do {
    const size_t at = bytes->size();
    bytes->resize(at + kChunk);
    got = std::fread(bytes->data() + at, 1, kChunk, file.get());
    bytes->resize(at + got);
  } while (got == kChunk);
  return std::ferror(file.get()) == 0;
}

}  // namespace

bool ParseProgramBlocks(const uint8_t* payload, int32_t size, std::vector<BlockInfo>* blocks) {
  int32_t at = 0;
  while (at < size) {
    if (size - at < kBlockHeaderSize) {
      return false;
    }
    const uint8_t* header = payload + at;
    BlockInfo block;
    block.address = header[kHeaderAddressLow] | (header[kHeaderAddressMid] << 8) |
                    (header[kHeaderAddressHigh] << 16);
    block.length = header[kHeaderLengthLow] | (header[kHeaderLengthHigh] << 8);
    block.header_crc = static_cast<uint16_t>(header[kHeaderCrcLow] | (header[kHeaderCrcHigh] << 8));
    block.extra = header[kHeaderExtra];
    block.offset = at + kBlockHeaderSize;
    if (block.length > kMaxBlockLength || size - block.offset < block.length) {
      return false;
    }
    if (blocks != nullptr) {
      blocks->push_back(block);
    }
    at = block.offset + block.length;
  }
  return true;
}

DataFileResult ReadDataFile(const std::string& path, LoadWindow& window) {
  std::vector<uint8_t> file;
  if (!ReadWholeFile(path, &file)) {
    return Refused(ReadOutcome::kCannotOpen);
  }
  window.m_file_kind = KindText(file);
  const bool program = window.m_file_kind == kProgramMagic;
  if (!program && window.m_file_kind != kFontMagic) {
    return Refused(ReadOutcome::kBadData);
  }

  const auto name_begin = file.begin() + std::min<size_t>(file.size(), kMagicSize);
  const auto name_field_end =
      name_begin + std::min<ptrdiff_t>(file.end() - name_begin, kNameFieldSize);
  const auto nul = std::find(name_begin, name_field_end, uint8_t{0});
  if (nul == name_field_end) {
    // No terminator: either the file ends inside its header, or the name is unterminated and
    // counts as empty with the payload where an empty name would put it.
    if (file.size() < static_cast<size_t>(kMagicSize + kNameFieldSize)) {
      return Refused(ReadOutcome::kBadData);
    }
  }
  const std::string name = nul == name_field_end ? std::string() : std::string(name_begin, nul);
  const size_t name_length = name.size();
  const size_t payload_offset = kMagicSize + name_length + 1 + (program ? kProgressTotalSize : 0);
  if (file.size() < payload_offset) {
    return Refused(ReadOutcome::kBadData);
  }
  const size_t payload_size = file.size() - payload_offset;
  if (payload_size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    return Refused(ReadOutcome::kBadData);
  }
  const uint8_t* payload = file.data() + payload_offset;
  const auto payload_length = static_cast<int32_t>(payload_size);
  if (program && !ParseProgramBlocks(payload, payload_length, nullptr)) {
    return Refused(ReadOutcome::kBadData);
  }

  DataFileResult result;
  result.outcome = ReadOutcome::kOk;
  result.text_id = 0;
  result.kind = program ? FileKind::kProgram : FileKind::kFont;
  result.payload_length = payload_length;
  if (program) {
    window.m_model_name = name;
    result.progress_total =
        static_cast<uint16_t>((file[payload_offset - 2] << 8) | file[payload_offset - 1]);
  } else {
    window.m_font_name = name;
  }
  window.m_data.RemoveAll();
  window.m_data.Append(payload, payload_length);
  return result;
}

}  // namespace velmar::datafile
