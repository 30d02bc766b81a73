// kov::mem::DynArray: the alignment the SIMD stages rely on, and resizing
// that keeps what it should.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "kovworks/DynArray.h"

namespace {

// Like a channel processor: holds 16-byte vectors.
struct alignas(16) Item {
  int value = -1;  // marks a value-initialised element
  float vec[5];
};

template <std::size_t ALIGN>
bool aligned(const kov::mem::DynArray<Item, ALIGN>& arr) {
  return reinterpret_cast<std::uintptr_t>(arr.data()) % ALIGN == 0;
}

TEST(DynArray, AlignsAndResizesKeepingTheKeptElements) {
  kov::mem::DynArray<Item, 16> arr;
  EXPECT_EQ(arr.data(), nullptr);
  // Grown elements are fresh, kept ones keep their values.
  arr.resize(3);
  for (std::size_t i = 0; i < 3; ++i) arr[i].value = int(i) * 10;
  arr.resize(7);
  ASSERT_TRUE(aligned(arr));
  const int grown[7] = {0, 10, 20, -1, -1, -1, -1};
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(arr[i].value, grown[i]) << i;
  arr.resize(2);
  kov::mem::DynArray<Item, 16> moved(std::move(arr));
  EXPECT_TRUE(arr.empty());
  ASSERT_EQ(moved.size(), 2u);
  EXPECT_EQ(moved[1].value, 10);
  moved.resize(0);
  EXPECT_EQ(moved.data(), nullptr);
  // A wider alignment than any allocator gives by default.
  EXPECT_TRUE(aligned(kov::mem::DynArray<Item, 256>(5)));
}

}  // namespace
