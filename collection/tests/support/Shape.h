//===- Shape.h - Values as plain trees, and a model of the merge -*- C++ -*-===//
//
// Test support: what a value looks like to a model (its identity and, for a
// dictionary, its entries to any depth), and the hierarchical merge carried
// out on such trees.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_TESTS_SUPPORT_SHAPE_H
#define COLLECTION_TESTS_SUPPORT_SHAPE_H

#include "ValueGraph.h"

#include <Collection/Dictionary.h>

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace CollectionTest {

/// A value as a model sees it.
struct Shape {
  /// The value itself; in an expected shape, null stands for a dictionary
  /// that the operation under test makes anew.
  const Zorbin::Tessel::Collection::Value *object = nullptr;
  bool dictionary = false;
  std::map<std::string, Shape> entries; ///< A dictionary's entries by key.
};

/// The shape of `value` as it stands now, to any depth.
inline Shape ShapeOf(const Zorbin::Tessel::Collection::Value &value) {
  using namespace Zorbin::Tessel::Collection;
  Shape shape;
  shape.object = &value;
  if (auto *dictionary = dynamic_cast<const Dictionary *>(&value)) {
    shape.dictionary = true;
    ForEachEntry(*dictionary, [&shape](const std::string &key, const Value &entry) {
      shape.entries.emplace(key, ShapeOf(entry));
      return true;
    });
  }
  return shape;
}

/// True when `actual` has the expected keys to any depth and the expected
/// objects wherever `expected` names one; where it names none, `actual` must
/// be a dictionary that is not in `existing` (the values that existed before
/// the operation).
inline bool Matches(const Shape &actual, const Shape &expected,
                    const std::set<const Zorbin::Tessel::Collection::Value *> &existing) {
  if (expected.object != nullptr ? actual.object != expected.object
                                 : !actual.dictionary || existing.count(actual.object) != 0)
    return false;
  if (actual.dictionary != expected.dictionary || actual.entries.size() != expected.entries.size())
    return false;
  auto a = actual.entries.begin();
  for (auto e = expected.entries.begin(); e != expected.entries.end(); ++e, ++a) {
    if (a->first != e->first || !Matches(a->second, e->second, existing))
      return false;
  }
  return true;
}

/// The model of `AddEntriesFromDictionaryHierarchically`: `target` after the
/// first `count` entries of `other` (in key order) are merged in. Where both
/// sides hold a dictionary the result is a new one (object null) made of the
/// target's entries with the other's merged in the same way; everywhere else
/// the other's value itself wins.
inline Shape MergedShape(Shape target, const Shape &other, std::size_t count) {
  auto entry = other.entries.begin();
  for (; count != 0; --count, ++entry) {
    const auto &[key, incoming] = *entry;
    auto found = target.entries.find(key);
    if (incoming.dictionary && found != target.entries.end() && found->second.dictionary) {
      Shape merged = MergedShape(found->second, incoming, incoming.entries.size());
      merged.object = nullptr;
      found->second = std::move(merged);
    } else {
      target.entries[key] = incoming;
    }
  }
  return target;
}

} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_SHAPE_H
