#pragma once
// The English words of the loader's own lines (board, plain lines, summary) in one table, and
// the fitting of UTF-8 text into columns.
//
// Principles of operation: the Russian texts come from the string table inside the events; the
// structural words here are the loader's and never translated, so that a log reads the same
// everywhere. Columns are counted as code points: port and model names are Latin or Cyrillic,
// one column a character.
//   Columns    the code points in `text`.
//   Fit        `text` cut to `width` columns, its last kept column an ellipsis when cut.
//   Pad        Fit, then spaces up to `width`.
//   FirstLine  up to the first line break.

#include <string>
#include <string_view>

namespace velmar::cli {

namespace words {
inline constexpr std::string_view kPort = "port";
inline constexpr std::string_view kModel = "model";
inline constexpr std::string_view kResult = "result";
inline constexpr std::string_view kSeconds = "seconds";
inline constexpr std::string_view kRetries = "retries";
inline constexpr std::string_view kWaiting = "waiting";
inline constexpr std::string_view kLoading = "loading";
inline constexpr std::string_view kRetry = "retry";
inline constexpr std::string_view kLoaded = "loaded";
inline constexpr std::string_view kFailed = "failed";
inline constexpr std::string_view kProgram = "program";
inline constexpr std::string_view kFont = "font";
inline constexpr std::string_view kBytes = "bytes";
inline constexpr std::string_view kPrinters = "printers";
// a station's slots
inline constexpr std::string_view kAppeared = "appeared";
inline constexpr std::string_view kGone = "gone";
inline constexpr std::string_view kRearmed = "next printer";
inline constexpr std::string_view kNoPort = "no port";
inline constexpr std::string_view kWaitingForPrinter = "waiting for a printer";
inline constexpr std::string_view kRemovePrinter = "remove the printer";
inline constexpr std::string_view kInAll = "in all";
inline constexpr std::string_view kLastHour = "in the last hour";
// "N of M loaded"
inline constexpr std::string_view kCountOf = " of ";
inline constexpr std::string_view kCountLoaded = " loaded";
}  // namespace words

int Columns(std::string_view text);
std::string Fit(std::string_view text, int width);
std::string Pad(std::string_view text, int width);
std::string_view FirstLine(std::string_view text);

}  // namespace velmar::cli
