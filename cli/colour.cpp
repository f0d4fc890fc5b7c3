#include "cli/colour.h"

#include <cstdlib>

#include "platform/console_output.h"

namespace velmar::cli {

std::optional<ColourWhen> ParseColourWhen(std::string_view text) {
  if (text == "auto") {
    return ColourWhen::kAuto;
  }
  if (text == "always") {
    return ColourWhen::kAlways;
  }
  if (text == "never") {
    return ColourWhen::kNever;
  }
  return std::nullopt;
}

bool DecideColour(ColourWhen when, bool terminal, const char* no_color) {
  switch (when) {
    case ColourWhen::kAlways:
      return true;
    case ColourWhen::kNever:
      return false;
    case ColourWhen::kAuto:
      break;
  }
  return terminal && (no_color == nullptr || *no_color == '\0');
}

bool UseColour(ColourWhen when, std::FILE* stream) {
  return DecideColour(when, platform::IsConsole(stream), std::getenv("NO_COLOR"));
}

std::string Paint(std::string_view text, std::string_view colour) {
  if (colour.empty()) {
    return std::string(text);
  }
  return std::string(colour) + std::string(text) + std::string(colours::kReset);
}

}  // namespace velmar::cli
