#include "tests/integration/sample_image.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>

namespace velmar::test {

namespace {

int Hex(const std::string& text, size_t at, size_t digits) {
  return std::stoi(text.substr(at, digits), nullptr, 16);
}

}  // namespace

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

constexpr size_t kMagicSize = 5;
constexpr size_t kProgressTotalSize = 2;  // after a program's model name
constexpr size_t kRecordHeaderSize = 8;   // address 3 bytes, length 2, CRC 2, one more
constexpr uint32_t kFontBlockAlign = 256;

size_t PayloadStart(const std::vector<uint8_t>& file) {
  size_t at = kMagicSize;
  while (at < file.size() && file[at] != 0) {
    ++at;
  }
  return at + 1;
}

}  // namespace

std::vector<Block> ProgramBlocks(const std::vector<uint8_t>& file) {
  std::vector<Block> blocks;
  for (size_t at = PayloadStart(file) + kProgressTotalSize;
       at + kRecordHeaderSize <= file.size();) {
    Block block;
    block.address = file[at] | (file[at + 1] << 8) | (file[at + 2] << 16);
    const size_t length = file[at + 3] | (file[at + 4] << 8);
    at += kRecordHeaderSize;
    block.data.assign(file.begin() + static_cast<ptrdiff_t>(at),
                      file.begin() + static_cast<ptrdiff_t>(std::min(at + length, file.size())));
    blocks.push_back(std::move(block));
    at += length;
  }
  return blocks;
}

std::vector<Block> FontBlocks(const std::vector<uint8_t>& file, uint32_t start) {
  std::vector<Block> blocks;
  uint32_t address = start;
  for (size_t at = PayloadStart(file); at < file.size();) {
    const size_t room = kFontBlockAlign - address % kFontBlockAlign;
    const size_t length = std::min(room, file.size() - at);
    blocks.push_back(
        {address, std::vector<uint8_t>(file.begin() + static_cast<ptrdiff_t>(at),
                                       file.begin() + static_cast<ptrdiff_t>(at + length))});
    address += static_cast<uint32_t>(length);
    at += length;
  }
  return blocks;
}

Image ImageOf(const std::vector<Block>& blocks) {
  Image image;
  for (const Block& block : blocks) {
    for (size_t i = 0; i < block.data.size(); ++i) {
      image[block.address + static_cast<uint32_t>(i)] = block.data[i];
    }
  }
  return image;
}

Image ProgramImage(const std::vector<uint8_t>& file) {
  return ImageOf(ProgramBlocks(file));
}

Image FontImage(const std::vector<uint8_t>& file, uint32_t start) {
  return ImageOf(FontBlocks(file, start));
}

// Checks every record's checksum, so that a torn write shows.
bool ReadIntelHex(const std::string& path, Image* image) {
  std::ifstream in(path);
  uint32_t base = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.size() < 11 || line[0] != ':') {
      return false;
    }
    const int count = Hex(line, 1, 2);
    const int offset = Hex(line, 3, 4);
    const int type = Hex(line, 7, 2);
    if (line.size() != static_cast<size_t>(11 + 2 * count)) {
      return false;
    }
    int sum = 0;
    for (size_t i = 1; i + 1 < line.size(); i += 2) {
      sum += Hex(line, i, 2);
    }
    if ((sum & 0xFF) != 0) {
      return false;
    }
    if (type == 0x00) {
      for (int i = 0; i < count; ++i) {
        (*image)[base + static_cast<uint32_t>(offset + i)] =
            static_cast<uint8_t>(Hex(line, 9 + 2 * i, 2));
      }
    } else if (type == 0x04) {
      base = static_cast<uint32_t>(Hex(line, 9, 4)) << 16;
    } else if (type == 0x02) {
      base = static_cast<uint32_t>(Hex(line, 9, 4)) << 4;
    } else if (type == 0x01) {
      return true;
    }
  }
  return false;
}

}  // namespace velmar::test
