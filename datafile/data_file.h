#pragma once
// Reading and checking a data file: a program ("MyBIN") or a font ("MyFNT").
//
// Layout: the 5-byte magic; a name of 8-bit characters ending in a NUL that lies within the
// 255 bytes after the magic (no NUL there: the name counts as empty); for a program a
// big-endian 16-bit progress total; then the payload to the end of the file. A program payload
// is a sequence of blocks, each an 8-byte header (address 0-2, little-endian length 3-4, CRC
// 5-6, a byte passed on 7) and that many data bytes, at most 256.
//
// Only a regular file is a data file. The magic is read first and the size checked next, so
// a file of any size that is not a data file, or one larger than kMaxDataFileSize, is refused
// before the rest is read. The reading never blocks, and never reads more than one byte past
// that size, however large the file is or grows.
//
// ReadDataFile fills the window's file members and returns the outcome with the text to show:
//   kCannotOpen  (text 106) the file cannot be opened or read, or the path names a directory,
//                FIFO, socket or device; nothing changed.
//   kBadData     (text 102) wrong magic, a file too short for its header, a file larger than
//                kMaxDataFileSize, or a program payload that is not whole blocks. m_file_kind
//                holds the file's first bytes (up to five, ending early at a NUL); the other
//                members are unchanged, so nothing is loaded.
//   The result of a refusal says why (`reason`), with the system's error number and its words
//   when the system reported one, so that the user can be told what to mend.
//   kOk          m_file_kind, the name (m_model_name or m_font_name) and m_data (emptied, then
//                the whole payload) are set; the result carries the kind, the progress total
//                and the payload length.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/load_window.h"

namespace velmar::datafile {

inline constexpr std::string_view kProgramMagic = "MyBIN";
inline constexpr std::string_view kFontMagic = "MyFNT";
inline constexpr int32_t kMagicSize = 5;
inline constexpr int32_t kNameFieldSize = 255;
inline constexpr int32_t kProgressTotalSize = 2;

// Blocks and fonts are placed by 24-bit addresses.
inline constexpr int64_t kAddressSpace = int64_t{1} << 24;
// The largest data file: the longest header (magic, a name filling its field, progress total)
// and a program whose full blocks cover the whole address space. A font's data fits the
// address space, so a font is smaller still.
inline constexpr int64_t kMaxDataFileSize =
    kMagicSize + kNameFieldSize + kProgressTotalSize +
    kAddressSpace / kMaxBlockLength * (kBlockHeaderSize + kMaxBlockLength);
static_assert(kMaxDataFileSize == 17'301'766);

// Texts of the string table that the reading reports.
inline constexpr int kTextBadData = 102;
inline constexpr int kTextCannotOpen = 106;

enum class FileKind { kProgram, kFont };

enum class ReadOutcome { kOk, kCannotOpen, kBadData };

enum class RefusalReason {
  kNone,
  // kCannotOpen
  kMissing,     // no such file
  kNoAccess,    // the user may not read it
  kFolder,      // a directory
  kNotAFile,    // a FIFO, socket or device
  kUnreadable,  // any other failure to open or read
  // kBadData
  kNotDataFile,  // the magic is neither a program's nor a font's
  kTooLarge,     // larger than kMaxDataFileSize
  kDamaged,      // cut short in its header, or a program payload that is not whole blocks
};

struct DataFileResult {
  ReadOutcome outcome = ReadOutcome::kCannotOpen;
  int text_id = kTextCannotOpen;  // 0 when the outcome is kOk
  RefusalReason reason = RefusalReason::kUnreadable;
  int system_error = 0;     // errno or GetLastError; 0 when the system reported none
  std::string system_text;  // the system's words for it, UTF-8; may be empty
  FileKind kind = FileKind::kProgram;
  uint16_t progress_total = 0;  // programs only
  int32_t payload_length = 0;
};

DataFileResult ReadDataFile(const std::string& path, LoadWindow& window);

// Sets a progress bar up for a load of the file read: the range from 0 to a program's total
// plus kProgramRangeExtra, or to a font's length, as a 32-bit range (a 16-bit one wraps from a
// program total of 64741 or a 64 KiB font on), kLoadStep as the step, and position 0.
void SetUpProgress(platform::Window* bar, const DataFileResult& file);

// One block of a program payload, as the file describes it.
struct BlockInfo {
  uint32_t address = 0;  // 24 bits
  int32_t length = 0;
  uint16_t header_crc = 0;
  uint8_t extra = 0;
  int32_t offset = 0;  // of the block's data within the payload
};

// The blocks of a program payload; false when it is not a whole sequence of blocks.
bool ParseProgramBlocks(const uint8_t* payload, int32_t size, std::vector<BlockInfo>* blocks);

}  // namespace velmar::datafile
