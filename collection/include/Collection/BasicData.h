//===- Collection/BasicData.h - Exactly sized, deeply copied buffer -*- C++ -*-===//
//
// Container::basic_data<T>, the value library's byte buffer.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_BASICDATA_H
#define ZORBIN_TESSEL_COLLECTION_BASICDATA_H

#include <Quorrel/NativeAllocator.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace Container {

/// A block of `size()` elements owned exclusively by the buffer, taken from
/// the native allocator and sized exactly: no capacity, terminator or tag.
/// Every copy is deep; no block is ever shared between two buffers. The
/// library instantiates it for `unsigned char` only.
///
/// The count is an unsigned 32-bit number on every platform.
template <typename T> class basic_data {
  static_assert(std::is_trivially_copyable<T>::value, "basic_data holds plain bytes");

public:
  using value_type = T;
  using size_type = unsigned long;
  using iterator = T *;
  using const_iterator = const T *;

  /// An empty buffer: null pointer, size 0. Never throws.
  basic_data() noexcept : m_data(nullptr), m_size(0) {}

  /// A deep copy of `count` elements from `source`; with a count of 0
  /// nothing is read. Complexity: O(count).
  /// Throws std::bad_alloc when the allocator yields no block for a non-zero
  /// count (or the count exceeds 32 bits); nothing is then held.
  basic_data(const T *source, size_type count) : basic_data() { Fill(source, count); }

  /// A deep copy of `other`. Complexity and failure as above.
  basic_data(const basic_data &other) : basic_data() { Fill(other.m_data, other.m_size); }

  /// Takes over `other`'s block, leaving `other` empty. Never throws.
  basic_data(basic_data &&other) noexcept : m_data(other.m_data), m_size(other.m_size) {
    other.m_data = nullptr;
    other.m_size = 0;
  }

  /// Deep copy assignment. On std::bad_alloc this buffer is unchanged.
  basic_data &operator=(const basic_data &other) {
    if (this != &other) {
      basic_data copy(other);
      swap(copy);
    }
    return *this;
  }

  basic_data &operator=(basic_data &&other) noexcept {
    basic_data taken(static_cast<basic_data &&>(other));
    swap(taken);
    return *this;
  }

  /// Hands the block back to the native allocator (null included).
  ~basic_data() { Reset(); }

  void swap(basic_data &other) noexcept {
    T *data = m_data;
    std::uint32_t size = m_size;
    m_data = other.m_data;
    m_size = other.m_size;
    other.m_data = data;
    other.m_size = size;
  }

  T *data() noexcept { return m_data; }
  const T *data() const noexcept { return m_data; }
  size_type size() const noexcept { return m_size; }
  bool empty() const noexcept { return m_size == 0; }

  T &operator[](size_type index) noexcept { return m_data[index]; }
  const T &operator[](size_type index) const noexcept { return m_data[index]; }

  iterator begin() noexcept { return m_data; }
  iterator end() noexcept { return m_data + m_size; }
  const_iterator begin() const noexcept { return m_data; }
  const_iterator end() const noexcept { return m_data + m_size; }

  /// Same size and the same elements at every position. O(size).
  friend bool operator==(const basic_data &a, const basic_data &b) noexcept {
    return a.m_size == b.m_size && (a.m_size == 0 || std::memcmp(a.m_data, b.m_data, a.m_size * sizeof(T)) == 0);
  }
  friend bool operator!=(const basic_data &a, const basic_data &b) noexcept { return !(a == b); }

private:
  void Reset() noexcept {
    GetNativeAllocator()->Free(m_data);
    m_data = nullptr;
    m_size = 0;
  }

  // Takes an exactly sized copy of `count` elements; only the constructors
  // call it, on an empty buffer.
  void Fill(const T *source, size_type count) {
    if (static_cast<unsigned long long>(count) > UINT32_MAX / sizeof(T))
      throw std::bad_alloc();
    T *block = static_cast<T *>(GetNativeAllocator()->Allocate(count * sizeof(T)));
    if (block == nullptr && count != 0)
      throw std::bad_alloc();
    if (count != 0)
      std::memcpy(block, source, count * sizeof(T));
    m_data = block;
    m_size = static_cast<std::uint32_t>(count);
  }

  T *m_data;
  std::uint32_t m_size;
};

template <typename T> void swap(basic_data<T> &a, basic_data<T> &b) noexcept { a.swap(b); }

} // namespace Container
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_BASICDATA_H
