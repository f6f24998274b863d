//===- NlohmannLibrary.h - nlohmann/json in the benchmarks ------*- C++ -*-===//
//
// Benchmark support: nlohmann/json's way of doing each benchmarked job, with
// its default object type (std::map), behind the interface every library of
// the benchmarks offers (see value_bench.cpp).
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_BENCH_NLOHMANNLIBRARY_H
#define COLLECTION_BENCH_NLOHMANNLIBRARY_H

#include "Workload.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace CollectionBench {

struct NlohmannLibrary {
  static constexpr const char *Name = "nlohmann";
  using Dict = nlohmann::json;

  static Dict MakeDict() { return Dict(nlohmann::json::value_t::object); }

  static void Insert(Dict &dict, const std::string &key, const Item &item) {
    if (item.isText)
      dict[key] = item.text;
    else
      dict[key] = item.number;
  }

  static void InsertDict(Dict &dict, const std::string &key, Dict &&child) { dict[key] = std::move(child); }

  static const void *Find(const Dict &dict, const std::string &key) {
    Dict::const_iterator found = dict.find(key);
    return found != dict.end() ? &*found : nullptr;
  }

  /// A JSON pointer; the benchmark keys hold neither '/' nor '~'.
  static std::string PathText(const std::string &a, const std::string &b, const std::string &c) {
    return '/' + a + '/' + b + '/' + c;
  }

  /// Parses the pointer and follows it, as a client holding the path as text
  /// does.
  static const void *FindPath(const Dict &dict, const std::string &path) {
    return &dict.at(nlohmann::json::json_pointer(path));
  }

  static Dict Copy(const Dict &dict) { return dict; }

  static void MergeInto(Dict &target, const Dict &overlay) { target.update(overlay, true); }

  static std::string Dump(const Dict &dict) { return dict.dump(); }

  static std::uintptr_t Walk(const Dict &dict) {
    std::uintptr_t sum = 0;
    for (Dict::const_iterator entry = dict.cbegin(); entry != dict.cend(); ++entry)
      sum += entry.key().size() + reinterpret_cast<std::uintptr_t>(&entry.value());
    return sum;
  }
};

} // namespace CollectionBench

#endif // COLLECTION_BENCH_NLOHMANNLIBRARY_H
