#pragma once
// The main window's two drop-down lists and the rules of exchanging a text with them.
//
// The baud-rate list is fixed. The port list is "COM1" to "COM9" (each resolved as the loader
// resolves it: a link of the user's configuration folder, else a ttyS device) followed by the
// ports that exist, so that a USB adapter can be picked directly: further COMn links, then the
// stable /dev/serial/by-id names, then the other device paths.
//   PortItems          the port list for the ports `existing` (as platform::ListPorts gives
//                      them); without an argument, for the ports of this machine.
//   FindItemByPrefix   index of the first item that begins with `text`, compared without
//                      regard to ASCII letter case (every item begins with ""); kNoSelection
//                      when none does.
//   ItemText           the item at `index`; empty for kNoSelection or an index out of range.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/baud_rate.h"

namespace velmar::app {

using settings::kBaudRateItems;
inline constexpr std::array<std::string_view, 9> kComPortItems = {
    "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"};

std::vector<std::string> BaudRateItems();
std::vector<std::string> PortItems(const std::vector<std::string>& existing);
std::vector<std::string> PortItems();

int FindItemByPrefix(const std::vector<std::string>& items, std::string_view text);
std::string ItemText(const std::vector<std::string>& items, int index);

}  // namespace velmar::app
