#pragma once
// The tool's string table: every text the user sees, by its number. No GUI needed, so the
// command-line loader shows the same texts as the window. "\n" is a line break; "%s" takes the
// model name (FormatText).

#include <string>
#include <string_view>

namespace velmar::texts {

inline constexpr std::string_view kCaption = "Велмар";

enum TextId : int {
  IDS_ABOUT = 101,
  IDS_BAD_DATA = 102,
  IDS_PORT_BUSY = 103,
  IDS_LOADING_FONT = 104,
  IDS_LOADING_PROGRAM = 105,
  IDS_CANNOT_OPEN = 106,
  IDS_FILE_FILTER = 107,
  IDS_PROGRAM_DONE = 108,
  IDS_FONT_DONE = 109,
  IDS_TIMEOUT = 110,
  IDS_MODEL_UNSUPPORTED = 111,
  IDS_MODEL_MISMATCH = 112,
  IDS_BAD_PACKET = 113,
  IDS_BAD_COMMAND = 114,
  IDS_BAD_ADDRESS = 115,
  IDS_BAD_SIZE = 116,
  IDS_INTEGRITY_ERROR = 117,
  IDS_PACKET_INTEGRITY_ERROR = 118,
  IDS_BAD_DATA_ECHO = 119,
  IDS_NO_DATA = 120,
  // Why a port did not open, on a line after text 103.
  IDS_PORT_MISSING = 121,
  IDS_PORT_NO_ACCESS = 122,
  IDS_PORT_ACCESS_GROUP = 123,
  IDS_PORT_HELD = 124,
  IDS_PORT_SETTINGS_REFUSED = 125,
  IDS_NO_CONNECTION = 126,
  IDS_PORT_RATE_REFUSED = 127,
  IDS_PORT_RATES = 128,
  // Why a data file was refused, on a line after text 106 or 102.
  IDS_FILE_MISSING = 129,
  IDS_FILE_NO_ACCESS = 130,
  IDS_FILE_FOLDER = 131,
  IDS_FILE_NOT_REGULAR = 132,
  IDS_FILE_UNREADABLE = 133,
  IDS_FILE_NOT_DATA = 134,
  IDS_FILE_TOO_LARGE = 135,
  IDS_FILE_DAMAGED = 136,
  // The connection went while a load ran (LN_PORT_LOST).
  IDS_PORT_LOST = 137,
  // Why a port did not open, on a line after text 103.
  IDS_PORT_NO_HARDWARE = 138,
  IDS_PORT_SYSTEM_FAILURE = 139,
  IDS_SERVER_REFUSED = 140,
  // A USB adapter whose latency timer the loader cannot lower, in the listing and before a load.
  IDS_SLOW_LATENCY = 141,
};

// The text with that number; empty when there is none.
std::string_view LoadText(int id);
// The text with its "%s" replaced by `argument` (inserted as it is, never interpreted).
std::string FormatText(int id, std::string_view argument);
// "SUBJECT: WORDS (SYSTEM TEXT)." — why a port or a file was refused, in our words followed by
// the system's; the subject and the brackets are left out when empty.
std::string ReasonLine(std::string_view subject, std::string_view words,
                       std::string_view system_text);
// "Загрузка программы в MODEL..." or the font's, with the model name as it should be shown.
std::string LoadingStatusText(bool font_load, std::string_view model_name);

}  // namespace velmar::texts
