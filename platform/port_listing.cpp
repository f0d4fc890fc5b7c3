#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/port_listing.h"
#include "platform/serial_line.h"

namespace velmar::platform {

namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool NaturalLess(std::string_view left, std::string_view right) {
  size_t i = 0;
  size_t j = 0;
  while (i < left.size() && j < right.size()) {
    if (IsDigit(left[i]) && IsDigit(right[j])) {
      // By value, whatever the length: leading zeros are skipped, then the longer run is more.
      while (i < left.size() && left[i] == '0') {
        ++i;
      }
      while (j < right.size() && right[j] == '0') {
        ++j;
      }
      size_t end_i = i;
      size_t end_j = j;
      while (end_i < left.size() && IsDigit(left[end_i])) {
        ++end_i;
      }
      while (end_j < right.size() && IsDigit(right[end_j])) {
        ++end_j;
      }
      const std::string_view a = left.substr(i, end_i - i);
      const std::string_view b = right.substr(j, end_j - j);
      if (a.size() != b.size()) {
        return a.size() < b.size();
      }
      if (a != b) {
        return a < b;
      }
      i = end_i;
      j = end_j;
      continue;
    }
    if (left[i] != right[j]) {
      return static_cast<unsigned char>(left[i]) < static_cast<unsigned char>(right[j]);
    }
    ++i;
    ++j;
  }
  return left.size() - i < right.size() - j;
}

std::string UsbId(int32_t id) {
  if (id < 0) {
    return {};
  }
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id & 0xFFFF));
  return text;
}

std::string UsbIds(const PortDetails& port) {
  return port.IsUsb() ? UsbId(port.vendor_id) + ":" + UsbId(port.product_id) : std::string();
}

const PortDetails* FindPort(const std::vector<PortDetails>& ports, const std::string& name) {
  const std::string identity = PortIdentity(name);
  const auto found = std::find_if(ports.begin(), ports.end(), [&](const PortDetails& port) {
    return port.name == name || PortIdentity(port.name) == identity;
  });
  return found == ports.end() ? nullptr : &*found;
}

std::vector<PortDetails> ListPortDetails() {
  return ListPortDetails(PortRoots{});
}

}  // namespace velmar::platform
