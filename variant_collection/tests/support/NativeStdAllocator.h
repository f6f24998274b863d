//===- NativeStdAllocator.h - Standard allocator over the native one -*- C++ -*-===//
//
// Test support: a standard allocator that takes its blocks from the
// installed native allocator, so that CountingAllocator can count and fail
// the allocations of the server's containers.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TESTS_SUPPORT_NATIVESTDALLOCATOR_H
#define VARIANT_COLLECTION_TESTS_SUPPORT_NATIVESTDALLOCATOR_H

#include <Quorrel/NativeAllocator.h>

#include <cstddef>
#include <new>

namespace ServerTest {

/// Allocates through GetNativeAllocator(); throws std::bad_alloc when it
/// answers null.
template <class T> class NativeStdAllocator {
public:
  using value_type = T;

  NativeStdAllocator() noexcept = default;
  template <class U> NativeStdAllocator(const NativeStdAllocator<U> &) noexcept {}

  T *allocate(std::size_t n) {
    void *block = GetNativeAllocator()->Allocate(n * sizeof(T));
    if (block == nullptr)
      throw std::bad_alloc();
    return static_cast<T *>(block);
  }
  void deallocate(T *block, std::size_t) noexcept { GetNativeAllocator()->Free(block); }

  template <class U> bool operator==(const NativeStdAllocator<U> &) const noexcept { return true; }
  template <class U> bool operator!=(const NativeStdAllocator<U> &) const noexcept { return false; }
};

} // namespace ServerTest

#endif // VARIANT_COLLECTION_TESTS_SUPPORT_NATIVESTDALLOCATOR_H
