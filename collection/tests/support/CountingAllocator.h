//===- CountingAllocator.h - Native allocator that counts and fails -*- C++ -*-===//
//
// Test support: a native allocator that counts blocks and bytes, can be told
// to fail, and hands the actual work to the allocator installed before it.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_TESTS_SUPPORT_COUNTINGALLOCATOR_H
#define COLLECTION_TESTS_SUPPORT_COUNTINGALLOCATOR_H

#include <Quorrel/NativeAllocator.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>

namespace CollectionTest {

/// Installs itself as the native allocator for its lifetime and restores the
/// previous one afterwards. Every block it hands out comes from the previous
/// allocator, so blocks allocated before it was installed can still be freed
/// through it (they are counted as foreign frees).
class CountingAllocator final : public NativeAllocator {
public:
  CountingAllocator() : m_previous(SetNativeAllocator(this)) {}
  ~CountingAllocator() override { SetNativeAllocator(m_previous); }

  CountingAllocator(const CountingAllocator &) = delete;
  CountingAllocator &operator=(const CountingAllocator &) = delete;

  void *Allocate(std::size_t size) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_attempts;
    if (m_failFrom != 0 && m_attempts >= m_failFrom && (m_failCount == 0 || m_attempts < m_failFrom + m_failCount)) {
      ++m_failures;
      return nullptr;
    }
    void *block = m_previous->Allocate(size);
    if (block != nullptr) {
      m_blocks[block] = size;
      ++m_allocations;
      m_liveBytes += size;
      if (m_liveBytes > m_peakBytes)
        m_peakBytes = m_liveBytes;
    }
    return block;
  }

  void Free(void *block) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_freeCalls;
    if (block == nullptr) {
      ++m_nullFrees;
    } else {
      auto found = m_blocks.find(block);
      if (found != m_blocks.end()) {
        m_liveBytes -= found->second;
        m_blocks.erase(found);
        ++m_frees;
      } else {
        ++m_foreignFrees;
      }
    }
    m_previous->Free(block);
  }

  /// Makes the `k`-th allocation attempt from now (1-based) and, with
  /// `count` 0, every later one fail; with `count` n only n attempts fail.
  void FailFrom(std::uint64_t k, std::uint64_t count = 0) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failFrom = m_attempts + k;
    m_failCount = count;
  }
  /// Makes only the `k`-th attempt from now fail.
  void FailNth(std::uint64_t k) { FailFrom(k, 1); }
  /// Makes every attempt succeed again (as far as the previous allocator can).
  void Heal() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failFrom = 0;
    m_failCount = 0;
  }

  std::uint64_t Attempts() const { return Locked(m_attempts); }
  std::uint64_t Allocations() const { return Locked(m_allocations); }
  std::uint64_t Failures() const { return Locked(m_failures); }
  std::uint64_t Frees() const { return Locked(m_frees); }
  std::uint64_t FreeCalls() const { return Locked(m_freeCalls); }
  std::uint64_t NullFrees() const { return Locked(m_nullFrees); }
  std::uint64_t ForeignFrees() const { return Locked(m_foreignFrees); }
  std::size_t LiveBlocks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
  }
  std::size_t LiveBytes() const { return Locked(m_liveBytes); }
  std::size_t PeakBytes() const { return Locked(m_peakBytes); }
  /// True while `block` was handed out by this allocator and not yet freed.
  bool Owns(const void *block) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.count(const_cast<void *>(block)) != 0;
  }

private:
  template <typename T> T Locked(const T &field) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return field;
  }

  NativeAllocator *m_previous;
  mutable std::mutex m_mutex;
  std::map<void *, std::size_t> m_blocks;
  std::uint64_t m_attempts = 0;
  std::uint64_t m_allocations = 0;
  std::uint64_t m_failures = 0;
  std::uint64_t m_frees = 0;
  std::uint64_t m_freeCalls = 0;
  std::uint64_t m_nullFrees = 0;
  std::uint64_t m_foreignFrees = 0;
  std::uint64_t m_failFrom = 0;
  std::uint64_t m_failCount = 0;
  std::size_t m_liveBytes = 0;
  std::size_t m_peakBytes = 0;
};

} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_COUNTINGALLOCATOR_H
