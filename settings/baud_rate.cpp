#include "settings/baud_rate.h"

#include <algorithm>
#include <limits>

namespace velmar::settings {

int32_t BaudRateValue(std::string_view text) {
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      break;
    }
    value = std::min<int64_t>(value * 10 + (c - '0'), std::numeric_limits<int32_t>::max());
  }
  return static_cast<int32_t>(value);
}

}  // namespace velmar::settings
