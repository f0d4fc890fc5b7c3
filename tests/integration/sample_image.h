#pragma once
// What a load should leave in the emulated printer, and what it did leave there.
//
// ProgramImage and FontImage read a data file the way the printer stores it; ReadIntelHex
// reads the image the emulator wrote, false on a malformed record or a missing end record.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velmar::test {

using Image = std::map<uint32_t, uint8_t>;

std::vector<uint8_t> ReadBytes(const std::string& path);

// One block as the printer stores it.
struct Block {
  uint32_t address = 0;
  std::vector<uint8_t> data;
};

// A program's records in file order.
std::vector<Block> ProgramBlocks(const std::vector<uint8_t>& file);
// A font's data cut as the tool sends it: up to the next multiple of 256 from `start`, then
// 256 bytes at a time.
std::vector<Block> FontBlocks(const std::vector<uint8_t>& file, uint32_t start);
// What the printer holds after storing the blocks in order.
Image ImageOf(const std::vector<Block>& blocks);
// Every record of a program file at its own address.
Image ProgramImage(const std::vector<uint8_t>& file);
// A font's data from `start` on, where the printer said it goes.
Image FontImage(const std::vector<uint8_t>& file, uint32_t start);
bool ReadIntelHex(const std::string& path, Image* image);

}  // namespace velmar::test
