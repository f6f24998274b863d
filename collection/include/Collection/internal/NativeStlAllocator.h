//===- Collection/internal/NativeStlAllocator.h - Standard allocator on the native one -*- C++ -*-===//
//
// NativeStlAllocator<T>: lets standard containers take their storage from the
// framework's native allocator.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_INTERNAL_NATIVESTLALLOCATOR_H
#define ZORBIN_TESSEL_COLLECTION_INTERNAL_NATIVESTLALLOCATOR_H

#include <Quorrel/NativeAllocator.h>

#include <cstddef>
#include <limits>
#include <new>

namespace Zorbin {
namespace Tessel {
namespace Collection {

/// A stateless standard allocator whose blocks come from
/// `GetNativeAllocator()`, asked anew for every allocation and every release.
///
/// The containers' own storage (the map nodes of `Dictionary`, the element
/// vector of `Array`) goes through it; the `std::string` keys inside keep the
/// standard allocator (see `Quorrel/NativeAllocator.h`). All instances are
/// interchangeable: memory from one may be released through any other.
template <typename T> class NativeStlAllocator {
public:
  using value_type = T;

  NativeStlAllocator() noexcept = default;
  template <typename U> NativeStlAllocator(const NativeStlAllocator<U> &) noexcept {}

  /// Room for `count` objects of type T, suitably aligned, not constructed.
  /// O(1) plus the native allocator's cost.
  /// Throws std::bad_alloc when the native allocator yields no block, and
  /// std::bad_array_new_length when the byte count does not fit a size_t.
  T *allocate(std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
      throw std::bad_array_new_length();
    void *block = GetNativeAllocator()->Allocate(count * sizeof(T));
    if (block == nullptr)
      throw std::bad_alloc();
    return static_cast<T *>(block);
  }

  /// Hands `block` back to the native allocator. O(1). Never throws.
  void deallocate(T *block, std::size_t) noexcept { GetNativeAllocator()->Free(block); }
};

template <typename T, typename U>
bool operator==(const NativeStlAllocator<T> &, const NativeStlAllocator<U> &) noexcept {
  return true;
}

template <typename T, typename U>
bool operator!=(const NativeStlAllocator<T> &, const NativeStlAllocator<U> &) noexcept {
  return false;
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_INTERNAL_NATIVESTLALLOCATOR_H
