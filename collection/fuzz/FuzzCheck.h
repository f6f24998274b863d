//===- FuzzCheck.h - Stop the fuzzer on a broken expectation ----*- C++ -*-===//
//
// FUZZ_CHECK(condition): when the condition is false, names it and aborts,
// which libFuzzer reports as a crash and keeps the input that caused it.
// CheckReferenceCounts does the same for a miscounted value.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_FUZZ_FUZZCHECK_H
#define COLLECTION_FUZZ_FUZZCHECK_H

#include "support/ValueGraph.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                                                        \
  do {                                                                                                               \
    if (!(condition)) {                                                                                              \
      std::fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #condition);                                  \
      std::abort();                                                                                                  \
    }                                                                                                                \
  } while (false)

namespace CollectionFuzz {

namespace Collection = Zorbin::Tessel::Collection;
namespace Runtime = Zorbin::Tessel::Runtime;
using CollectionTest::ForEachEntry;

/// Aborts unless every value reachable from `handles` has exactly the
/// references that its holders account for (see MiscountedValues).
inline void CheckReferenceCounts(const std::vector<const Collection::Value *> &handles) {
  const std::string report = CollectionTest::MiscountedValues(handles);
  if (!report.empty()) {
    std::fputs(report.c_str(), stderr);
    std::abort();
  }
}

} // namespace CollectionFuzz

#endif // COLLECTION_FUZZ_FUZZCHECK_H
