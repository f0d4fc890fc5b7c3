#include "cli/output_text.h"

#include <algorithm>

namespace velmar::cli {

namespace {

constexpr std::string_view kEllipsis = "\u2026";

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The bytes of the first `columns` code points.
size_t PrefixBytes(std::string_view text, int columns) {
  size_t i = 0;
  for (int seen = 0; i < text.size(); ++i) {
    if (!IsContinuation(text[i]) && seen++ == columns) {
      break;
    }
  }
  return i;
}

}  // namespace

int Columns(std::string_view text) {
  return static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(c); }));
}

std::string Fit(std::string_view text, int width) {
  if (width <= 0) {
    return {};
  }
  if (Columns(text) <= width) {
    return std::string(text);
  }
  return std::string(text.substr(0, PrefixBytes(text, width - 1))) + std::string(kEllipsis);
}

std::string Pad(std::string_view text, int width) {
  std::string fitted = Fit(text, width);
  fitted.append(static_cast<size_t>(std::max(0, width - Columns(fitted))), ' ');
  return fitted;
}

std::string_view FirstLine(std::string_view text) {
  return text.substr(0, text.find('\n'));
}

}  // namespace velmar::cli
