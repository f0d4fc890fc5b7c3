#include "emulator/intel_hex.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "emulator/format.h"

namespace velmar::emulator {

namespace {

constexpr uint8_t kRecordData = 0x00;
constexpr uint8_t kRecordEndOfFile = 0x01;
constexpr uint8_t kRecordExtendedLinear = 0x04;
constexpr size_t kMaxRecordData = 16;
constexpr uint32_t kPageShift = 16;
constexpr uint32_t kOffsetMask = 0xFFFF;
constexpr uint32_t kByteMask = 0xFF;
constexpr uint32_t kByteShift = 8;

uint32_t Page(uint32_t address) {
  return address >> kPageShift;
}

void AppendRecord(std::string* out, uint8_t type, uint32_t offset,
                  const std::vector<uint8_t>& data) {
  uint32_t sum =
      static_cast<uint32_t>(data.size()) + (offset >> kByteShift) + (offset & kByteMask) + type;
  *out += Format(":%02zX%04X%02X", data.size(), offset & kOffsetMask, type);
  for (uint8_t byte : data) {
    *out += Format("%02X", byte);
    sum += byte;
  }
  *out += Format("%02X\n", (0x100 - (sum & kByteMask)) & kByteMask);
}

}  // namespace

std::string FormatIntelHex(const Image& image) {
  std::string out;
  uint32_t page = 0;  // the address a reader assumes until told otherwise
  std::vector<uint8_t> data;
  for (auto it = image.begin(); it != image.end();) {
    const uint32_t start = it->first;
    data.clear();
    while (it != image.end() && data.size() < kMaxRecordData && it->first == start + data.size() &&
           Page(it->first) == Page(start)) {
      data.push_back(it->second);
      ++it;
    }
    if (Page(start) != page) {
      page = Page(start);
      AppendRecord(&out, kRecordExtendedLinear, 0,
                   {static_cast<uint8_t>(page >> kByteShift), static_cast<uint8_t>(page)});
    }
    AppendRecord(&out, kRecordData, start & kOffsetMask, data);
  }
  AppendRecord(&out, kRecordEndOfFile, 0, {});
  return out;
}

bool WriteIntelHex(const Image& image, const std::string& path) {
  // A reader never sees half a file: the new one replaces the old in one step.
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << FormatIntelHex(image);
    file.close();
    if (!file) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  return !error;
}

}  // namespace velmar::emulator
