#include "emulator/noisy_line.h"

namespace velmar::emulator {

namespace {

constexpr int kBitsPerByte = 8;
// A draw's top 53 bits as a double in [0, 1): exact, and the same with every standard library,
// which std::uniform_real_distribution does not promise.
constexpr int kDrawShift = 64 - 53;
constexpr double kDrawScale = 0x1p-53;

}  // namespace

NoisyLine::NoisyLine(double fraction, uint32_t seed, NoiseDirection direction)
    : m_fraction(fraction) {
  std::seed_seq sequence{seed, static_cast<uint32_t>(direction)};
  m_random.seed(sequence);
}

void NoisyLine::Pass(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
  m_passed += static_cast<int64_t>(bytes.size());
  if (m_fraction <= 0) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    return;
  }
  for (const uint8_t byte : bytes) {
    if (static_cast<double>(m_random() >> kDrawShift) * kDrawScale >= m_fraction) {
      out.push_back(byte);
      continue;
    }
    // One draw picks both the kind and the bit; 2^64 mod 3 is 1, a bias of no account.
    const uint64_t draw = m_random();
    const auto kind = static_cast<NoiseKind>(draw % kNoiseKinds);
    ++m_hits[static_cast<size_t>(kind)];
    switch (kind) {
      case NoiseKind::kFlip:
        out.push_back(static_cast<uint8_t>(byte ^ (1u << (draw / kNoiseKinds % kBitsPerByte))));
        break;
      case NoiseKind::kDrop:
        break;
      case NoiseKind::kDouble:
        out.push_back(byte);
        out.push_back(byte);
        break;
    }
  }
}

}  // namespace velmar::emulator
