//===- BenchMain.h - Sizes and the main function of a benchmark binary -*- C++ -*-===//
//
// Benchmark support: what a benchmark binary of this folder is asked to run
// (the sizes, and how long each case runs) and its main function.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_BENCH_BENCHMAIN_H
#define COLLECTION_BENCH_BENCHMAIN_H

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <vector>

namespace CollectionBench {

/// The sizes to run and the least time each case runs.
struct Plan {
  /// n = 1,000 to 1,000,000; only 1,000 for a quick run.
  std::vector<std::size_t> sizes;
  /// The size at which memory is measured: 100,000; 1,000 for a quick run.
  std::size_t memorySize;
  /// Seconds, as Google Benchmark's MinTime takes them: 0.2 (0.01 for a
  /// quick run), which scripts/bench repeats five times.
  double minTime;
  bool quick;
};

/// The name every case is registered under, which scripts/bench reads back:
/// "<table>/<case>/<library>/<n>".
std::string CaseName(const char *table, const char *caseName, const char *library, std::size_t n);

/// Takes `--quick` out of the arguments, has `registerCases` register every
/// case for the plan, then runs Google Benchmark with the other arguments.
/// Answers the process's exit status.
int RunBenchmarks(int argc, char **argv, void (*registerCases)(const Plan &plan));

} // namespace CollectionBench

#endif // COLLECTION_BENCH_BENCHMAIN_H
