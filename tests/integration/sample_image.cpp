#include "tests/integration/sample_image.h"

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

Image ProgramImage(const std::vector<uint8_t>& file) {
  Image image;
  size_t at = 5;
  while (file[at] != 0) {
    ++at;
  }
  at += 3;  // NUL and progress total
  while (at + 8 <= file.size()) {
    const uint32_t address = file[at] | (file[at + 1] << 8) | (file[at + 2] << 16);
    const size_t length = file[at + 3] | (file[at + 4] << 8);
    for (size_t i = 0; i < length; ++i) {
      image[address + static_cast<uint32_t>(i)] = file[at + 8 + i];
    }
    at += 8 + length;
  }
  return image;
}

Image FontImage(const std::vector<uint8_t>& file, uint32_t start) {
  Image image;
  size_t at = 5;
  while (file[at] != 0) {
    ++at;
  }
  ++at;
  for (size_t i = at; i < file.size(); ++i) {
    image[start + static_cast<uint32_t>(i - at)] = file[i];
  }
  return image;
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
