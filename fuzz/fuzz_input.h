#pragma once
// How the fuzz targets read their input, and how the seed maker writes it.
//
// Principles of operation: an input is consumed from the front; a field that the input is too
// short for comes out short (a missing byte reads as 0), never past the end, so every byte
// string is a valid input. Received bytes travel as batches: a length byte, then that many
// bytes; a length of 0 is a delivery that brings nothing. AppendBatches cuts a longer stretch
// into batches of at most kMaxBatch bytes, so that each seed is read back as it was written.
//   Byte     the next byte, 0 at the end.
//   Word     the next two bytes, little-endian.
//   Take     the next `count` bytes, or as many as are left.
//   Batch    the next batch; false once the input is used up.
//   Split    the rest as arguments separated by NUL bytes (the inverse of JoinArguments).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmar::fuzz {

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kMaxBatch = 255;

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : m_data(data, size) {}

  bool Empty() const { return m_at >= m_data.size(); }

  uint8_t Byte() { return Empty() ? uint8_t{0} : m_data[m_at++]; }

  uint16_t Word() {
    const uint8_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }

  std::span<const uint8_t> Take(size_t count) {
    const size_t n = std::min(count, m_data.size() - m_at);
    const std::span<const uint8_t> taken = m_data.subspan(m_at, n);
    m_at += n;
    return taken;
  }

  bool Batch(std::span<const uint8_t>* batch) {
    if (Empty()) {
      return false;
    }
    *batch = Take(Byte());
    return true;
  }

  std::vector<std::string> Split(size_t max_arguments) {
    std::vector<std::string> arguments;
    if (Empty()) {
      return arguments;
    }
    std::string current;
    while (!Empty()) {
      const char c = static_cast<char>(Byte());
      if (c != '\0') {
        current += c;
        continue;
      }
      if (arguments.size() + 1 >= max_arguments) {
        break;  // the rest would be one more argument than allowed
      }
      arguments.push_back(std::move(current));
      current.clear();
    }
    arguments.push_back(std::move(current));
    return arguments;
  }

 private:
  std::span<const uint8_t> m_data;
  size_t m_at = 0;
};

inline void AppendBatches(Bytes* input, std::span<const uint8_t> bytes) {
  size_t at = 0;
  do {
    const size_t n = std::min(kMaxBatch, bytes.size() - at);
    input->push_back(static_cast<uint8_t>(n));
    input->insert(input->end(), bytes.begin() + static_cast<ptrdiff_t>(at),
                  bytes.begin() + static_cast<ptrdiff_t>(at + n));
    at += n;
  } while (at < bytes.size());
}

inline Bytes JoinArguments(const std::vector<std::string>& arguments) {
  Bytes joined;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) {
      joined.push_back(0);
    }
    joined.insert(joined.end(), arguments[i].begin(), arguments[i].end());
  }
  return joined;
}

}  // namespace velmar::fuzz
