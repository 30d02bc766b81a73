// kov::mem::DynArray: the alignment the SIMD stages rely on, and resizing
// that keeps what it should.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "kovworks/DynArray.h"

namespace {

// Like a channel processor: holds 16-byte vectors, so its size is a multiple
// of 16 and every element of an aligned array is aligned.
struct alignas(16) Item {
  int value = -1;  // Marks a value-initialised element.
  float vec[5];
};

template <std::size_t ALIGN>
void expect_aligned(const kov::mem::DynArray<Item, ALIGN>& arr) {
  ASSERT_FALSE(arr.empty());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(arr.data()) % ALIGN, 0u);
  for (std::size_t i = 0; i < arr.size(); ++i) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&arr[i]) % alignof(Item), 0u) << i;
  }
}

TEST(DynArray, AlignsAndResizesKeepingTheKeptElements) {
  kov::mem::DynArray<Item, 16> arr;
  EXPECT_TRUE(arr.empty());
  EXPECT_EQ(arr.data(), nullptr);

  arr.resize(3);
  ASSERT_EQ(arr.size(), 3u);
  expect_aligned(arr);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(arr[i].value, -1);
    arr[i].value = static_cast<int>(i) * 10;
  }

  arr.resize(7);  // Grows: old values kept, new ones fresh.
  ASSERT_EQ(arr.size(), 7u);
  expect_aligned(arr);
  EXPECT_EQ(arr[0].value, 0);
  EXPECT_EQ(arr[2].value, 20);
  EXPECT_EQ(arr[3].value, -1);
  EXPECT_EQ(arr[6].value, -1);

  arr.resize(2);  // Shrinks: the first two survive.
  ASSERT_EQ(arr.size(), 2u);
  EXPECT_EQ(arr[1].value, 10);

  kov::mem::DynArray<Item, 16> moved(std::move(arr));
  EXPECT_EQ(moved.size(), 2u);
  EXPECT_EQ(moved[1].value, 10);
  EXPECT_TRUE(arr.empty());

  moved.resize(0);
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved.data(), nullptr);

  // A wider alignment than any allocator gives by default.
  kov::mem::DynArray<Item, 256> wide(5);
  expect_aligned(wide);
}

}  // namespace
