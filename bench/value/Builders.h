//===- Builders.h - The benchmark dictionaries, built by any library -*- C++ -*-===//
//
// Benchmark support: the dictionaries of the workloads, built through the
// interface every library of the benchmarks offers (see value_bench.cpp).
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_BENCH_BUILDERS_H
#define COLLECTION_BENCH_BUILDERS_H

#include "Workload.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace CollectionBench {

/// The flat dictionary: `items[i]` under `keys[i]`, inserted in that order.
template <typename L> typename L::Dict BuildFlat(const FlatWorkload &workload) {
  typename L::Dict dict = L::MakeDict();
  for (std::size_t i = 0; i < workload.keys.size(); ++i)
    L::Insert(dict, workload.keys[i], workload.items[i]);
  return dict;
}

/// The three-level tree.
template <typename L> typename L::Dict BuildNested(const NestedWorkload &workload) {
  typename L::Dict top = L::MakeDict();
  for (const std::string &a : workload.levels[0]) {
    typename L::Dict middle = L::MakeDict();
    for (const std::string &b : workload.levels[1]) {
      typename L::Dict leaves = L::MakeDict();
      Item item;
      for (const std::string &c : workload.levels[2]) {
        L::Insert(leaves, c, item);
        ++item.number;
      }
      L::InsertDict(middle, b, std::move(leaves));
    }
    L::InsertDict(top, a, std::move(middle));
  }
  return top;
}

/// The library's path text of every leaf, in the workload's order.
template <typename L> std::vector<std::string> PathTexts(const NestedWorkload &workload) {
  std::vector<std::string> texts;
  texts.reserve(workload.paths.size());
  for (const std::array<std::uint32_t, 3> &path : workload.paths)
    texts.push_back(
        L::PathText(workload.levels[0][path[0]], workload.levels[1][path[1]], workload.levels[2][path[2]]));
  return texts;
}

/// Every key of `top` mapping to a dictionary with a number under each key
/// of `leaves`, counting up from `first`.
template <typename L>
typename L::Dict BuildTwoLevels(const std::vector<std::string> &top, const std::vector<std::string> &leaves,
                                int first) {
  typename L::Dict dict = L::MakeDict();
  for (const std::string &key : top) {
    typename L::Dict below = L::MakeDict();
    Item item;
    item.number = first;
    for (const std::string &leaf : leaves) {
      L::Insert(below, leaf, item);
      ++item.number;
    }
    L::InsertDict(dict, key, std::move(below));
  }
  return dict;
}

/// The two trees of a merge.
template <typename L> typename L::Dict BuildMergeBase(const MergeWorkload &workload) {
  return BuildTwoLevels<L>(workload.top, workload.baseLeaves, 0);
}

template <typename L> typename L::Dict BuildMergeOverlay(const MergeWorkload &workload) {
  return BuildTwoLevels<L>(workload.top, workload.overlayLeaves, 1000000);
}

} // namespace CollectionBench

#endif // COLLECTION_BENCH_BUILDERS_H
