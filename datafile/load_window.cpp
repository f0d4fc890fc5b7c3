#include "datafile/load_window.h"

#include <algorithm>
#include <cstring>

#include "datafile/data_file.h"
#include "platform/progress_messages.h"

namespace velmar::datafile {

bool LoadWindow::TakeNextBlock() {
  if (m_data.IsEmpty()) {
    return false;
  }
  const int32_t header_bytes = std::min(kBlockHeaderSize, m_data.Size());
  m_block_header.fill(0);
  std::memcpy(m_block_header.data(), m_data.Data(), static_cast<size_t>(header_bytes));
  // Never more than the block buffer holds, whatever the header claims.
  m_block_length = std::min(
      kMaxBlockLength, m_block_header[kHeaderLengthLow] + 256 * m_block_header[kHeaderLengthHigh]);
  m_data.RemoveFront(header_bytes);

  const int32_t data_bytes = std::min(m_block_length, m_data.Size());
  if (data_bytes > 0) {
    std::memcpy(m_block_data.data(), m_data.Data(), static_cast<size_t>(data_bytes));
  }
  platform::SendMessage(ProgressWindow(), platform::PBM_STEPIT);
  m_data.RemoveFront(data_bytes);
  return true;
}

void LoadWindow::ClearBlock() {
  m_block_header.fill(0);
  m_block_length = 0;
  m_block_data.fill(0);
}

bool LoadWindow::IsFontLoad() const {
  return m_file_kind == kFontMagic;
}

}  // namespace velmar::datafile
