#include "app/combo_lists.h"

#include <algorithm>

#include "app/main_view.h"
#include "platform/serial_line.h"

namespace velmar::app {

namespace {

constexpr std::string_view kByIdFolder = "/dev/serial/by-id/";

char FoldCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool BeginsWith(std::string_view item, std::string_view text) {
  return item.size() >= text.size() &&
         std::equal(text.begin(), text.end(), item.begin(),
                    [](char a, char b) { return FoldCase(a) == FoldCase(b); });
}

// Where a listed port goes after the fixed names: COMn links, by-id names, device paths.
int PortGroup(const std::string& port) {
  if (port.find('/') == std::string::npos) {
    return 0;
  }
  return port.starts_with(kByIdFolder) ? 1 : 2;
}

}  // namespace

std::vector<std::string> BaudRateItems() {
  return {kBaudRateItems.begin(), kBaudRateItems.end()};
}

std::vector<std::string> PortItems(const std::vector<std::string>& existing) {
  std::vector<std::string> items(kComPortItems.begin(), kComPortItems.end());
  std::vector<std::string> found;
  for (const std::string& port : existing) {
    if (std::find(items.begin(), items.end(), port) == items.end() &&
        std::find(found.begin(), found.end(), port) == found.end()) {
      found.push_back(port);
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
    return PortGroup(a) < PortGroup(b);
  });
  items.insert(items.end(), found.begin(), found.end());
  return items;
}

std::vector<std::string> PortItems() {
  return PortItems(platform::ListPorts());
}

int FindItemByPrefix(const std::vector<std::string>& items, std::string_view text) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (BeginsWith(items[i], text)) {
      return static_cast<int>(i);
    }
  }
  return kNoSelection;
}

std::string ItemText(const std::vector<std::string>& items, int index) {
  if (index < 0 || static_cast<size_t>(index) >= items.size()) {
    return {};
  }
  return items[static_cast<size_t>(index)];
}

}  // namespace velmar::app
