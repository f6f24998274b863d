//===- HeapCounter.h - Every heap block of the process, counted -*- C++ -*-===//
//
// Benchmark support for the memory figures. Linked into a program, it counts
// every block of the process at three levels: the C heap (malloc and its
// kin, replaced for the whole process, which every library's memory reaches
// in the end), the global operator new, and the native allocator.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_BENCH_HEAPCOUNTER_H
#define COLLECTION_BENCH_HEAPCOUNTER_H

#include <cstddef>

namespace CollectionBench {

/// Where a block was asked for. `Heap` sees every block, the blocks of the
/// other two included; `HeapChunks` sees the same blocks as the C library's
/// allocator (glibc, 64-bit) lays them out: each request with its 8-byte
/// header, rounded up to 16 bytes, 32 bytes at least.
enum class Source { Heap, HeapChunks, OperatorNew, NativeAllocator };

/// Requested bytes (chunk bytes for `HeapChunks`).
struct HeapFigures {
  std::size_t liveBytes = 0;
  /// The most bytes live at once since the last `ResetPeaks`.
  std::size_t peakBytes = 0;
  std::size_t liveBlocks = 0;
};

/// The figures of `source` now. O(1); allocates nothing.
HeapFigures Figures(Source source);

/// Makes every source's peak its live bytes now, to measure the peak of
/// what follows.
void ResetPeaks();

/// Installs a native allocator that counts (as `NativeAllocator`) and hands
/// the work to malloc. Call once, before any value is made.
void CountNativeAllocations();

} // namespace CollectionBench

#endif // COLLECTION_BENCH_HEAPCOUNTER_H
