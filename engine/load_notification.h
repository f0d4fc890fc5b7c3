#pragma once
// The notifications a run posts to its window (both parameters 0), and what each means.
// Thirteen end a load (twelve failures and the success); LN_STATUS redraws the status text and
// LN_STEP advances the progress bar. The table gives each its text in the string table: for
// LN_DONE and LN_STATUS the program text, with the font text beside it; and a key, the word a
// script matches instead of the Russian text.

#include <cstdint>
#include <span>

#include "platform/window_message.h"

namespace velmar::engine {

enum LoadNotification : platform::MessageId {
  LN_TIMEOUT = platform::kWmUser + 10,
  LN_MODEL_UNSUPPORTED = platform::kWmUser + 11,
  LN_MODEL_MISMATCH = platform::kWmUser + 12,
  LN_BAD_PACKET = platform::kWmUser + 13,
  LN_BAD_COMMAND = platform::kWmUser + 14,
  LN_BAD_ADDRESS = platform::kWmUser + 15,
  LN_BAD_SIZE = platform::kWmUser + 16,
  LN_INTEGRITY_ERROR = platform::kWmUser + 17,
  LN_NO_DATA = platform::kWmUser + 18,
  LN_PACKET_INTEGRITY_ERROR = platform::kWmUser + 19,
  LN_BAD_DATA = platform::kWmUser + 20,
  LN_DONE = platform::kWmUser + 21,
  LN_STATUS = platform::kWmUser + 22,
  LN_STEP = platform::kWmUser + 23,
  // The line hung up, the device went away or the peer closed the connection mid-load; kept
  // apart from the fourteen, so that the messages around their range stay no notification.
  LN_PORT_LOST = platform::kWmUser + 30,
};

enum class NotificationKind { kFailure, kSuccess, kProgress };

struct NotificationInfo {
  LoadNotification id;
  const char* name;
  const char* key;  // stable English word for scripts; never changes once published
  NotificationKind kind;
  int text_id;         // program text; 0 for none
  int font_text_id;    // font text where it differs, else the same as text_id
  bool formats_model;  // the text's "%s" takes the model name
};

std::span<const NotificationInfo> Notifications();
// The entry for `message`, or null when it is no notification.
const NotificationInfo* FindNotification(platform::MessageId message);
inline bool EndsLoad(const NotificationInfo& info) {
  return info.kind != NotificationKind::kProgress;
}

}  // namespace velmar::engine
