//===- BenchMain.cpp - Sizes and the main function of a benchmark binary --===//

#include "BenchMain.h"

#include <cstring>

namespace CollectionBench {

std::string CaseName(const char *table, const char *caseName, const char *library, std::size_t n) {
  return std::string(table) + '/' + caseName + '/' + library + '/' + std::to_string(n);
}

int RunBenchmarks(int argc, char **argv, void (*registerCases)(const Plan &plan)) {
  bool quick = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      quick = true;
    else
      argv[kept++] = argv[i];
  }
  argc = kept;

  Plan plan;
  plan.quick = quick;
  plan.sizes = quick ? std::vector<std::size_t>{1000} : std::vector<std::size_t>{1000, 10000, 100000, 1000000};
  plan.memorySize = quick ? 1000 : 100000;
  plan.minTime = quick ? 0.01 : 0.2;
  registerCases(plan);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

} // namespace CollectionBench
