//===- merge_fuzzer.cpp - Hierarchical merge against a model ----------------===//
//
// Merges one random nested dictionary into another (sometimes into itself,
// sometimes sharing sub-dictionaries between the two) with
// AddEntriesFromDictionaryHierarchically and compares the result with a merge
// of plain trees: shared objects where one side wins, new dictionaries where
// both sides hold one. Every dictionary that existed before, apart from the
// target, must come out unchanged. Now and then a native allocation fails
// during the merge: the target must then hold the merge of a prefix of the
// other dictionary's entries.
//
//===----------------------------------------------------------------------===//

#include "ValueForest.h"

#include "support/CountingAllocator.h"

#include <cstdint>
#include <new>
#include <set>
#include <vector>

namespace {

using namespace CollectionFuzz;
using Collection::Dictionary;
using Collection::Value;

void MergeOnce(FuzzedDataProvider &input, CollectionTest::CountingAllocator &allocator) {
  ValueForest forest(input);
  // `other` first, so that the target may hold it or its parts, never the reverse.
  Dictionary &other = forest.NewDictionary(3, 5);
  Dictionary &target = input.ConsumeIntegralInRange(0, 15) == 0 ? other : forest.NewDictionary(3, 5);
  const std::uint64_t failAt = input.ConsumeIntegralInRange<std::uint64_t>(0, 8);

  const std::vector<const Value *> handles = forest.Handles();
  const std::set<const Value *> existing(handles.begin(), handles.end());
  std::vector<std::pair<const Dictionary *, Shape>> before;
  for (const Dictionary *dictionary : forest.Dictionaries())
    before.emplace_back(dictionary, ShapeOf(*dictionary));
  const Shape targetBefore = ShapeOf(target);
  const Shape otherBefore = ShapeOf(other);

  bool threw = false;
  if (failAt != 0)
    allocator.FailNth(failAt);
  try {
    target.AddEntriesFromDictionaryHierarchically(other);
  } catch (const std::bad_alloc &) {
    threw = true;
  }
  allocator.Heal();

  const Shape after = ShapeOf(target);
  bool matched = false;
  for (std::size_t count = threw ? 0 : otherBefore.entries.size(); count <= otherBefore.entries.size() && !matched;
       ++count)
    matched = Matches(after, CollectionTest::MergedShape(targetBefore, otherBefore, count), existing);
  FUZZ_CHECK(matched);
  for (const auto &[dictionary, shape] : before) {
    if (dictionary != &target)
      FUZZ_CHECK(Matches(ShapeOf(*dictionary), shape, existing));
  }
  CheckReferenceCounts(handles);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  CollectionTest::CountingAllocator allocator;
  MergeOnce(input, allocator);
  FUZZ_CHECK(allocator.LiveBlocks() == 0);
  return 0;
}
