#include "engine/crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/printer_script.h"

namespace velmar::engine {
namespace {

using testing::Bytes;

uint16_t Of(const Bytes& bytes) {
  return Crc16(bytes.data(), static_cast<int32_t>(bytes.size()));
}

struct Known {
  const char* name;
  Bytes data;
  uint16_t crc;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const Known& c, std::ostream* os) {
  *os << c.name;
}

class Crc16KnownValues : public ::testing::TestWithParam<Known> {};

TEST_P(Crc16KnownValues, Matches) {
  EXPECT_EQ(Of(GetParam().data), GetParam().crc);
}

INSTANTIATE_TEST_SUITE_P(
    Crc16, Crc16KnownValues,
    ::testing::Values(Known{"Check", testing::BytesOf("123456789"), 0xBB3D},
                      Known{"Empty", {}, 0x0000}, Known{"Zero", {0x00}, 0x0000},
                      Known{"AllOnes", {0xFF}, 0x4040}, Known{"LetterA", {'A'}, 0x30C0},
                      Known{"ExampleBlock", {0x01, 0x02, 0x03, 0x04}, 0x0FA1},
                      Known{"ZeroBlock", Bytes(256, 0x00), 0x0000},
                      Known{"Model", testing::BytesOf("TEST"), 0xEA3C}),
    [](const ::testing::TestParamInfo<Known>& info) { return std::string(info.param.name); });

TEST(Crc16, EmptyIgnoresThePointer) {
  EXPECT_EQ(Crc16(nullptr, 0), 0);
}

// Every byte value once, and a long varied block: each table entry is reached.
TEST(Crc16, AgreesWithTheBitwiseDefinition) {
  for (int value = 0; value < 256; ++value) {
    const Bytes one{static_cast<uint8_t>(value)};
    EXPECT_EQ(Of(one), testing::ReferenceCrc16(one)) << "byte " << value;
    const Bytes two{0x5A, static_cast<uint8_t>(value)};
    EXPECT_EQ(Of(two), testing::ReferenceCrc16(two)) << "after 5A, byte " << value;
  }
  const Bytes font = testing::FontBytes(4096);
  EXPECT_EQ(Of(font), testing::ReferenceCrc16(font));
}

TEST(Crc16, CountsOnlyTheGivenBytes) {
  const Bytes data = testing::BytesOf("123456789xyz");
  EXPECT_EQ(Crc16(data.data(), 9), 0xBB3D);
}

}  // namespace
}  // namespace velmar::engine
