//===- ValueGraph.h - Walks over the values containers hold -----*- C++ -*-===//
//
// Test support: visiting a dictionary's entries with a lambda, the contents
// of containers as plain maps and vectors, and checking every reference
// count in the graph of values reachable from the handles a test owns.
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_TESTS_SUPPORT_VALUEGRAPH_H
#define COLLECTION_TESTS_SUPPORT_VALUEGRAPH_H

#include <Collection/Array.h>
#include <Collection/Boolean.h>
#include <Collection/Dictionary.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace CollectionTest {

/// Calls `visit(key, value)` for each entry of `dictionary` in key order
/// until it answers false; answers what `Apply` answers.
template <typename Visit> bool ForEachEntry(const Zorbin::Tessel::Collection::Dictionary &dictionary, Visit visit) {
  class Applier final : public Zorbin::Tessel::Collection::Dictionary::Applier {
  public:
    explicit Applier(Visit &visit) : m_visit(visit) {}
    bool ApplyToEntry(const std::string &key, const Zorbin::Tessel::Collection::Value &value) override {
      return m_visit(key, value);
    }

  private:
    Visit &m_visit;
  };
  Applier applier(visit);
  return dictionary.Apply(applier);
}

/// A dictionary's entries by key (std::string orders bytes as unsigned,
/// as the dictionary does), each with the very object it holds.
using EntryMap = std::map<std::string, const Zorbin::Tessel::Collection::Value *>;

inline EntryMap EntriesOf(const Zorbin::Tessel::Collection::Dictionary &dictionary) {
  EntryMap entries;
  ForEachEntry(dictionary, [&entries](const std::string &key, const Zorbin::Tessel::Collection::Value &value) {
    entries.emplace(key, &value);
    return true;
  });
  return entries;
}

/// An array's elements in order, each the very object it holds.
inline std::vector<const Zorbin::Tessel::Collection::Value *>
ElementsOf(const Zorbin::Tessel::Collection::Array &array) {
  std::vector<const Zorbin::Tessel::Collection::Value *> elements;
  for (unsigned long i = 0; i < array.Count(); ++i)
    elements.push_back(&array.GetValueAtIndex(i));
  return elements;
}

/// `entries` after storing the first `count` entries of `source` over them
/// one by one, in key order: the model of AddEntriesFromDictionary, whole
/// (`count` = all) or cut short by a failure.
inline EntryMap WithEntries(EntryMap entries, const EntryMap &source, std::size_t count) {
  for (auto entry = source.begin(); count != 0; ++entry, --count)
    entries[entry->first] = entry->second;
  return entries;
}

/// True for the library's static values, whose counts belong to nobody.
inline bool IsStatic(const Zorbin::Tessel::Collection::Value &value) {
  using namespace Zorbin::Tessel::Collection;
  return &value == &Value::Null() || &value == &Boolean::True() || &value == &Boolean::False();
}

/// Walks every value reachable from `handles` (one outside reference each;
/// an object may appear several times) through arrays and dictionaries, and
/// compares each value's reference count with the references it can be seen
/// to have: one per handle and one per element or entry that holds it. A
/// reference leaked or lost anywhere in the graph shows as a difference.
/// Answers one line per value whose count differs; empty when all agree.
inline std::string MiscountedValues(const std::vector<const Zorbin::Tessel::Collection::Value *> &handles) {
  using namespace Zorbin::Tessel::Collection;
  std::map<const Value *, unsigned long> holders;
  std::vector<const Value *> pending;
  auto hold = [&](const Value &value) {
    if (holders[&value]++ == 0)
      pending.push_back(&value);
  };
  for (const Value *handle : handles)
    hold(*handle);
  while (!pending.empty()) {
    const Value *value = pending.back();
    pending.pop_back();
    if (auto *dictionary = dynamic_cast<const Dictionary *>(value)) {
      ForEachEntry(*dictionary, [&](const std::string &, const Value &entry) {
        hold(entry);
        return true;
      });
    } else if (auto *array = dynamic_cast<const Array *>(value)) {
      for (unsigned long i = 0; i < array->Count(); ++i)
        hold(array->GetValueAtIndex(i));
    }
  }
  std::string report;
  for (const auto &[value, count] : holders) {
    if (!IsStatic(*value) && value->RetainCount() != count)
      report += value->ToString() + ": held " + std::to_string(count) + " times, counts " +
                std::to_string(value->RetainCount()) + "\n";
  }
  return report;
}

} // namespace CollectionTest

#endif // COLLECTION_TESTS_SUPPORT_VALUEGRAPH_H
