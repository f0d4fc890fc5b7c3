#include "engine/load_notification.h"

#include <array>

namespace velmar::engine {

namespace {

using K = NotificationKind;

constexpr std::array<NotificationInfo, 14> kNotifications{{
    {LN_TIMEOUT, "LN_TIMEOUT", K::kFailure, 110, 110, false},
    {LN_MODEL_UNSUPPORTED, "LN_MODEL_UNSUPPORTED", K::kFailure, 111, 111, true},
    {LN_MODEL_MISMATCH, "LN_MODEL_MISMATCH", K::kFailure, 112, 112, true},
    {LN_BAD_PACKET, "LN_BAD_PACKET", K::kFailure, 113, 113, false},
    {LN_BAD_COMMAND, "LN_BAD_COMMAND", K::kFailure, 114, 114, false},
    {LN_BAD_ADDRESS, "LN_BAD_ADDRESS", K::kFailure, 115, 115, false},
    {LN_BAD_SIZE, "LN_BAD_SIZE", K::kFailure, 116, 116, false},
    {LN_INTEGRITY_ERROR, "LN_INTEGRITY_ERROR", K::kFailure, 117, 117, false},
    {LN_NO_DATA, "LN_NO_DATA", K::kFailure, 120, 120, false},
    {LN_PACKET_INTEGRITY_ERROR, "LN_PACKET_INTEGRITY_ERROR", K::kFailure, 118, 118, false},
    {LN_BAD_DATA, "LN_BAD_DATA", K::kFailure, 119, 119, false},
    {LN_DONE, "LN_DONE", K::kSuccess, 108, 109, false},
    {LN_STATUS, "LN_STATUS", K::kProgress, 105, 104, true},
    {LN_STEP, "LN_STEP", K::kProgress, 0, 0, false},
}};

}  // namespace

std::span<const NotificationInfo> Notifications() {
  return kNotifications;
}

const NotificationInfo* FindNotification(platform::MessageId message) {
  for (const NotificationInfo& info : kNotifications) {
    if (info.id == message) {
      return &info;
    }
  }
  return nullptr;
}

}  // namespace velmar::engine
