//===- CollectionLibrary.h - The value library in the benchmarks -*- C++ -*-===//
//
// Benchmark support: the value library's way of doing each benchmarked job,
// behind the interface every library of the benchmarks offers (see
// value_bench.cpp).
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_BENCH_COLLECTIONLIBRARY_H
#define COLLECTION_BENCH_COLLECTIONLIBRARY_H

#include "Workload.h"

#include <Collection/Collection.h>

#include <cstdint>
#include <new>
#include <string>

namespace CollectionBench {

/// Dictionaries of shared values, built through `SetValueForKey` and the
/// `MakeValue` factories, as a client of the library writes it.
struct CollectionLibrary {
  static constexpr const char *Name = "collection";
  using Dict = Zorbin::Tessel::Runtime::Ref<Zorbin::Tessel::Collection::Dictionary>;

  static Dict MakeDict() {
    Dict dict(new Zorbin::Tessel::Collection::Dictionary());
    if (!dict)
      throw std::bad_alloc();
    return dict;
  }

  static void Insert(Dict &dict, const std::string &key, const Item &item) {
    using Zorbin::Tessel::Collection::MakeValue;
    dict->SetValueForKey(key, *(item.isText ? MakeValue(item.text) : MakeValue(item.number)));
  }

  static void InsertDict(Dict &dict, const std::string &key, Dict &&child) { dict->SetValueForKey(key, *child); }

  /// The value under `key`, or null.
  static const void *Find(const Dict &dict, const std::string &key) { return Found(dict->GetValueForKey(key)); }

  static std::string PathText(const std::string &a, const std::string &b, const std::string &c) {
    return a + '.' + b + '.' + c;
  }

  static const void *FindPath(const Dict &dict, const std::string &path) {
    return Found(dict->GetValueForKeyPath(path));
  }

  /// Keys copied, values shared: the library's copy.
  static Dict Copy(const Dict &dict) {
    Dict copy(new Zorbin::Tessel::Collection::Dictionary(*dict));
    if (!copy)
      throw std::bad_alloc();
    return copy;
  }

  static void MergeInto(Dict &target, const Dict &overlay) {
    target->AddEntriesFromDictionaryHierarchically(*overlay);
  }

  static std::string Dump(const Dict &dict) { return dict->ToString(); }

  /// Visits every entry; answers a figure that depends on each of them.
  static std::uintptr_t Walk(const Dict &dict) {
    class Summer final : public Zorbin::Tessel::Collection::Dictionary::Applier {
    public:
      bool ApplyToEntry(const std::string &key, const Zorbin::Tessel::Collection::Value &value) override {
        sum += key.size() + reinterpret_cast<std::uintptr_t>(&value);
        return true;
      }
      std::uintptr_t sum = 0;
    } summer;
    dict->Apply(summer);
    return summer.sum;
  }

private:
  static const void *Found(const Zorbin::Tessel::Collection::Value &value) {
    return &value == &Zorbin::Tessel::Collection::Value::Null() ? nullptr : &value;
  }
};

} // namespace CollectionBench

#endif // COLLECTION_BENCH_COLLECTIONLIBRARY_H
