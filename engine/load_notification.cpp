#include "engine/load_notification.h"

#include <array>

namespace velmar::engine {

namespace {

using K = NotificationKind;

constexpr std::array<NotificationInfo, 15> kNotifications{{
    {LN_TIMEOUT, "LN_TIMEOUT", "timeout", K::kFailure, 110, 110, false},
    {LN_MODEL_UNSUPPORTED, "LN_MODEL_UNSUPPORTED", "model_not_supported", K::kFailure, 111, 111,
     true},
    {LN_MODEL_MISMATCH, "LN_MODEL_MISMATCH", "model_mismatch", K::kFailure, 112, 112, true},
    {LN_BAD_PACKET, "LN_BAD_PACKET", "bad_packet", K::kFailure, 113, 113, false},
    {LN_BAD_COMMAND, "LN_BAD_COMMAND", "bad_command", K::kFailure, 114, 114, false},
    {LN_BAD_ADDRESS, "LN_BAD_ADDRESS", "bad_address", K::kFailure, 115, 115, false},
    {LN_BAD_SIZE, "LN_BAD_SIZE", "bad_size", K::kFailure, 116, 116, false},
    {LN_INTEGRITY_ERROR, "LN_INTEGRITY_ERROR", "integrity_error", K::kFailure, 117, 117, false},
    {LN_NO_DATA, "LN_NO_DATA", "no_data", K::kFailure, 120, 120, false},
    {LN_PACKET_INTEGRITY_ERROR, "LN_PACKET_INTEGRITY_ERROR", "packet_integrity_error", K::kFailure,
     118, 118, false},
    {LN_BAD_DATA, "LN_BAD_DATA", "bad_data", K::kFailure, 119, 119, false},
    {LN_DONE, "LN_DONE", "loaded", K::kSuccess, 108, 109, false},
    {LN_STATUS, "LN_STATUS", "status", K::kProgress, 105, 104, true},
    {LN_STEP, "LN_STEP", "step", K::kProgress, 0, 0, false},
    {LN_PORT_LOST, "LN_PORT_LOST", "port_lost", K::kFailure, 137, 137, false},
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
