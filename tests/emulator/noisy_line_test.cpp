#include "emulator/noisy_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace velmar::emulator::test {
namespace {

constexpr uint32_t kSeed = 20240611;

// Bytes with every value many times over, in no simple order.
std::vector<uint8_t> Traffic(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  }
  return bytes;
}

std::vector<uint8_t> PassInOne(NoisyLine& line, const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> out;
  line.Pass(bytes, out);
  return out;
}

int64_t AllHits(const NoisyLine& line) {
  return line.Hits(NoiseKind::kFlip) + line.Hits(NoiseKind::kDrop) + line.Hits(NoiseKind::kDouble);
}

TEST(EmulatorNoisyLineTest, ACleanLinePassesEveryByteUnchanged) {
  NoisyLine line(0.0, kSeed, NoiseDirection::kReceived);
  const std::vector<uint8_t> bytes = Traffic(100000);
  EXPECT_EQ(PassInOne(line, bytes), bytes);
  EXPECT_EQ(line.Passed(), 100000);
  EXPECT_EQ(AllHits(line), 0);
}

// One byte at a time through a line that hits them all: each comes out dropped, doubled, or
// with exactly one bit changed, and the kinds and bits occur in about equal shares.
TEST(EmulatorNoisyLineTest, EveryByteHitIsFlippedInOneBitDroppedOrDoubled) {
  constexpr int kBytes = 30000;
  NoisyLine line(1.0, kSeed, NoiseDirection::kSent);
  std::array<int, kNoiseKinds> seen{};
  std::array<int, 8> bits{};
  for (int i = 0; i < kBytes; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i * 37);
    std::vector<uint8_t> out;
    line.Pass(std::span(&byte, 1), out);
    if (out.empty()) {
      ++seen[static_cast<size_t>(NoiseKind::kDrop)];
    } else if (out.size() == 2) {
      EXPECT_EQ(out[0], byte);
      EXPECT_EQ(out[1], byte);
      ++seen[static_cast<size_t>(NoiseKind::kDouble)];
    } else {
      ASSERT_EQ(out.size(), 1u);
      const uint8_t changed = out[0] ^ byte;
      ASSERT_EQ(std::popcount(changed), 1) << "byte " << i;
      ++bits[static_cast<size_t>(std::countr_zero(changed))];
      ++seen[static_cast<size_t>(NoiseKind::kFlip)];
    }
  }
  EXPECT_EQ(line.Passed(), kBytes);
  for (size_t kind = 0; kind < kNoiseKinds; ++kind) {
    EXPECT_EQ(line.Hits(static_cast<NoiseKind>(kind)), seen[kind]) << "kind " << kind;
    // 10000 expected, with a standard deviation of about 82.
    EXPECT_NEAR(seen[kind], kBytes / 3, 400) << "kind " << kind;
  }
  const int flips = seen[static_cast<size_t>(NoiseKind::kFlip)];
  for (size_t bit = 0; bit < bits.size(); ++bit) {
    EXPECT_NEAR(bits[bit], flips / 8, 200) << "bit " << bit;
  }
}

TEST(EmulatorNoisyLineTest, HitsAboutTheFractionAskedFor) {
  constexpr size_t kBytes = 1000000;
  // Each tolerance is about five standard deviations of the number of hits.
  const struct {
    double fraction;
    double tolerance;
  } cases[] = {{0.5, 0.005}, {0.01, 0.05}, {0.001, 0.16}, {0.0001, 0.5}};
  const std::vector<uint8_t> bytes = Traffic(kBytes);
  for (const auto& c : cases) {
    NoisyLine line(c.fraction, kSeed, NoiseDirection::kReceived);
    const std::vector<uint8_t> out = PassInOne(line, bytes);
    const double expected = c.fraction * kBytes;
    EXPECT_NEAR(static_cast<double>(AllHits(line)), expected, c.tolerance * expected) << c.fraction;
    // A drop takes a byte out, a doubling puts one in.
    EXPECT_EQ(
        static_cast<int64_t>(out.size()),
        static_cast<int64_t>(kBytes) - line.Hits(NoiseKind::kDrop) + line.Hits(NoiseKind::kDouble))
        << c.fraction;
  }
}

// A failing load found by a long test must come back the same when run again with its seed,
// however the bytes were cut into reads.
TEST(EmulatorNoisyLineTest, TheSameSeedSpoilsTheSameBytesWhateverTheBatching) {
  const std::vector<uint8_t> bytes = Traffic(20000);
  NoisyLine whole(0.01, kSeed, NoiseDirection::kReceived);
  const std::vector<uint8_t> expected = PassInOne(whole, bytes);
  ASSERT_NE(expected, bytes);

  NoisyLine cut(0.01, kSeed, NoiseDirection::kReceived);
  std::vector<uint8_t> out;
  size_t at = 0;
  for (size_t piece = 1; at < bytes.size(); piece = piece % 7 + 1) {
    const size_t size = std::min(piece, bytes.size() - at);
    cut.Pass(std::span(bytes).subspan(at, size), out);
    at += size;
  }
  EXPECT_EQ(out, expected);
  for (size_t kind = 0; kind < kNoiseKinds; ++kind) {
    EXPECT_EQ(cut.Hits(static_cast<NoiseKind>(kind)), whole.Hits(static_cast<NoiseKind>(kind)));
  }
}

TEST(EmulatorNoisyLineTest, OtherSeedsAndTheOtherDirectionSpoilOtherBytes) {
  const std::vector<uint8_t> bytes = Traffic(20000);
  const auto spoilt = [&](uint32_t seed, NoiseDirection direction) {
    NoisyLine line(0.01, seed, direction);
    return PassInOne(line, bytes);
  };
  const std::vector<uint8_t> reference = spoilt(kSeed, NoiseDirection::kReceived);
  EXPECT_NE(spoilt(kSeed + 1, NoiseDirection::kReceived), reference);
  EXPECT_NE(spoilt(kSeed, NoiseDirection::kSent), reference);
  // Seeds in a row, as a long test hands them out, must not repeat each other's other direction.
  EXPECT_NE(spoilt(kSeed, NoiseDirection::kSent), spoilt(kSeed + 1, NoiseDirection::kReceived));
}

}  // namespace
}  // namespace velmar::emulator::test
