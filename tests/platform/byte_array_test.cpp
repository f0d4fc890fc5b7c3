#include "platform/byte_array.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar::platform {
namespace {

// Capacity after each append of one byte, computed from the rule by hand:
// new capacity = max(size + 1, capacity + clamp(size / 8, 4, 1024)).
TEST(ByteArrayTest, GrowsByTheRuleWhileAppendingByteByByte) {
  struct Step {
    int32_t size_after;
    int32_t capacity;
  };
  const std::vector<Step> steps = {
      {1, 4},   {4, 4},   {5, 8},   {8, 8},   {9, 12},  {13, 16}, {33, 36},
      {37, 40}, {41, 45}, {46, 50}, {51, 56}, {57, 63}, {64, 70},
  };
  ByteArray array;
  EXPECT_EQ(array.Capacity(), 0);
  size_t next = 0;
  for (int32_t size = 1; size <= steps.back().size_after; ++size) {
    ASSERT_TRUE(array.Add(static_cast<uint8_t>(size)));
    if (next < steps.size() && steps[next].size_after == size) {
      EXPECT_EQ(array.Capacity(), steps[next].capacity) << "at size " << size;
      ++next;
    }
  }
  EXPECT_EQ(next, steps.size());
}

TEST(ByteArrayTest, GrowthStepIsCappedAt1024) {
  ByteArray array;
  std::vector<uint8_t> bulk(20000, 7);
  ASSERT_TRUE(array.Append(bulk.data(), static_cast<int32_t>(bulk.size())));
  EXPECT_EQ(array.Capacity(), 20000);  // one bulk append allocates exactly
  ASSERT_TRUE(array.Add(1));
  EXPECT_EQ(array.Capacity(), 20000 + 1024);
}

TEST(ByteArrayTest, ReallocatesRarelyWhenFilledByteByByte) {
  ByteArray array;
  int reallocations = 0;
  int32_t capacity = array.Capacity();
  for (int i = 0; i < 100000; ++i) {
    array.Add(static_cast<uint8_t>(i));
    if (array.Capacity() != capacity) {
      ++reallocations;
      capacity = array.Capacity();
    }
  }
  EXPECT_LT(reallocations, 200);
  for (int i = 0; i < 100000; i += 997) {
    ASSERT_EQ(array[i], static_cast<uint8_t>(i));
  }
}

TEST(ByteArrayTest, RemovingFromTheFrontMovesNoBytes) {
  ByteArray array;
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(i * 3);
  }
  array.Append(bytes.data(), 1000);
  const uint8_t* first = array.Data();
  array.RemoveFront(264);
  EXPECT_EQ(array.Data(), first + 264);  // no copy: cost is in the bytes removed only
  EXPECT_EQ(array.Size(), 736);
  EXPECT_EQ(array[0], bytes[264]);
  array.RemoveFront(10000);  // more than held: takes what there is
  EXPECT_TRUE(array.IsEmpty());
}

TEST(ByteArrayTest, RemoveAllReleasesTheStorage) {
  ByteArray array;
  array.Add(1);
  array.Add(2);
  array.RemoveAll();
  EXPECT_EQ(array.Size(), 0);
  EXPECT_EQ(array.Capacity(), 0);
  array.Add(9);  // usable again, growing from nothing
  EXPECT_EQ(array.Capacity(), 4);
  EXPECT_EQ(array[0], 9);
}

TEST(ByteArrayTest, AppendAfterFrontRemovalKeepsOrder) {
  ByteArray array;
  for (uint8_t b = 0; b < 10; ++b) {
    array.Add(b);
  }
  array.RemoveFront(7);
  for (uint8_t b = 10; b < 20; ++b) {
    array.Add(b);
  }
  ASSERT_EQ(array.Size(), 13);
  for (int32_t i = 0; i < array.Size(); ++i) {
    EXPECT_EQ(array[i], 7 + i);
  }
}

TEST(ByteArrayTest, SharedBytesAreCopiedOnlyBySharersThatAppend) {
  ByteArray file;
  const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
  file.Append(bytes, 6);
  ByteArray cutting, growing;
  cutting.ShareFrom(file);
  growing.ShareFrom(file);
  cutting.RemoveFront(4);
  EXPECT_EQ(cutting.Data(), file.Data() + 4);  // no copy while only read and cut
  growing.Add(7);                              // a full array: growing copies
  EXPECT_NE(growing.Data(), file.Data());
  file.RemoveAll();
  EXPECT_EQ(cutting[1], 6);  // outlives the array it came from
  ASSERT_EQ(growing.Size(), 7);
  EXPECT_EQ(growing[6], 7);
  EXPECT_EQ(growing[0], 1);
}

TEST(ByteArrayTest, RefusesCountsThatCannotBeHeld) {
  ByteArray array;
  uint8_t byte = 0;
  EXPECT_TRUE(array.Append(&byte, 0));
  EXPECT_FALSE(array.Append(&byte, -1));
  EXPECT_TRUE(array.IsEmpty());
}

}  // namespace
}  // namespace velmar::platform
