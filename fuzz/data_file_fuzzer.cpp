// The data-file reader on any file content: the input is the file. Beside the sanitizers, the
// outcome must agree with a plain reading of the format written here, a refused file must leave
// the window's members as they were, and a loaded program must cut into exactly its blocks.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "datafile/data_file.h"
#include "datafile/load_window.h"
#include "fuzz/check.h"
#include "platform/progress_messages.h"
#include "platform/window_message.h"
#include "tests/support/step_counting_window.h"

namespace velmar::fuzz {
namespace {

using datafile::ReadOutcome;

using FileWindow = test::StepCountingWindow;

// What a file holds, read straight from the format's description.
struct Expected {
  std::string kind;  // the first bytes, up to five, ending early at a NUL
  bool ok = false;
  bool program = false;
  std::string name;
  uint16_t progress_total = 0;
  size_t payload_offset = 0;
  std::vector<size_t> block_offsets;  // of each program block's header
};

Expected Read(const std::vector<uint8_t>& file) {
  constexpr size_t kMagic = 5;
  constexpr size_t kNameField = 255;
  Expected e;
  for (size_t i = 0; i < std::min(kMagic, file.size()) && file[i] != 0; ++i) {
    e.kind += static_cast<char>(file[i]);
  }
  if (e.kind != "MyBIN" && e.kind != "MyFNT") {
    return e;
  }
  e.program = e.kind == "MyBIN";
  size_t name_length = 0;
  size_t nul = kMagic;
  while (nul < file.size() && nul < kMagic + kNameField && file[nul] != 0) {
    ++nul;
  }
  if (nul < file.size() && nul < kMagic + kNameField) {
    name_length = nul - kMagic;
    e.name.assign(file.begin() + kMagic, file.begin() + static_cast<ptrdiff_t>(nul));
  } else if (file.size() < kMagic + kNameField) {
    return e;  // the file ends inside its name
  }
  e.payload_offset = kMagic + name_length + 1 + (e.program ? 2 : 0);
  if (file.size() < e.payload_offset) {
    return e;
  }
  if (e.program) {
    e.progress_total =
        static_cast<uint16_t>(file[e.payload_offset - 2] << 8 | file[e.payload_offset - 1]);
    for (size_t at = e.payload_offset; at < file.size();) {
      if (file.size() - at < 8) {
        return e;
      }
      const size_t length = file[at + 3] | file[at + 4] << 8;
      if (length > 256 || file.size() - at - 8 < length) {
        return e;
      }
      e.block_offsets.push_back(at);
      at += 8 + length;
    }
  }
  e.ok = true;
  return e;
}

// The file lives in memory: a file on disk, truncated for every input, costs more time than
// the reading itself. Its /proc path names a regular file, as a data file must be.
class ScratchFile {
 public:
  ScratchFile() : m_fd(::memfd_create("velmar-fuzz-data-file", MFD_CLOEXEC)) {
    Check(m_fd >= 0, "an in-memory file can be made");
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
  }
  ~ScratchFile() { ::close(m_fd); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Hold(const uint8_t* data, size_t size) {
    Check(::ftruncate(m_fd, 0) == 0, "the scratch file empties");
    size_t done = 0;
    while (done < size) {
      const ssize_t put = ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
      Check(put > 0, "the scratch file takes the input");
      done += static_cast<size_t>(put);
    }
    return m_path;
  }

 private:
  int m_fd;
  std::string m_path;
};

void CheckLoaded(const std::vector<uint8_t>& file, const Expected& e,
                 const datafile::DataFileResult& result, FileWindow& window) {
  Check(result.outcome == ReadOutcome::kOk, "a well-formed file is loaded");
  Check(result.text_id == 0, "a loaded file has no text to show");
  Check((result.kind == datafile::FileKind::kProgram) == e.program, "the kind is the magic's");
  Check(window.m_file_kind == e.kind, "the kind text is the magic");
  const size_t payload = file.size() - e.payload_offset;
  Check(result.payload_length == static_cast<int32_t>(payload), "the payload runs to the end");
  Check(window.m_data.Size() == static_cast<int32_t>(payload) &&
            std::equal(file.begin() + static_cast<ptrdiff_t>(e.payload_offset), file.end(),
                       window.m_data.Data()),
        "m_data holds the payload");
  if (!e.program) {
    Check(window.m_font_name == e.name, "the font's name is read");
    Check(window.m_model_name == "before", "a font leaves the model name");
    return;
  }
  Check(window.m_model_name == e.name, "the program's model name is read");
  Check(result.progress_total == e.progress_total, "the progress total is big-endian");
  for (size_t at : e.block_offsets) {
    Check(window.TakeNextBlock(), "every block is taken");
    Check(std::equal(window.m_block_header.begin(), window.m_block_header.end(),
                     file.begin() + static_cast<ptrdiff_t>(at)),
          "the header is the file's");
    const int32_t length = file[at + 3] | file[at + 4] << 8;
    Check(window.m_block_length == length, "the length is the header's");
    Check(std::equal(window.m_block_data.begin(), window.m_block_data.begin() + length,
                     file.begin() + static_cast<ptrdiff_t>(at + 8)),
          "the data follows the header");
  }
  Check(!window.TakeNextBlock(), "nothing follows the last block");
  Check(window.progress.steps == static_cast<int>(e.block_offsets.size()), "one step per block");
}

}  // namespace
}  // namespace velmar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmar;
  const std::vector<uint8_t> file(data, data + size);
  static fuzz::ScratchFile scratch;
  static platform::MessageQueue queue;
  fuzz::FileWindow window(queue);
  window.m_model_name = "before";
  window.m_font_name = "before";
  constexpr uint8_t kSentinel = 0x77;
  window.m_data.Add(kSentinel);

  const datafile::DataFileResult result = datafile::ReadDataFile(scratch.Hold(data, size), window);
  const fuzz::Expected expected = fuzz::Read(file);
  fuzz::Check(result.outcome != datafile::ReadOutcome::kCannotOpen, "a regular file opens");
  if (expected.ok) {
    fuzz::CheckLoaded(file, expected, result, window);
    return 0;
  }
  fuzz::Check(result.outcome == datafile::ReadOutcome::kBadData, "a malformed file is refused");
  fuzz::Check(result.text_id == datafile::kTextBadData, "a refusal shows text 102");
  fuzz::Check(window.m_file_kind == expected.kind, "a refusal keeps the file's first bytes");
  fuzz::Check(window.m_model_name == "before" && window.m_font_name == "before",
              "a refusal loads no name");
  fuzz::Check(window.m_data.Size() == 1 && window.m_data[0] == kSentinel,
              "a refusal loads no byte");
  return 0;
}
