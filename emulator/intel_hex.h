#pragma once
// The controller's memory as loaded, written as Intel HEX.
//
// Data records hold up to 16 bytes of consecutive addresses and never cross a 64 KiB boundary;
// an extended linear address record (type 04) precedes the first record of every 64 KiB page
// other than page 0 that holds data. The file ends with the EOF record.

#include <cstdint>
#include <map>
#include <string>

namespace velmar::emulator {

using Image = std::map<uint32_t, uint8_t>;  // address -> byte; absent addresses were never loaded

std::string FormatIntelHex(const Image& image);
// Replaces `path` as a whole (written beside it, then renamed); false when it cannot.
bool WriteIntelHex(const Image& image, const std::string& path);

}  // namespace velmar::emulator
