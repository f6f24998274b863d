//===- basic_data_test.cpp - The byte buffer ------------------------------===//

#include "support/CountingAllocator.h"

#include <Collection/BasicData.h>

#include <gtest/gtest.h>

#include <utility>

using Bytes = Zorbin::Tessel::Collection::Container::basic_data<unsigned char>;
using CollectionTest::CountingAllocator;

namespace {

const unsigned char kSample[] = {1, 2, 3, 4, 5};

TEST(BasicDataTest, EmptyBuffersHoldNothing) {
  CountingAllocator allocator;
  {
    Bytes empty;
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.data(), nullptr);
    Bytes fromNothing(nullptr, 0);
    EXPECT_EQ(fromNothing.size(), 0u);
    EXPECT_TRUE(empty == fromNothing);
  }
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
  EXPECT_GE(allocator.NullFrees(), 1u); // the default buffer hands null to Free
}

TEST(BasicDataTest, CopiesAreDeepAndExactlySized) {
  CountingAllocator allocator;
  {
    Bytes original(kSample, 5);
    EXPECT_EQ(allocator.LiveBytes(), 5u);
    Bytes copy(original);
    EXPECT_EQ(allocator.LiveBytes(), 10u);
    EXPECT_NE(copy.data(), original.data());
    EXPECT_TRUE(copy == original);
    copy[0] = 99;
    EXPECT_EQ(original[0], 1);
    EXPECT_FALSE(copy == original);

    Bytes assigned;
    assigned = original;
    EXPECT_TRUE(assigned == original);
    EXPECT_NE(assigned.data(), original.data());
    assigned = assigned;
    EXPECT_TRUE(assigned == original);

    Bytes moved(std::move(assigned));
    EXPECT_EQ(moved.size(), 5u);
    EXPECT_EQ(assigned.size(), 0u);
  }
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST(BasicDataTest, EqualityNeedsTheSameLengthAndBytes) {
  const unsigned char other[] = {1, 2, 3, 4, 6};
  EXPECT_FALSE(Bytes(kSample, 5) == Bytes(other, 5));
  EXPECT_FALSE(Bytes(kSample, 4) == Bytes(kSample, 5));
  EXPECT_TRUE(Bytes(kSample, 0) == Bytes());
}

} // namespace
