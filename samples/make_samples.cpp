// Writes the sample data files the demo and the tests load: a program for model "TEST" made of
// several dozen blocks with correct CRCs, and a font of a few KiB. The tests ask for other sizes
// and model names.
//   velmar-make-samples DIR [PROGRAM_BYTES [FONT_BYTES [MODEL]]]

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/crc16.h"

namespace {

constexpr int32_t kBlockData = 256;
constexpr uint32_t kProgramBase = 0x010000;
constexpr size_t kDefaultProgramBytes = 48 * kBlockData;  // 48 blocks
constexpr size_t kDefaultFontBytes = 4 * 1024 + 100;
constexpr const char* kDefaultModel = "TEST";

// A repeatable byte pattern that is not trivially periodic.
uint8_t PatternByte(uint32_t i) {
  return static_cast<uint8_t>((i * 2654435761u) >> 24);
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::vector<uint8_t> Program(size_t data_bytes, const std::string& model) {
  std::vector<uint8_t> file = {'M', 'y', 'B', 'I', 'N'};
  file.insert(file.end(), model.begin(), model.end());
  file.push_back(0);
  const size_t blocks = (data_bytes + kBlockData - 1) / kBlockData;
  const auto total = static_cast<uint16_t>(blocks * 265);
  file.push_back(static_cast<uint8_t>(total >> 8));
  file.push_back(static_cast<uint8_t>(total));
  for (size_t at = 0; at < data_bytes; at += kBlockData) {
    const auto length = static_cast<int32_t>(std::min<size_t>(kBlockData, data_bytes - at));
    std::vector<uint8_t> data(static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i) {
      data[static_cast<size_t>(i)] = PatternByte(static_cast<uint32_t>(at) + i);
    }
    const uint32_t address = kProgramBase + static_cast<uint32_t>(at);
    const uint16_t crc = velmar::engine::Crc16(data.data(), length);
    const uint8_t header[8] = {
        static_cast<uint8_t>(address),       static_cast<uint8_t>(address >> 8),
        static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(length),
        static_cast<uint8_t>(length >> 8),   static_cast<uint8_t>(crc),
        static_cast<uint8_t>(crc >> 8),      0};
    file.insert(file.end(), header, header + 8);
    file.insert(file.end(), data.begin(), data.end());
  }
  return file;
}

std::vector<uint8_t> Font(size_t bytes) {
  std::vector<uint8_t> file = {'M', 'y', 'F', 'N', 'T'};
  const std::string name = "Sample Sans 10";
  file.insert(file.end(), name.begin(), name.end());
  file.push_back(0);
  for (size_t i = 0; i < bytes; ++i) {
    file.push_back(PatternByte(static_cast<uint32_t>(i) ^ 0x5A5Au));
  }
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 5) {
    std::fprintf(stderr, "usage: velmar-make-samples DIR [PROGRAM_BYTES [FONT_BYTES [MODEL]]]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const size_t program_bytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : kDefaultProgramBytes;
  const size_t font_bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : kDefaultFontBytes;
  const std::string model = argc > 4 ? argv[4] : kDefaultModel;
  if (!WriteFile(dir + "/sample.bin", Program(program_bytes, model)) ||
      !WriteFile(dir + "/sample.fnt", Font(font_bytes))) {
    std::fprintf(stderr, "velmar-make-samples: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
