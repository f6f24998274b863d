//===- value_bench.cpp - Timed jobs of the value library and its peers ----===//
//
// Each job is written once, against the interface every library of the
// benchmarks offers (CollectionLibrary.h, NlohmannLibrary.h,
// JsoncppLibrary.h):
//
//   Name                        the library's name in results
//   Dict                        a dictionary (a JSON object for the peers)
//   MakeDict()                  an empty one
//   Insert(d, key, item)        store a number or a short text under key
//   InsertDict(d, key, child)   store a dictionary under key
//   Find(d, key)                the value under key, or null
//   PathText(a, b, c)           the library's text for the path a, b, c
//   FindPath(d, text)           the value that path text leads to, or null
//   Copy(d)                     a copy, as the library copies
//   MergeInto(target, overlay)  a hierarchical merge
//   Dump(d)                     the dictionary as text
//   Walk(d)                     visit every entry
//
// and registered for every library and size as "<table>/<case>/<library>/<n>"
// with the counter "ops": how many operations one iteration performs. Time
// per operation is an iteration's time divided by ops. Only the job itself
// is timed: building inputs and destroying results are not.
//
//===----------------------------------------------------------------------===//

#include "BenchMain.h"
#include "Builders.h"
#include "CollectionLibrary.h"
#include "JsoncppLibrary.h"
#include "NlohmannLibrary.h"
#include "Workload.h"

#include <Collection/Collection.h>

#include <charconv>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace CollectionBench {
namespace {

// --- Inputs, built once per library and workload ---------------------------

// The result of `Make` for `workload`, made on first use and kept for the
// life of the process (one store per library, workload type and maker), so
// that large inputs are built once for all the runs of every case, in
// whatever order the runs come.
template <typename L, typename Workload, typename Result, Result (*Make)(const Workload &)>
const Result &Kept(const Workload &workload) {
  static std::map<const Workload *, Result> made;
  typename std::map<const Workload *, Result>::iterator found = made.find(&workload);
  if (found == made.end())
    found = made.emplace(&workload, Make(workload)).first;
  return found->second;
}

template <typename L> const typename L::Dict &FlatDict(std::size_t n) {
  return Kept<L, FlatWorkload, typename L::Dict, BuildFlat<L>>(Flat(n));
}

// Destroys `dict` untimed.
template <typename Dict> void Discard(benchmark::State &state, Dict &dict) {
  state.PauseTiming();
  { Dict gone(std::move(dict)); }
  state.ResumeTiming();
}

void SetOps(benchmark::State &state, std::size_t ops) {
  state.counters["ops"] = static_cast<double>(ops);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ops));
}

// --- Dictionary jobs --------------------------------------------------------

template <typename L> void Insert(benchmark::State &state, std::size_t n) {
  const FlatWorkload &workload = Flat(n);
  for (auto _ : state) {
    typename L::Dict dict = BuildFlat<L>(workload);
    Discard(state, dict);
  }
  SetOps(state, n);
}

// Looks every one of `keys` up, which all are in the dictionary or all are
// not (`present`).
template <typename L>
void LookUpEach(benchmark::State &state, std::size_t n, const std::vector<std::string> &keys, bool present) {
  const typename L::Dict &dict = FlatDict<L>(n);
  for (const std::string &key : keys)
    if ((L::Find(dict, key) != nullptr) != present)
      return state.SkipWithError(present ? "a key was not found" : "a missing key was found");
  for (auto _ : state)
    for (const std::string &key : keys)
      benchmark::DoNotOptimize(L::Find(dict, key));
  SetOps(state, keys.size());
}

template <typename L> void Lookup(benchmark::State &state, std::size_t n) {
  LookUpEach<L>(state, n, Flat(n).lookupKeys, true);
}

template <typename L> void LookupMissing(benchmark::State &state, std::size_t n) {
  LookUpEach<L>(state, n, Flat(n).missingKeys, false);
}

template <typename L> void KeyPath(benchmark::State &state, std::size_t n) {
  const NestedWorkload &workload = Nested(n);
  const typename L::Dict &dict = Kept<L, NestedWorkload, typename L::Dict, BuildNested<L>>(workload);
  const std::vector<std::string> &texts = Kept<L, NestedWorkload, std::vector<std::string>, PathTexts<L>>(workload);
  for (const std::string &text : texts)
    if (L::FindPath(dict, text) == nullptr)
      return state.SkipWithError("a path was not found");
  for (auto _ : state)
    for (const std::string &text : texts)
      benchmark::DoNotOptimize(L::FindPath(dict, text));
  SetOps(state, texts.size());
}

template <typename L> void Copy(benchmark::State &state, std::size_t n) {
  const typename L::Dict &dict = FlatDict<L>(n);
  for (auto _ : state) {
    typename L::Dict copy = L::Copy(dict);
    Discard(state, copy);
  }
  SetOps(state, n);
}

template <typename L> void MergeHierarchically(benchmark::State &state, std::size_t n) {
  const MergeWorkload &workload = Merge(n);
  const typename L::Dict &base = Kept<L, MergeWorkload, typename L::Dict, BuildMergeBase<L>>(workload);
  const typename L::Dict &overlay = Kept<L, MergeWorkload, typename L::Dict, BuildMergeOverlay<L>>(workload);
  for (auto _ : state) {
    state.PauseTiming();
    typename L::Dict target = L::Copy(base);
    state.ResumeTiming();
    L::MergeInto(target, overlay);
    Discard(state, target);
  }
  SetOps(state, workload.Leaves());
}

template <typename L> void Dump(benchmark::State &state, std::size_t n) {
  const typename L::Dict &dict = FlatDict<L>(n);
  for (auto _ : state)
    benchmark::DoNotOptimize(L::Dump(dict));
  SetOps(state, n);
}

template <typename L> void Walk(benchmark::State &state, std::size_t n) {
  const typename L::Dict &dict = FlatDict<L>(n);
  for (auto _ : state)
    benchmark::DoNotOptimize(L::Walk(dict));
  SetOps(state, n);
}

// --- Numbers read from text -------------------------------------------------
//
// The value library's String accessors against one formatted extraction from
// a fresh std::istringstream (what the accessors are defined to answer) and
// against std::from_chars. The texts are plain numbers, which all three read
// alike; every run first checks that they do.

template <typename T> T ReadWithValue(const Zorbin::Tessel::Collection::Value &text);
template <> int ReadWithValue<int>(const Zorbin::Tessel::Collection::Value &text) {
  return static_cast<int>(text.IntValue());
}
template <> double ReadWithValue<double>(const Zorbin::Tessel::Collection::Value &text) { return text.DoubleValue(); }

template <typename T> T ReadWithStream(const std::string &text) {
  std::istringstream stream(text);
  T value = 0;
  stream >> value;
  return value;
}

template <typename T> T ReadWithFromChars(const std::string &text) {
  T value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

enum class Reader { Value, Stream, FromChars };

template <typename T> const std::vector<std::string> &TextsOf(const TextWorkload &workload);
template <> const std::vector<std::string> &TextsOf<int>(const TextWorkload &workload) { return workload.integers; }
template <> const std::vector<std::string> &TextsOf<double>(const TextWorkload &workload) {
  return workload.decimals;
}

template <typename T, Reader R> void ReadNumbers(benchmark::State &state, std::size_t n) {
  using Zorbin::Tessel::Collection::Value;
  using Zorbin::Tessel::Runtime::Ref;
  const std::vector<std::string> &texts = TextsOf<T>(Texts(n));
  std::vector<Ref<const Value>> values;
  for (const std::string &text : texts) {
    values.push_back(Zorbin::Tessel::Collection::MakeValue(text));
    T expected = ReadWithStream<T>(text);
    if (ReadWithValue<T>(*values.back()) != expected || ReadWithFromChars<T>(text) != expected)
      return state.SkipWithError(("the readers differ on " + text).c_str());
  }
  for (auto _ : state) {
    if (R == Reader::Value) {
      for (const Ref<const Value> &value : values)
        benchmark::DoNotOptimize(ReadWithValue<T>(*value));
    } else {
      for (const std::string &text : texts)
        benchmark::DoNotOptimize(R == Reader::Stream ? ReadWithStream<T>(text) : ReadWithFromChars<T>(text));
    }
  }
  SetOps(state, texts.size());
}

// --- Registration -----------------------------------------------------------

using Job = void (*)(benchmark::State &, std::size_t);

void Add(const Plan &plan, const char *table, const char *caseName, const char *library, std::size_t n, Job job) {
  benchmark::RegisterBenchmark(CaseName(table, caseName, library, n).c_str(),
                               [job, n](benchmark::State &state) { job(state, n); })
      ->MinTime(plan.minTime)
      ->Unit(benchmark::kMicrosecond);
}

// Registers `Job` for every size and library.
#define COLLECTION_BENCH_EACH_LIBRARY(plan, caseName, Job)                                                           \
  for (std::size_t n : plan.sizes) {                                                                                 \
    Add(plan, "dict", caseName, CollectionLibrary::Name, n, Job<CollectionLibrary>);                                 \
    Add(plan, "dict", caseName, NlohmannLibrary::Name, n, Job<NlohmannLibrary>);                                     \
    Add(plan, "dict", caseName, JsoncppLibrary::Name, n, Job<JsoncppLibrary>);                                       \
  }

void RegisterCases(const Plan &plan) {
  COLLECTION_BENCH_EACH_LIBRARY(plan, "insert", Insert)
  COLLECTION_BENCH_EACH_LIBRARY(plan, "lookup", Lookup)
  COLLECTION_BENCH_EACH_LIBRARY(plan, "lookup missing", LookupMissing)
  COLLECTION_BENCH_EACH_LIBRARY(plan, "key path", KeyPath)
  COLLECTION_BENCH_EACH_LIBRARY(plan, "copy", Copy)
  COLLECTION_BENCH_EACH_LIBRARY(plan, "merge", MergeHierarchically)
  COLLECTION_BENCH_EACH_LIBRARY(plan, "to string", Dump)
  COLLECTION_BENCH_EACH_LIBRARY(plan, "walk", Walk)

  const std::size_t texts = 1000;
  Add(plan, "text", "IntValue", "collection", texts, ReadNumbers<int, Reader::Value>);
  Add(plan, "text", "IntValue", "istringstream", texts, ReadNumbers<int, Reader::Stream>);
  Add(plan, "text", "IntValue", "from_chars", texts, ReadNumbers<int, Reader::FromChars>);
  Add(plan, "text", "DoubleValue", "collection", texts, ReadNumbers<double, Reader::Value>);
  Add(plan, "text", "DoubleValue", "istringstream", texts, ReadNumbers<double, Reader::Stream>);
  Add(plan, "text", "DoubleValue", "from_chars", texts, ReadNumbers<double, Reader::FromChars>);
}

} // namespace
} // namespace CollectionBench

int main(int argc, char **argv) { return CollectionBench::RunBenchmarks(argc, argv, CollectionBench::RegisterCases); }
