#include "platform/com_port_name.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velmar::platform {

namespace {

constexpr std::string_view kComPrefix = "COM";

}  // namespace

int ComNumber(std::string_view name, ComLetters letters) {
  if (name.size() <= kComPrefix.size() ||
      !std::equal(kComPrefix.begin(), kComPrefix.end(), name.begin(), [letters](char a, char b) {
        return a == (letters == ComLetters::kAnyCase
                         ? static_cast<char>(std::toupper(static_cast<unsigned char>(b)))
                         : b);
      })) {
    return 0;
  }
  const std::string_view digits = name.substr(kComPrefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  int number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return error == std::errc() && end == digits.data() + digits.size() ? number : 0;
}

}  // namespace velmar::platform
