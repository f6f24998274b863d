//===- CountingStdAllocator.h - Count and fail container allocations -*- C++ -*-===//
//
// Test support: a standard allocator whose blocks are counted, and whose
// k-th allocation can be made to fail, by the AllocationCounter that lives
// at the time, so that a test can put a container's every allocation in the
// way of an operation.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TESTS_SUPPORT_COUNTINGSTDALLOCATOR_H
#define VARIANT_COLLECTION_TESTS_SUPPORT_COUNTINGSTDALLOCATOR_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <new>

namespace ServerTest {

/// Counts the blocks that CountingStdAllocator hands out while it lives
/// (one at a time), and fails the attempts it is told to. Not thread-safe.
class AllocationCounter {
public:
  AllocationCounter() noexcept : m_previous(s_current) { s_current = this; }
  ~AllocationCounter() { s_current = m_previous; }
  AllocationCounter(const AllocationCounter &) = delete;
  AllocationCounter &operator=(const AllocationCounter &) = delete;

  /// Makes only the `k`-th allocation attempt from now (1-based) fail.
  void FailNth(std::uint64_t k) noexcept { m_failAt = m_attempts + k; }
  /// Makes every attempt succeed again.
  void Heal() noexcept { m_failAt = 0; }
  /// Blocks handed out and not freed yet.
  std::size_t LiveBlocks() const noexcept { return m_blocks.size(); }
  /// Their bytes.
  std::size_t LiveBytes() const noexcept { return m_liveBytes; }

  /// The counter that lives now, or null.
  static AllocationCounter *Current() noexcept { return s_current; }

  /// A block of `size` bytes; null for the attempt that must fail.
  void *Allocate(std::size_t size) {
    if (++m_attempts == m_failAt)
      return nullptr;
    void *block = std::malloc(size != 0 ? size : 1);
    if (block != nullptr) {
      m_blocks.emplace(block, size);
      m_liveBytes += size;
    }
    return block;
  }
  /// Frees `block` (counted when this counter handed it out).
  void Free(void *block) noexcept {
    auto found = m_blocks.find(block);
    if (found != m_blocks.end()) {
      m_liveBytes -= found->second;
      m_blocks.erase(found);
    }
    std::free(block);
  }

private:
  inline static AllocationCounter *s_current = nullptr;
  AllocationCounter *m_previous;
  std::uint64_t m_attempts = 0;
  std::uint64_t m_failAt = 0;
  std::map<void *, std::size_t> m_blocks;
  std::size_t m_liveBytes = 0;
};

/// A stateless standard allocator over the current AllocationCounter
/// (std::malloc when none lives); raises std::bad_alloc for a failed
/// attempt. Blocks must be freed while the same counter lives.
template <class T> class CountingStdAllocator {
public:
  using value_type = T;

  CountingStdAllocator() noexcept = default;
  template <class U> CountingStdAllocator(const CountingStdAllocator<U> &) noexcept {}

  T *allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T))
      throw std::bad_alloc();
    AllocationCounter *counter = AllocationCounter::Current();
    void *block = counter != nullptr ? counter->Allocate(n * sizeof(T)) : std::malloc(n * sizeof(T));
    if (block == nullptr)
      throw std::bad_alloc();
    return static_cast<T *>(block);
  }
  void deallocate(T *block, std::size_t) noexcept {
    if (AllocationCounter *counter = AllocationCounter::Current())
      counter->Free(block);
    else
      std::free(block);
  }

  template <class U> bool operator==(const CountingStdAllocator<U> &) const noexcept { return true; }
  template <class U> bool operator!=(const CountingStdAllocator<U> &) const noexcept { return false; }
};

} // namespace ServerTest

#endif // VARIANT_COLLECTION_TESTS_SUPPORT_COUNTINGSTDALLOCATOR_H
