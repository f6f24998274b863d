//===- value_memory.cpp - Bytes per entry of the value library and its peers -===//
//
// Builds the flat dictionary of the timed benchmarks once per library and
// reports, per entry, the most heap it held at once while being built (peak
// heap), the same in the chunks glibc's allocator makes of the blocks
// (its headers and rounding included), what of the peak went through the
// native allocator and through the global operator new, and how many blocks
// the dictionary keeps. Registered as "dict/memory/<library>/<n>", one iteration
// each, with the figures as counters.
//
//===----------------------------------------------------------------------===//

#include "BenchMain.h"
#include "Builders.h"
#include "CollectionLibrary.h"
#include "HeapCounter.h"
#include "JsoncppLibrary.h"
#include "NlohmannLibrary.h"
#include "Workload.h"

#include <utility>

namespace CollectionBench {
namespace {

template <typename L> void Memory(benchmark::State &state, std::size_t n) {
  const FlatWorkload &workload = Flat(n);
  for (auto _ : state) {
    HeapFigures heap = Figures(Source::Heap);
    HeapFigures chunks = Figures(Source::HeapChunks);
    HeapFigures native = Figures(Source::NativeAllocator);
    HeapFigures operatorNew = Figures(Source::OperatorNew);
    ResetPeaks();
    typename L::Dict dict = BuildFlat<L>(workload);
    double entries = static_cast<double>(n);
    state.counters["heap_bytes_per_entry"] =
        static_cast<double>(Figures(Source::Heap).peakBytes - heap.liveBytes) / entries;
    state.counters["heap_chunk_bytes_per_entry"] =
        static_cast<double>(Figures(Source::HeapChunks).peakBytes - chunks.liveBytes) / entries;
    state.counters["native_bytes_per_entry"] =
        static_cast<double>(Figures(Source::NativeAllocator).peakBytes - native.liveBytes) / entries;
    state.counters["new_bytes_per_entry"] =
        static_cast<double>(Figures(Source::OperatorNew).peakBytes - operatorNew.liveBytes) / entries;
    state.counters["blocks_per_entry"] =
        static_cast<double>(Figures(Source::Heap).liveBlocks - heap.liveBlocks) / entries;
    typename L::Dict gone(std::move(dict));
  }
}

void RegisterCases(const Plan &plan) {
  CountNativeAllocations();
  const std::size_t n = plan.memorySize;
  benchmark::RegisterBenchmark(CaseName("dict", "memory", CollectionLibrary::Name, n).c_str(),
                               [n](benchmark::State &state) { Memory<CollectionLibrary>(state, n); })
      ->Iterations(1);
  benchmark::RegisterBenchmark(CaseName("dict", "memory", NlohmannLibrary::Name, n).c_str(),
                               [n](benchmark::State &state) { Memory<NlohmannLibrary>(state, n); })
      ->Iterations(1);
  benchmark::RegisterBenchmark(CaseName("dict", "memory", JsoncppLibrary::Name, n).c_str(),
                               [n](benchmark::State &state) { Memory<JsoncppLibrary>(state, n); })
      ->Iterations(1);
}

} // namespace
} // namespace CollectionBench

int main(int argc, char **argv) { return CollectionBench::RunBenchmarks(argc, argv, CollectionBench::RegisterCases); }
