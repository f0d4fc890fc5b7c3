#include "emulator/fault.h"

#include <array>

namespace velmar::emulator {

namespace {

constexpr uint32_t Bit(ReplyKind reply) {
  return 1u << static_cast<uint32_t>(reply);
}

constexpr uint32_t kStatusReplies = Bit(ReplyKind::kIdent) | Bit(ReplyKind::kReadReply) |
                                    Bit(ReplyKind::kAddressReply) | Bit(ReplyKind::kLengthReply) |
                                    Bit(ReplyKind::kStatusReply);
constexpr uint32_t kResultReplies =
    Bit(ReplyKind::kIdent) | Bit(ReplyKind::kEcho) | Bit(ReplyKind::kStatusReply);

struct FaultInfo {
  FaultKind kind;
  const char* name;
  uint32_t replies;  // the replies that can carry it
  ReplyKind usual;
};

constexpr std::array<FaultInfo, 9> kFaults{{
    {FaultKind::kStatusError, "status-error", kStatusReplies, ReplyKind::kReadReply},
    {FaultKind::kResultError, "result-error", kResultReplies, ReplyKind::kEcho},
    {FaultKind::kBadCommand, "bad-command", kStatusReplies, ReplyKind::kReadReply},
    {FaultKind::kBadAddress, "bad-address", Bit(ReplyKind::kAddressReply),
     ReplyKind::kAddressReply},
    {FaultKind::kBadSize, "bad-size", Bit(ReplyKind::kLengthReply), ReplyKind::kLengthReply},
    {FaultKind::kBadCrc, "bad-crc", Bit(ReplyKind::kEcho), ReplyKind::kEcho},
    {FaultKind::kBadData, "bad-data", Bit(ReplyKind::kEcho), ReplyKind::kEcho},
    {FaultKind::kSilent, "silent", Bit(ReplyKind::kReadReply), ReplyKind::kReadReply},
    {FaultKind::kHangUp, "hangup", Bit(ReplyKind::kReadReply), ReplyKind::kReadReply},
}};

struct ReplyInfo {
  ReplyKind reply;
  const char* name;
};

constexpr std::array<ReplyInfo, 6> kReplies{{
    {ReplyKind::kIdent, "ident"},
    {ReplyKind::kReadReply, "CA"},
    {ReplyKind::kAddressReply, "A"},
    {ReplyKind::kLengthReply, "D"},
    {ReplyKind::kEcho, "echo"},
    {ReplyKind::kStatusReply, "SM"},
}};

const FaultInfo* Find(FaultKind kind) {
  for (const FaultInfo& info : kFaults) {
    if (info.kind == kind) {
      return &info;
    }
  }
  return nullptr;
}

}  // namespace

std::optional<FaultKind> ParseFaultKind(std::string_view name) {
  for (const FaultInfo& info : kFaults) {
    if (name == info.name) {
      return info.kind;
    }
  }
  return std::nullopt;
}

std::optional<ReplyKind> ParseReplyKind(std::string_view name) {
  for (const ReplyInfo& info : kReplies) {
    if (name == info.name) {
      return info.reply;
    }
  }
  return std::nullopt;
}

const char* FaultKindName(FaultKind kind) {
  const FaultInfo* info = Find(kind);
  return info != nullptr ? info->name : "none";
}

const char* ReplyKindName(ReplyKind reply) {
  for (const ReplyInfo& info : kReplies) {
    if (info.reply == reply) {
      return info.name;
    }
  }
  return "?";
}

std::optional<Fault> MakeFault(FaultKind kind, int32_t block, std::optional<ReplyKind> reply) {
  if (block < 1) {
    return std::nullopt;
  }
  if (kind == FaultKind::kNone) {
    return Fault{kind, block, ReplyKind::kReadReply};
  }
  const FaultInfo* info = Find(kind);
  const ReplyKind chosen = reply.value_or(info->usual);
  if ((info->replies & Bit(chosen)) == 0) {
    return std::nullopt;
  }
  return Fault{kind, block, chosen};
}

}  // namespace velmar::emulator
