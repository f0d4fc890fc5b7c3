// The boot protocol's ProcessReply on any reply stream, in any batching, for program and font
// loads, through the tests' scripted transport. The fuzz thread plays the printer and delivers
// each batch itself, as the protocol tests do, so that no delivery thread and no clock decide
// anything; the run's Watchdog thread only counts its 2 s, far longer than an input takes.
//
// Input: a flags byte (bit 0: a font load), the file's model name (a length byte, then the
// name), the payload (a little-endian length word, then the bytes: program blocks or font
// data), then the printer's batches (see fuzz_input.h). A program payload that is not whole
// blocks is not loaded, as the reader refuses it.
//
// Beside the sanitizers, the run must keep its promises: one ending at most and nothing written
// or posted after it; a receive buffer that never outgrows the longest reply; every frame one of
// the protocol's, each data frame as long as the "d" before it announced; a completed load with
// nothing left to send; and a transport used in its calling order.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "datafile/data_file.h"
#include "engine/downloader.h"
#include "engine/frames.h"
#include "engine/load_notification.h"
#include "fuzz/check.h"
#include "fuzz/fuzz_input.h"
#include "platform/window_message.h"
#include "tests/engine/test_doubles.h"

namespace velmar::fuzz {
namespace {

namespace fr = engine::frames;
using engine::testing::RecordingWindow;
using engine::testing::ScriptedLine;

// Checks each frame the run writes against the one before it, and the data frames together
// against the data the file holds, in order.
class FrameChecker {
 public:
  explicit FrameChecker(Bytes data) : m_data(std::move(data)) {}

  void Next(const Bytes& frame) {
    Check(!frame.empty() && frame.size() <= fr::kDataHeaderSize + datafile::kMaxBlockLength,
          "a frame holds at most one block");
    if (m_frames++ == 0) {
      Check(frame == Bytes(fr::kWakeUp.begin(), fr::kWakeUp.end()), "the load opens with BOOT");
      return;
    }
    if (m_frames == 2) {
      Check(frame.size() == 1 && (frame[0] == fr::kAckA0 || frame[0] == fr::kAckA1),
            "the wake-up reply is acknowledged with one byte");
      return;
    }
    Check(frame.size() >= fr::kShortFrameSize && frame[0] == fr::kMarker,
          "a command is a marker, a letter, two arguments and a status byte");
    const uint8_t letter = frame[1];
    Check(letter == m_next, "the commands go r, a, d, e, w, block after block");
    m_next = NextLetter(letter);
    if (letter == fr::kData) {
      Check(frame.size() == fr::kDataHeaderSize + static_cast<size_t>(m_announced),
            "a data frame is as long as its \"d\" announced");
      const size_t length = frame.size() - fr::kDataHeaderSize;
      Check(m_sent + length <= m_data.size() &&
                std::equal(frame.begin() + fr::kDataHeaderSize, frame.end(),
                           m_data.begin() + static_cast<ptrdiff_t>(m_sent)),
            "the data frames carry the file's data, each byte once, in order");
      m_sent += length;
      return;
    }
    Check(frame.size() == fr::kShortFrameSize, "a command is five bytes");
    if (letter == fr::kLength) {
      m_announced = frame[2] | frame[3] << 8;
      Check(m_announced <= datafile::kMaxBlockLength, "a block holds at most 256 bytes");
    }
    if (letter == fr::kWrite) {
      m_last_write = frame[4];
    }
  }

  // The status byte of the last "w"; the final one carries both end bits.
  bool EndedWithLastWrite() const {
    return (m_last_write & fr::kStatusLastBlock) == fr::kStatusLastBlock;
  }
  bool SentAllData() const { return m_sent == m_data.size(); }

 private:
  static uint8_t NextLetter(uint8_t letter) {
    switch (letter) {
      case fr::kRead:
        return fr::kAddress;
      case fr::kAddress:
        return fr::kLength;
      case fr::kLength:
        return fr::kData;
      case fr::kData:
        return fr::kWrite;
      default:
        return fr::kRead;
    }
  }

  const Bytes m_data;
  size_t m_sent = 0;
  size_t m_frames = 0;
  uint8_t m_next = fr::kRead;
  int32_t m_announced = 0;
  uint8_t m_last_write = 0;
};

// The data bytes a load sends: a font's payload, or the data of a program's blocks.
Bytes DataOf(bool font, std::span<const uint8_t> payload) {
  if (font) {
    return Bytes(payload.begin(), payload.end());
  }
  std::vector<datafile::BlockInfo> blocks;
  datafile::ParseProgramBlocks(payload.data(), static_cast<int32_t>(payload.size()), &blocks);
  Bytes data;
  for (const datafile::BlockInfo& block : blocks) {
    data.insert(data.end(), payload.begin() + block.offset,
                payload.begin() + block.offset + block.length);
  }
  return data;
}

class Printer {
 public:
  Printer(bool font, std::span<const uint8_t> model, std::span<const uint8_t> payload)
      : m_font(font), m_line(std::make_shared<ScriptedLine>()), m_frames(DataOf(font, payload)) {
    m_window.LoadPayload(std::string(model.begin(), model.end()),
                         Bytes(payload.begin(), payload.end()));
    m_run = std::make_unique<engine::Downloader>(&m_window, ScriptedLine::Factory(m_line));
    if (font) {
      m_run->StartFontLoad();
    } else {
      m_run->StartProgramLoad();
    }
    Settle();
  }

  ~Printer() {
    const size_t notes = m_window.Count();
    m_run.reset();
    Pump();
    Check(m_window.Count() == notes, "destroying a run posts nothing");
    Check(m_line->Violations().empty(), "the transport is used in its calling order");
  }

  void Deliver(std::span<const uint8_t> batch) {
    const bool ended_before = m_window.Endings() > 0;
    const size_t writes = m_line->WriteCount();
    const size_t notes = m_window.Count();
    const int32_t rx_before = m_run->m_rx.Size();
    m_line->Push(Bytes(batch.begin(), batch.end()));
    // A transport hands over what it holds a read's worth at a time, and tells of every
    // delivery, even one that brings nothing.
    do {
      m_run->OnDataReceived();
    } while (m_line->Pending() > 0);
    Settle();
    if (ended_before) {
      Check(m_line->WriteCount() == writes, "nothing is written after the ending");
      Check(m_window.Count() == notes, "nothing is posted after the ending");
      Check(m_run->m_rx.Size() == rx_before, "bytes after the ending are not kept");
    }
  }

 private:
  void Pump() {
    while (m_queue.DispatchPending() > 0) {
    }
  }

  // Pumps the notifications and checks the run as it now stands.
  void Settle() {
    Pump();
    if (m_line->WriteCount() > m_checked) {
      const std::vector<Bytes> writes = m_line->Writes();
      for (; m_checked < writes.size(); ++m_checked) {
        m_frames.Next(writes[m_checked]);
      }
    }
    const size_t endings = m_window.Endings();
    Check(endings <= 1, "a run tells one outcome");
    Check(m_window.Count(engine::LN_STATUS) <= 1, "the model is shown once");
    Check(m_run->IsBusy() || endings == 1, "a run goes idle only when it ends");
    Check(m_run->BytesDue() >= 0 && (endings == 0 || m_run->BytesDue() == 0),
          "an ended run awaits nothing");
    if (endings == 0) {
      Check(m_run->m_rx.Size() <= fr::kMaxIdentReply,
            "the receive buffer never outgrows the longest reply");
    }
    if (m_window.Count(engine::LN_DONE) == 1) {
      Check(!m_run->IsBusy(), "a completed run is idle");
      Check(m_window.m_data.IsEmpty(), "a completed load has sent everything");
      Check(m_frames.EndedWithLastWrite(), "a completed load ends with the last \"w\"");
      Check(m_frames.SentAllData(), "a completed load has sent every data byte");
    }
    if (m_font) {
      Check(m_window.Steps() == 0, "a font steps through LN_STEP");
    } else {
      Check(m_window.Count(engine::LN_STEP) == 0, "a program steps through its blocks");
    }
  }

  const bool m_font;
  platform::MessageQueue& m_queue = Queue();
  RecordingWindow m_window{m_queue};
  std::shared_ptr<ScriptedLine> m_line;
  std::unique_ptr<engine::Downloader> m_run;
  FrameChecker m_frames;
  size_t m_checked = 0;

  // The fuzz thread's queue, for the life of the process: one per thread.
  static platform::MessageQueue& Queue() {
    static platform::MessageQueue queue;
    return queue;
  }
};

}  // namespace
}  // namespace velmar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmar::fuzz;
  FuzzInput input(data, size);
  const bool font = (input.Byte() & 1) != 0;
  const std::span<const uint8_t> model = input.Take(input.Byte());
  const std::span<const uint8_t> payload = input.Take(input.Word());
  if (!font && !velmar::datafile::ParseProgramBlocks(
                   payload.data(), static_cast<int32_t>(payload.size()), nullptr)) {
    return 0;  // the reader refuses a program that is not whole blocks: it is never loaded
  }
  Printer printer(font, model, payload);
  std::span<const uint8_t> batch;
  while (input.Batch(&batch)) {
    printer.Deliver(batch);
  }
  return 0;
}
