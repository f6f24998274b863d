//===- FailingAllocations.h - Fail the k-th allocation, native or standard -*- C++ -*-===//
//
// Test support: one sequence of allocation attempts over the native
// allocator and the standard operator new, in which the k-th attempt from now
// can be made to fail, with the live blocks of both counted, so that a test
// can try every failure point of an operation in turn.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_TESTS_SUPPORT_FAILINGALLOCATIONS_H
#define COLLECTION_TESTS_SUPPORT_FAILINGALLOCATIONS_H

#include "CountingAllocator.h"

#include <CollectionTesting/FailingNew.h>
#include <Quorrel/NativeAllocator.h>

#include <cstddef>
#include <cstdint>

namespace CollectionTest {

/// Installs itself as the native allocator for its lifetime, over a
/// `CountingAllocator` that keeps the books of native blocks, and takes part
/// in `FailingNew`'s countdown. Standard allocations (std::string text,
/// dictionary keys) take part where the test's operator new reaches the
/// library (`FailingNew::ReachesTheLibrary()`); elsewhere only native
/// allocations fail.
class FailingAllocations final : public NativeAllocator {
public:
  FailingAllocations() : m_previous(SetNativeAllocator(this)) {}
  ~FailingAllocations() override { SetNativeAllocator(m_previous); }

  FailingAllocations(const FailingAllocations &) = delete;
  FailingAllocations &operator=(const FailingAllocations &) = delete;

  /// Makes the `k`-th allocation attempt from now (1-based), native or
  /// standard, fail; the others succeed.
  void FailNth(std::uint64_t k) { FailingNew::FailAttempt(k); }

  /// Makes every attempt succeed again; true when the armed failure happened.
  bool Heal() { return FailingNew::HealAttempts(); }

  std::size_t LiveNativeBlocks() const { return m_counting.LiveBlocks(); }
  long LiveStandardBlocks() const { return FailingNew::LiveBlocks(); }

  void *Allocate(std::size_t size) override {
    if (FailingNew::TakeAttempt())
      return nullptr;
    FailingNew::Pause bookkeeping;
    return m_previous->Allocate(size);
  }

  void Free(void *block) override {
    FailingNew::Pause bookkeeping;
    m_previous->Free(block);
  }

private:
  CountingAllocator m_counting; // installed first, removed last
  NativeAllocator *m_previous;
};

} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_FAILINGALLOCATIONS_H
