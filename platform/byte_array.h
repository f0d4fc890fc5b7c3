#pragma once
// A growable array of bytes with the growth rule the loaded file and the receive buffer rely on.
//
// When an append needs more room than the capacity and no growth step is set, the capacity
// becomes the larger of the requested size and the old capacity plus one eighth of the current
// size, that eighth clamped to [4, 1024]. With a growth step set, the step replaces the eighth.
// Appending byte by byte therefore reallocates rarely, and one bulk append allocates exactly.
//
// Removing bytes from the front only moves a start offset, so cutting a payload into blocks
// costs time linear in the bytes removed. Capacity counts the room from the first byte held.
// ShareFrom makes an array hold another's bytes without copying them, so that many loads of one
// file keep one copy; the storage is then read-only to both, and the first append copies it.
//   RemoveAll  empties the array and releases its storage (size and capacity become 0).
// Sizes are signed 32-bit, as the rest of the system counts; an append that would pass
// INT32_MAX is refused (returns false) and leaves the array unchanged.

#include <cstdint>
#include <memory>

namespace velmar::platform {

class ByteArray {
 public:
  ByteArray() = default;
  ByteArray(const ByteArray&) = delete;
  ByteArray& operator=(const ByteArray&) = delete;

  const uint8_t* Data() const { return m_storage.get() + m_head; }
  int32_t Size() const { return m_size; }
  int32_t Capacity() const { return m_capacity - m_head; }
  bool IsEmpty() const { return m_size == 0; }
  uint8_t operator[](int32_t i) const { return m_storage[m_head + i]; }

  void SetGrowBy(int32_t step) { m_grow_by = step; }
  bool Add(uint8_t byte) { return Append(&byte, 1); }
  bool Append(const uint8_t* bytes, int32_t count);
  // Removes min(count, Size()) bytes from the front.
  void RemoveFront(int32_t count);
  void RemoveAll();
  // Holds `other`'s bytes, sharing its storage; `other` may be changed or destroyed afterwards.
  void ShareFrom(const ByteArray& other);

 private:
  void Grow(int64_t requested_size);

  std::shared_ptr<uint8_t[]> m_storage;
  int32_t m_head = 0;      // offset of the first byte held
  int32_t m_size = 0;      // bytes held
  int32_t m_capacity = 0;  // bytes allocated, counted from the storage's start
  int32_t m_grow_by = 0;
};

}  // namespace velmar::platform
