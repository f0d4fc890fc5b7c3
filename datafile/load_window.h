#pragma once
// The window side of a load, without any GUI: the members that hold the loaded data file, the
// cutting of a program payload into blocks, and the reception of the engine's notifications
// (it is a Window; notifications arrive through HandleMessage on the window's thread).
//
// The user-interface thread fills the file members before a run exists and then only reads
// m_file_kind and m_model_name; the run's delivery thread reads and writes the block members
// and m_data (and, in a font load, m_model_name before it posts the status notification).
//   TakeNextBlock  cuts the next block of a program payload from the front of m_data into the
//                  block members, steps the progress window once (a synchronous send) and
//                  returns true; returns false, changing nothing, when m_data is empty.
//                  A payload that is not whole blocks is refused when the file is read, so
//                  m_data always holds whole blocks here; a short remainder is taken as far
//                  as it goes, never read past.
//   IsFontLoad     whether the last file read is a font ("MyFNT"); anything else is a program.
//   kLoadStep, kProgramRangeExtra
//                  the progress bar's step for a block (its frame on the line), and what a
//                  program's range holds beyond the file's total: the exchanges around the blocks.

#include <array>
#include <cstdint>
#include <string>

#include "platform/byte_array.h"
#include "platform/window_message.h"

namespace velmar::datafile {

inline constexpr int32_t kBlockHeaderSize = 8;
inline constexpr int32_t kMaxBlockLength = 256;
inline constexpr int32_t kLoadStep = 265;
inline constexpr int32_t kProgramRangeExtra = 3 * kLoadStep;

// Positions in a block header.
inline constexpr int kHeaderAddressLow = 0;
inline constexpr int kHeaderAddressMid = 1;
inline constexpr int kHeaderAddressHigh = 2;
inline constexpr int kHeaderLengthLow = 3;
inline constexpr int kHeaderLengthHigh = 4;
inline constexpr int kHeaderCrcLow = 5;
inline constexpr int kHeaderCrcHigh = 6;
inline constexpr int kHeaderExtra = 7;

class LoadWindow : public platform::Window {
 public:
  LoadWindow() = default;
  explicit LoadWindow(platform::MessageQueue& queue) : platform::Window(queue) {}

  bool TakeNextBlock();
  bool IsFontLoad() const;

  // Clears the current block: header, length and data all zero.
  void ClearBlock();

  std::string m_model_name;
  std::string m_font_name;
  std::string m_file_kind;
  std::array<uint8_t, kBlockHeaderSize> m_block_header{};
  int32_t m_block_length = 0;
  std::array<uint8_t, kMaxBlockLength> m_block_data{};
  platform::ByteArray m_data;

 protected:
  // The window that is stepped once for every block taken; null for none.
  virtual platform::Window* ProgressWindow() = 0;
};

}  // namespace velmar::datafile
