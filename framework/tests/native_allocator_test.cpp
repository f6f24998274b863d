//===- native_allocator_test.cpp - The process-wide native allocator -------===//

#include <Quorrel/NativeAllocator.h>

#include <gtest/gtest.h>

namespace {

class Recording : public NativeAllocator {
public:
  void *Allocate(std::size_t size) override {
    ++allocations;
    return GetDefault()->Allocate(size);
  }
  void Free(void *block) override {
    ++frees;
    GetDefault()->Free(block);
  }
  NativeAllocator *previous = nullptr;
  int allocations = 0;
  int frees = 0;

private:
  NativeAllocator *GetDefault() { return previous; }
};

TEST(NativeAllocatorTest, DefaultAllocatesZeroBytesAndAcceptsNull) {
  NativeAllocator *allocator = GetNativeAllocator();
  ASSERT_NE(allocator, nullptr);
  void *block = allocator->Allocate(0);
  EXPECT_NE(block, nullptr);
  allocator->Free(block);
  allocator->Free(nullptr);
}

TEST(NativeAllocatorTest, InstallingReturnsThePreviousAndNullRestoresTheDefault) {
  NativeAllocator *original = GetNativeAllocator();
  Recording recording;
  recording.previous = SetNativeAllocator(&recording);
  EXPECT_EQ(recording.previous, original);
  EXPECT_EQ(GetNativeAllocator(), &recording);
  GetNativeAllocator()->Free(GetNativeAllocator()->Allocate(8));
  EXPECT_EQ(recording.allocations, 1);
  EXPECT_EQ(recording.frees, 1);
  EXPECT_EQ(SetNativeAllocator(nullptr), &recording);
  EXPECT_EQ(GetNativeAllocator(), original);
}

} // namespace
