#pragma once
// A noisy line: spoils a share of the bytes that cross it, so that the tool can be watched
// meeting a bad cable or a disturbed radio link.
//
// Principles of operation: each byte passed is hit with probability `fraction`, drawn on its
// own; a hit byte is, with equal odds, flipped in one bit (each of the eight equally likely),
// dropped, or doubled. The draws come from a 64-bit Mersenne Twister seeded from the seed and
// the direction alone, so the same seed spoils the same bytes of the same byte sequence however
// it is cut into batches. Each direction of a line gets a NoisyLine of its own: what happens to
// the bytes one way then does not hang on how they interleave with the bytes the other way.
//   Pass     appends what `bytes` become on the line to `out`.
//   Passed   how many bytes went in so far.
//   Hits     how many of them were spoilt in the given way.
//
// Pure: no clock, no I/O. Not thread-safe.

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace velmar::emulator {

enum class NoiseKind { kFlip, kDrop, kDouble };
inline constexpr size_t kNoiseKinds = 3;

enum class NoiseDirection : uint32_t { kReceived, kSent };

// Fixed, so that a run without --noise-seed spoils the same bytes every time.
inline constexpr uint32_t kDefaultNoiseSeed = 1;

class NoisyLine {
 public:
  // `fraction` from 0 (a clean line) to 1 (every byte hit).
  NoisyLine(double fraction, uint32_t seed, NoiseDirection direction);

  void Pass(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);
  int64_t Passed() const { return m_passed; }
  int64_t Hits(NoiseKind kind) const { return m_hits[static_cast<size_t>(kind)]; }

 private:
  double m_fraction;
  std::mt19937_64 m_random;
  int64_t m_passed = 0;
  std::array<int64_t, kNoiseKinds> m_hits{};
};

}  // namespace velmar::emulator
