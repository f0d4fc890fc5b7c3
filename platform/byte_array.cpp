#include "platform/byte_array.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmar::platform {

namespace {
constexpr int32_t kMinGrowth = 4;
constexpr int32_t kMaxGrowth = 1024;
}  // namespace

void ByteArray::Grow(int64_t requested_size) {
  const int64_t growth = m_grow_by > 0 ? m_grow_by : std::clamp(m_size / 8, kMinGrowth, kMaxGrowth);
  int64_t new_capacity = std::max<int64_t>(requested_size, int64_t{Capacity()} + growth);
  new_capacity = std::min<int64_t>(new_capacity, std::numeric_limits<int32_t>::max());
  std::shared_ptr<uint8_t[]> storage =
      std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(new_capacity));
  if (m_size > 0) {
    std::memcpy(storage.get(), Data(), static_cast<size_t>(m_size));
  }
  m_storage = std::move(storage);
  m_head = 0;
  m_capacity = static_cast<int32_t>(new_capacity);
}

bool ByteArray::Append(const uint8_t* bytes, int32_t count) {
  if (count <= 0) {
    return count == 0;
  }
  const int64_t requested = int64_t{m_size} + count;
  if (requested > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  // Shared storage is read-only: a sharer may be reading it on another thread.
  if (requested > Capacity() || m_storage.use_count() > 1) {
    Grow(requested);
  }
  std::memcpy(m_storage.get() + m_head + m_size, bytes, static_cast<size_t>(count));
  m_size = static_cast<int32_t>(requested);
  return true;
}

void ByteArray::RemoveFront(int32_t count) {
  count = std::clamp(count, 0, m_size);
  m_head += count;
  m_size -= count;
  if (m_size == 0) {
    m_head = 0;  // the whole allocation is free again
  }
}

void ByteArray::ShareFrom(const ByteArray& other) {
  if (&other == this) {
    return;
  }
  m_storage = other.m_storage;
  m_head = other.m_head;
  m_size = other.m_size;
  m_capacity = other.m_capacity;
}

void ByteArray::RemoveAll() {
  m_storage.reset();
  m_head = m_size = m_capacity = 0;
}

}  // namespace velmar::platform
