#pragma once
// The controller's boot loader, as a strict peer of the tool: bytes in, replies out.
//
// Principles of operation: Feed takes received bytes in any batching and answers each complete
// command at once through the listener, one OnReply call per reply. Between loads it listens
// for ESC "BOOT"; a load then runs wake byte, acknowledge, identification and one "r", "a",
// "d", "e", "w" cycle per block, until the final "w" (status bits 0x82 set), which it does not
// answer. It checks everything the tool sends against what the tool must send at that point:
// markers, letters, arguments, the status byte it must send back, addresses and lengths of the
// blocks, and each data frame's CRC. The first thing found wrong ends the load as not well
// formed (a bad CRC first gets the echo a controller gives it: result bit 7 set). A fault from
// the configuration spoils its reply and ends the load as incomplete; so does ESC, the start of
// a new wake-up, where a command should begin. After any end it listens for ESC "BOOT" again.
// Accepted blocks are stored into the image, which lasts across loads.
//   Feed           `at` is when the bytes arrived; it times the loads.
//   Finish         ends a load in progress as incomplete (the run is ending).
//   OnLoadEnded    once per load, after its last reply.
//   OnBlockStarted the tool asked for block `block` (from 1) of the run's load `load` (its "r").
//   OnHangUp       the "hangup" fault: the driver must close the line now. Nothing is fed
//                  or answered afterwards.
//
// Not thread-safe; listener calls happen inside Feed and Finish.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulator/fault.h"
#include "emulator/intel_hex.h"
#include "emulator/load_summary.h"
#include "emulator/protocol.h"

namespace velmar::emulator {

using Clock = std::chrono::steady_clock;

struct BootLoaderConfig {
  std::string model = "TEST";  // at most protocol::kMaxModelName bytes
  uint8_t wake = protocol::kWakeA0;
  uint8_t status = 0x01;
  uint8_t result = 0x00;
  uint32_t start = 0;  // where a font goes; bits 0 to 16 reach the tool
  Fault fault;         // as MakeFault makes it: a kind only in a reply that can carry it
};

class BootLoaderListener {
 public:
  virtual ~BootLoaderListener() = default;
  virtual void OnReply(std::span<const uint8_t> reply) = 0;
  virtual void OnLoadEnded(const LoadSummary& summary) = 0;
  virtual void OnHangUp() = 0;
  virtual void OnBlockStarted(int32_t /*load*/, int32_t /*block*/) {}
};

class BootLoader {
 public:
  BootLoader(BootLoaderConfig config, BootLoaderListener& listener);
  BootLoader(const BootLoader&) = delete;
  BootLoader& operator=(const BootLoader&) = delete;

  void Feed(const uint8_t* data, size_t size, Clock::time_point at = Clock::now());
  void Finish();

  bool InLoad() const { return m_load.has_value(); }
  const Image& image() const { return m_image; }
  bool WriteIntelHex(const std::string& path) const;

 private:
  enum class Phase { kListening, kAwaitAck, kAwaitCommand };

  struct Load {
    Clock::time_point started;
    Clock::time_point last;  // the load's last byte received
    int64_t line_bytes = 0;
    LoadKind kind = LoadKind::kUnknown;
    int32_t block = 0;  // counted by "r"
    uint8_t status_sent = 0;
    uint32_t address = 0;  // the current block's
    uint32_t room = 0;     // the longest it may be
    bool has_previous = false;
    uint32_t previous_end = 0;
    bool previous_full = false;  // only a font's last block may be shorter than its room
    int32_t blocks = 0;
    int64_t bytes = 0;
    uint32_t lowest = 0;
    uint32_t highest = 0;
    bool well_formed = true;
  };

  void FeedByte(uint8_t byte, Clock::time_point at);
  void Listen(uint8_t byte, Clock::time_point at);
  void StartLoad(Clock::time_point at);
  void OnAcknowledge(uint8_t byte);
  void OnCommandByte(uint8_t byte);
  void OnRead();
  void OnAddress();
  void OnProgramAddress(uint16_t announced, uint8_t status);
  void OnFontAddress(uint16_t announced, uint8_t status);
  void OnLength();
  void OnData();
  void OnWrite();

  void Expect(uint8_t letter, size_t size = protocol::kShortFrameSize);
  void SendShort(ReplyKind reply, std::array<uint8_t, protocol::kShortFrameSize> frame);
  void Send(std::span<const uint8_t> reply);
  bool FaultFallsOn(ReplyKind reply) const;
  // Spoils `frame` as the fault says; false when there was nothing to spoil.
  bool ApplyFault(ReplyKind reply, std::span<uint8_t> frame) const;
  void EndByFault(ReplyKind reply);
  void Violation(std::string reason);
  void EndLoad(bool complete, std::string reason);
  std::string Awaited() const;
  void Store(const uint8_t* data, uint32_t length);

  BootLoaderConfig m_config;
  BootLoaderListener& m_listener;
  Phase m_phase = Phase::kListening;
  size_t m_wake_matched = 0;
  Clock::time_point m_wake_started;
  std::optional<Load> m_load;
  int32_t m_loads = 0;
  uint8_t m_expected_letter = 0;
  size_t m_expected_size = 0;
  std::vector<uint8_t> m_frame;
  bool m_hung_up = false;
  Image m_image;
};

}  // namespace velmar::emulator
