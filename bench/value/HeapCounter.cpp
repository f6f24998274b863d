//===- HeapCounter.cpp - Every heap block of the process, counted ---------===//
//
// malloc, free and their kin are replaced for the whole process (the C
// library allows it: a program's definitions take the place of its own). Each
// block carries a 16-byte header, just below what the caller gets, with the
// requested size and the distance to the block's real start; the real work is
// done by the C library's own allocator through its __libc_ entry points.
//
//===----------------------------------------------------------------------===//

#include "HeapCounter.h"

#include <Quorrel/NativeAllocator.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <unistd.h>

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void *block);
}

namespace CollectionBench {
namespace {

class Counter {
public:
  void Add(std::size_t bytes) {
    std::size_t live = m_live.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    m_blocks.fetch_add(1, std::memory_order_relaxed);
    std::size_t peak = m_peak.load(std::memory_order_relaxed);
    while (live > peak && !m_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
  }
  void Remove(std::size_t bytes) {
    m_live.fetch_sub(bytes, std::memory_order_relaxed);
    m_blocks.fetch_sub(1, std::memory_order_relaxed);
  }
  void ResetPeak() { m_peak.store(m_live.load(std::memory_order_relaxed), std::memory_order_relaxed); }
  HeapFigures Figures() const {
    HeapFigures figures;
    figures.liveBytes = m_live.load(std::memory_order_relaxed);
    figures.peakBytes = m_peak.load(std::memory_order_relaxed);
    figures.liveBlocks = m_blocks.load(std::memory_order_relaxed);
    return figures;
  }

private:
  std::atomic<std::size_t> m_live{0};
  std::atomic<std::size_t> m_peak{0};
  std::atomic<std::size_t> m_blocks{0};
};

// Constant-initialised: ready before the first allocation of the process.
Counter s_heap;
Counter s_heapChunks;
Counter s_operatorNew;
Counter s_native;

struct Header {
  std::size_t size;
  std::size_t offset;
};
constexpr std::size_t kHeader = 16;
static_assert(sizeof(Header) == kHeader, "the header keeps blocks aligned to 16 bytes");

std::size_t ChunkOf(std::size_t size) {
  std::size_t chunk = (size + 8 + 15) & ~std::size_t(15);
  return chunk < 32 ? 32 : chunk;
}

// Through an integer: the compiler sees the caller's block as an object of
// its own and would take the header for an access out of its bounds.
Header *HeaderOf(void *block) {
  return reinterpret_cast<Header *>(reinterpret_cast<std::uintptr_t>(block) - kHeader);
}

void *Counted(void *start, std::size_t offset, std::size_t size) {
  if (start == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  char *block = static_cast<char *>(start) + offset;
  Header *header = HeaderOf(block);
  header->size = size;
  header->offset = offset;
  s_heap.Add(size);
  s_heapChunks.Add(ChunkOf(size));
  return block;
}

bool TooLarge(std::size_t size, std::size_t extra) { return size > SIZE_MAX - extra; }

void *Aligned(std::size_t alignment, std::size_t size) {
  if (alignment <= kHeader)
    return std::malloc(size);
  if (TooLarge(size, alignment)) {
    errno = ENOMEM;
    return nullptr;
  }
  // The header sits in the alignment's room below the block.
  return Counted(__libc_memalign(alignment, size + alignment), alignment, size);
}

// Counts `block` (null allowed) in `counter` and hands it on.
void *Taken(Counter &counter, void *block) {
  if (block != nullptr)
    counter.Add(malloc_usable_size(block));
  return block;
}

// Takes `block` (null allowed) out of `counter` and frees it.
void GivenBack(Counter &counter, void *block) {
  if (block == nullptr)
    return;
  counter.Remove(malloc_usable_size(block));
  std::free(block);
}

void *NewBlock(std::size_t size) { return Taken(s_operatorNew, std::malloc(size != 0 ? size : 1)); }

void *NewAlignedBlock(std::size_t size, std::align_val_t alignment) {
  return Taken(s_operatorNew, Aligned(static_cast<std::size_t>(alignment), size != 0 ? size : 1));
}

void DeleteBlock(void *block) noexcept { GivenBack(s_operatorNew, block); }

class CountingNativeAllocator final : public NativeAllocator {
public:
  void *Allocate(std::size_t size) override { return Taken(s_native, std::malloc(size != 0 ? size : 1)); }
  void Free(void *block) override { GivenBack(s_native, block); }
};

Counter &CounterOf(Source source) {
  switch (source) {
  case Source::OperatorNew:
    return s_operatorNew;
  case Source::NativeAllocator:
    return s_native;
  case Source::HeapChunks:
    return s_heapChunks;
  case Source::Heap:
    break;
  }
  return s_heap;
}

} // namespace

HeapFigures Figures(Source source) { return CounterOf(source).Figures(); }

void ResetPeaks() {
  s_heap.ResetPeak();
  s_heapChunks.ResetPeak();
  s_operatorNew.ResetPeak();
  s_native.ResetPeak();
}

void CountNativeAllocations() {
  static CountingNativeAllocator allocator;
  SetNativeAllocator(&allocator);
}

} // namespace CollectionBench

using CollectionBench::Aligned;
using CollectionBench::Counted;
using CollectionBench::HeaderOf;
using CollectionBench::kHeader;
using CollectionBench::TooLarge;

// Every replacement is seen by the whole process, whatever the build's
// default visibility.
#define COLLECTION_BENCH_REPLACES __attribute__((visibility("default")))

// --- The C heap --------------------------------------------------------------

extern "C" COLLECTION_BENCH_REPLACES void *malloc(std::size_t size) noexcept {
  if (TooLarge(size, kHeader)) {
    errno = ENOMEM;
    return nullptr;
  }
  return Counted(__libc_malloc(size + kHeader), kHeader, size);
}

extern "C" COLLECTION_BENCH_REPLACES void *calloc(std::size_t count, std::size_t size) noexcept {
  if (size != 0 && count > (SIZE_MAX - kHeader) / size) {
    errno = ENOMEM;
    return nullptr;
  }
  return Counted(__libc_calloc(1, count * size + kHeader), kHeader, count * size);
}

extern "C" COLLECTION_BENCH_REPLACES void free(void *block) noexcept {
  if (block == nullptr)
    return;
  CollectionBench::Header *header = HeaderOf(block);
  CollectionBench::s_heap.Remove(header->size);
  CollectionBench::s_heapChunks.Remove(CollectionBench::ChunkOf(header->size));
  __libc_free(static_cast<char *>(block) - header->offset);
}

extern "C" COLLECTION_BENCH_REPLACES void *realloc(void *block, std::size_t size) noexcept {
  if (block == nullptr)
    return malloc(size);
  if (size == 0) {
    free(block);
    return nullptr;
  }
  void *moved = malloc(size);
  if (moved == nullptr)
    return nullptr;
  std::size_t old = HeaderOf(block)->size;
  std::memcpy(moved, block, old < size ? old : size);
  free(block);
  return moved;
}

extern "C" COLLECTION_BENCH_REPLACES void *memalign(std::size_t alignment, std::size_t size) noexcept {
  return Aligned(alignment, size);
}

extern "C" COLLECTION_BENCH_REPLACES void *aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  return Aligned(alignment, size);
}

extern "C" COLLECTION_BENCH_REPLACES int posix_memalign(void **result, std::size_t alignment,
                                                        std::size_t size) noexcept {
  if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0)
    return EINVAL;
  void *block = Aligned(alignment, size);
  if (block == nullptr)
    return ENOMEM;
  *result = block;
  return 0;
}

extern "C" COLLECTION_BENCH_REPLACES void *valloc(std::size_t size) noexcept {
  return Aligned(static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), size);
}

extern "C" COLLECTION_BENCH_REPLACES void *pvalloc(std::size_t size) noexcept {
  std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return Aligned(page, (size + page - 1) / page * page);
}

extern "C" COLLECTION_BENCH_REPLACES std::size_t malloc_usable_size(void *block) noexcept {
  return block != nullptr ? HeaderOf(block)->size : 0;
}

// --- The global operator new ---------------------------------------------------

COLLECTION_BENCH_REPLACES void *operator new(std::size_t size) {
  void *block = CollectionBench::NewBlock(size);
  if (block == nullptr)
    throw std::bad_alloc();
  return block;
}
COLLECTION_BENCH_REPLACES void *operator new[](std::size_t size) { return operator new(size); }
COLLECTION_BENCH_REPLACES void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  return CollectionBench::NewBlock(size);
}
COLLECTION_BENCH_REPLACES void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
  return CollectionBench::NewBlock(size);
}
COLLECTION_BENCH_REPLACES void *operator new(std::size_t size, std::align_val_t alignment) {
  void *block = CollectionBench::NewAlignedBlock(size, alignment);
  if (block == nullptr)
    throw std::bad_alloc();
  return block;
}
COLLECTION_BENCH_REPLACES void *operator new[](std::size_t size, std::align_val_t alignment) {
  return operator new(size, alignment);
}
COLLECTION_BENCH_REPLACES void *operator new(std::size_t size, std::align_val_t alignment,
                                             const std::nothrow_t &) noexcept {
  return CollectionBench::NewAlignedBlock(size, alignment);
}
COLLECTION_BENCH_REPLACES void *operator new[](std::size_t size, std::align_val_t alignment,
                                               const std::nothrow_t &) noexcept {
  return CollectionBench::NewAlignedBlock(size, alignment);
}

COLLECTION_BENCH_REPLACES void operator delete(void *block) noexcept { CollectionBench::DeleteBlock(block); }
COLLECTION_BENCH_REPLACES void operator delete[](void *block) noexcept { CollectionBench::DeleteBlock(block); }
COLLECTION_BENCH_REPLACES void operator delete(void *block, std::size_t) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete[](void *block, std::size_t) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete(void *block, const std::nothrow_t &) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete[](void *block, const std::nothrow_t &) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete(void *block, std::align_val_t) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete[](void *block, std::align_val_t) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete(void *block, std::size_t, std::align_val_t) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete[](void *block, std::size_t, std::align_val_t) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete(void *block, std::align_val_t, const std::nothrow_t &) noexcept {
  CollectionBench::DeleteBlock(block);
}
COLLECTION_BENCH_REPLACES void operator delete[](void *block, std::align_val_t, const std::nothrow_t &) noexcept {
  CollectionBench::DeleteBlock(block);
}
