#include "datafile/data_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/file_probe.h"
#include "platform/progress_messages.h"
#include "platform/system_error.h"

namespace velmar::datafile {

namespace {

DataFileResult Refused(RefusalReason reason) {
  DataFileResult result;
  result.outcome =
      reason < RefusalReason::kNotDataFile ? ReadOutcome::kCannotOpen : ReadOutcome::kBadData;
  result.text_id = result.outcome == ReadOutcome::kCannotOpen ? kTextCannotOpen : kTextBadData;
  result.reason = reason;
  return result;
}

// Why the source could not be opened or read, in the file's terms.
DataFileResult CannotRead(const platform::ProbedFile& source) {
  using platform::ProbeFault;
  static constexpr struct {
    ProbeFault fault;
    RefusalReason reason;
  } kReasons[] = {
      {ProbeFault::kMissing, RefusalReason::kMissing},
      {ProbeFault::kAccessDenied, RefusalReason::kNoAccess},
      {ProbeFault::kFolder, RefusalReason::kFolder},
      {ProbeFault::kNotAFile, RefusalReason::kNotAFile},
  };
  RefusalReason reason = RefusalReason::kUnreadable;
  for (const auto& entry : kReasons) {
    if (entry.fault == source.Fault()) {
      reason = entry.reason;
    }
  }
  DataFileResult result = Refused(reason);
  result.system_error = source.Error();
  result.system_text = platform::SystemErrorText(source.Error());
  return result;
}

// The magic as text, ending early at a NUL among its bytes.
std::string KindText(const std::vector<uint8_t>& file) {
  const auto magic_end = file.begin() + std::min<size_t>(file.size(), kMagicSize);
  return std::string(file.begin(), std::find(file.begin(), magic_end, uint8_t{0}));
}

// Appends what the file holds from its current position until it ends or `bytes` holds
// `limit`; false on a read error.
bool ReadUpTo(platform::ProbedFile& source, size_t limit, std::vector<uint8_t>* bytes) {
  constexpr size_t kChunk = 64 * 1024;
  std::vector<uint8_t> chunk(std::min(kChunk, limit));
  while (bytes->size() < limit) {
    const int64_t got = source.Read(
        chunk.data(), static_cast<int64_t>(std::min(chunk.size(), limit - bytes->size())));
    if (got < 0) {
      return false;
    }
    if (got == 0) {
      break;
    }
    bytes->insert(bytes->end(), chunk.begin(), chunk.begin() + got);
  }
  return true;
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
  platform::ProbedFile source;
  std::vector<uint8_t> file;
  if (source.Open(path) != platform::ProbeResult::kRegularFile ||
      !ReadUpTo(source, kMagicSize, &file)) {
    return CannotRead(source);
  }
  const std::string kind = KindText(file);
  const bool program = kind == kProgramMagic;
  if ((!program && kind != kFontMagic) || source.Size() > kMaxDataFileSize) {
    window.m_file_kind = kind;
    return Refused(program || kind == kFontMagic ? RefusalReason::kTooLarge
                                                 : RefusalReason::kNotDataFile);
  }
  // One byte past the limit tells a file that has grown since it was opened.
  file.reserve(static_cast<size_t>(source.Size()) + 1);
  if (!ReadUpTo(source, kMaxDataFileSize + 1, &file)) {
    return CannotRead(source);
  }
  window.m_file_kind = kind;
  if (file.size() > static_cast<size_t>(kMaxDataFileSize)) {
    return Refused(RefusalReason::kTooLarge);
  }

  const auto name_begin = file.begin() + std::min<size_t>(file.size(), kMagicSize);
  const auto name_field_end =
      name_begin + std::min<ptrdiff_t>(file.end() - name_begin, kNameFieldSize);
  const auto nul = std::find(name_begin, name_field_end, uint8_t{0});
  if (nul == name_field_end) {
    // No terminator: either the file ends inside its header, or the name is unterminated and
    // counts as empty with the payload where an empty name would put it.
    if (file.size() < static_cast<size_t>(kMagicSize + kNameFieldSize)) {
      return Refused(RefusalReason::kDamaged);
    }
  }
  const std::string name = nul == name_field_end ? std::string() : std::string(name_begin, nul);
  const size_t name_length = name.size();
  const size_t payload_offset = kMagicSize + name_length + 1 + (program ? kProgressTotalSize : 0);
  if (file.size() < payload_offset) {
    return Refused(RefusalReason::kDamaged);
  }
  const size_t payload_size = file.size() - payload_offset;
  if (payload_size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    return Refused(RefusalReason::kTooLarge);
  }
  const uint8_t* payload = file.data() + payload_offset;
  const auto payload_length = static_cast<int32_t>(payload_size);
  if (program && !ParseProgramBlocks(payload, payload_length, nullptr)) {
    return Refused(RefusalReason::kDamaged);
  }

  DataFileResult result;
  result.outcome = ReadOutcome::kOk;
  result.text_id = 0;
  result.reason = RefusalReason::kNone;
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

void SetUpProgress(platform::Window* bar, const DataFileResult& file) {
  const int32_t upper = file.kind == FileKind::kProgram
                            ? int32_t{file.progress_total} + kProgramRangeExtra
                            : file.payload_length;
  platform::SendMessage(bar, platform::PBM_SETRANGE32, 0, upper);
  platform::SendMessage(bar, platform::PBM_SETSTEP, kLoadStep);
  platform::SendMessage(bar, platform::PBM_SETPOS, 0);
}

}  // namespace velmar::datafile
