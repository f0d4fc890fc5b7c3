#include "emulator/intel_hex.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace velmar::emulator::test {
namespace {

TEST(EmulatorIntelHexTest, SplitsRecordsAtSixteenBytesGapsAndPages) {
  Image image;
  for (uint32_t i = 0; i < 18; ++i) {
    image[0x2000 + i] = static_cast<uint8_t>(i);
  }
  image[0xFFFE] = 0xAA;
  image[0xFFFF] = 0xBB;
  image[0x10000] = 0xCC;
  image[0x10001] = 0xDD;
  // Checksums worked out by hand: every record's bytes add up to 0 modulo 256.
  EXPECT_EQ(FormatIntelHex(image),
            ":10200000000102030405060708090A0B0C0D0E0F58\n"
            ":022010001011AD\n"
            ":02FFFE00AABB9C\n"
            ":020000040001F9\n"
            ":02000000CCDD55\n"
            ":00000001FF\n");
}

TEST(EmulatorIntelHexTest, WritesTheFileWholeOrReportsFailure) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velmar-hex-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const Image image{{0x2000, 1}, {0x2001, 2}, {0x2002, 3}, {0x2003, 4}};
  const std::string path = (dir / "image.hex").string();
  ASSERT_TRUE(WriteIntelHex(image, path));
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, ":0420000001020304D2\n:00000001FF\n");
  EXPECT_FALSE(WriteIntelHex(image, (dir / "missing" / "image.hex").string()));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmar::emulator::test
