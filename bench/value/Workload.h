//===- Workload.h - The data every library is measured on -------*- C++ -*-===//
//
// Benchmark support: deterministic keys, values, nested trees and numeric
// texts. Each is made once per size and shared by every library's run, so
// that each library does exactly the same work on exactly the same data.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_BENCH_WORKLOAD_H
#define COLLECTION_BENCH_WORKLOAD_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace CollectionBench {

/// A value stored in a dictionary: a number or a short text (at most 15
/// bytes, so that it fits a standard string without a block of its own).
struct Item {
  bool isText = false;
  int number = 0;
  std::string text;
};

/// A flat dictionary of n entries and the keys to look up in it.
struct FlatWorkload {
  /// Keys of 8 to 24 bytes, unique, in insertion order (not sorted).
  std::vector<std::string> keys;
  /// `items[i]` goes under `keys[i]`; numbers and texts alternate.
  std::vector<Item> items;
  /// Every key once, in an order unrelated to insertion or key order.
  std::vector<std::string> lookupKeys;
  /// As many keys of the same lengths that are in no dictionary.
  std::vector<std::string> missingKeys;
};

/// A three-level tree: every key of `levels[0]` maps to a dictionary in which
/// every key of `levels[1]` maps to a dictionary holding a number under every
/// key of `levels[2]`. About n leaves (the fanout is the cube root of n).
struct NestedWorkload {
  std::array<std::vector<std::string>, 3> levels;
  /// Every leaf once, as indexes into the three levels, shuffled.
  std::vector<std::array<std::uint32_t, 3>> paths;
};

/// Two two-level trees of about n number leaves each, for merging the second
/// into the first: the same top-level keys; below each, the overlay repeats
/// every other leaf key of the base and brings as many new ones.
struct MergeWorkload {
  std::vector<std::string> top;
  std::vector<std::string> baseLeaves;
  std::vector<std::string> overlayLeaves;
  std::size_t Leaves() const { return top.size() * overlayLeaves.size(); }
};

/// Texts of numbers, the same for every reader.
struct TextWorkload {
  /// Decimal integers across the whole signed 32-bit range.
  std::vector<std::string> integers;
  /// Doubles of every magnitude, as `%.17g` and as short decimals.
  std::vector<std::string> decimals;
};

/// Each answers the workload for `n`, made on first use and kept for the
/// life of the process. Not synchronised: call from one thread.
const FlatWorkload &Flat(std::size_t n);
const NestedWorkload &Nested(std::size_t n);
const MergeWorkload &Merge(std::size_t n);
const TextWorkload &Texts(std::size_t n);

} // namespace CollectionBench

#endif // COLLECTION_BENCH_WORKLOAD_H
