#pragma once
// Whether the loader's human lines are coloured, and the colours they use.
//
// Principles of operation: one decision for every stream the loader writes a person's lines
// to, taken once a stream from --color's WHEN: always and never are what they say; auto colours
// a stream only when it is a terminal and NO_COLOR is unset or empty. Always wins over
// NO_COLOR, as the user asked for it on this very command line. Only a state's word is painted,
// so that the columns beside it keep their widths (widths count columns, not escape bytes).
//   ParseColourWhen  "auto", "always" or "never"; nullopt for anything else.
//   DecideColour     the rule itself, on what is known of the stream and the environment.
//   UseColour        the rule for a stream the program writes (stdout, stderr).
//   Paint            `text` in `colour`, reset after; `text` itself when `colour` is empty.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace velmar::cli {

enum class ColourWhen { kAuto, kAlways, kNever };

namespace colours {
inline constexpr std::string_view kGreen = "\033[32m";   // loaded
inline constexpr std::string_view kRed = "\033[31m";     // failed
inline constexpr std::string_view kYellow = "\033[33m";  // waiting for a printer
inline constexpr std::string_view kReset = "\033[0m";
}  // namespace colours

std::optional<ColourWhen> ParseColourWhen(std::string_view text);
bool DecideColour(ColourWhen when, bool terminal, const char* no_color);
bool UseColour(ColourWhen when, std::FILE* stream);
std::string Paint(std::string_view text, std::string_view colour);

}  // namespace velmar::cli
