//===- NativeAllocator.cpp - The process-wide native allocator ------------===//

#include <Quorrel/NativeAllocator.h>

#include <atomic>
#include <cstdlib>

NativeAllocator::~NativeAllocator() = default;

namespace {

class MallocAllocator final : public NativeAllocator {
public:
  void *Allocate(std::size_t size) override { return std::malloc(size != 0 ? size : 1); }
  void Free(void *block) override { std::free(block); }
};

MallocAllocator s_defaultAllocator;
std::atomic<NativeAllocator *> s_currentAllocator{&s_defaultAllocator};

} // namespace

NativeAllocator *GetNativeAllocator() noexcept { return s_currentAllocator.load(std::memory_order_acquire); }

NativeAllocator *SetNativeAllocator(NativeAllocator *allocator) noexcept {
  return s_currentAllocator.exchange(allocator ? allocator : &s_defaultAllocator, std::memory_order_acq_rel);
}
