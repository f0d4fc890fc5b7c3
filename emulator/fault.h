#pragma once
// Faults the emulated controller can be told to commit, so that the tool's handling of each
// failure can be watched.
//
// A fault falls on one reply of one block (1-based), in every load: the identification reply
// whatever the block, or the "CA", "A", "D", echo or "SM" reply of that block. Each kind fits
// only the replies that carry what it spoils; MakeFault refuses any other combination. "silent"
// and "hangup" act where that block's "CA" would go: no reply is sent then or later.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmar::emulator {

enum class FaultKind {
  kNone,
  kStatusError,  // bit 4 set in the status byte
  kResultError,  // bit 7 set in the result byte
  kBadCommand,   // the reply's letter in the wrong case
  kBadAddress,   // "A" reply: the address plus one
  kBadSize,      // "D" reply: the length plus one
  kBadCrc,       // echo: the CRC's low byte flipped
  kBadData,      // echo: the last data byte flipped
  kSilent,       // no answer from that block's "r" on
  kHangUp,       // the line is closed at that block's "r"
};

enum class ReplyKind { kIdent, kReadReply, kAddressReply, kLengthReply, kEcho, kStatusReply };

struct Fault {
  FaultKind kind = FaultKind::kNone;
  int32_t block = 1;
  ReplyKind reply = ReplyKind::kReadReply;
};

std::optional<FaultKind> ParseFaultKind(std::string_view name);
std::optional<ReplyKind> ParseReplyKind(std::string_view name);
const char* FaultKindName(FaultKind kind);
const char* ReplyKindName(ReplyKind reply);

// The fault, or nothing when `reply` cannot carry `kind` or `block` is below 1. Without a reply
// the kind's usual one is taken.
std::optional<Fault> MakeFault(FaultKind kind, int32_t block, std::optional<ReplyKind> reply);

}  // namespace velmar::emulator
