//===- JsoncppLibrary.h - jsoncpp in the benchmarks -------------*- C++ -*-===//
//
// Benchmark support: jsoncpp's way of doing each benchmarked job, behind the
// interface every library of the benchmarks offers (see value_bench.cpp).
//
//===----------------------------------------------------------------------===//
#ifndef COLLECTION_BENCH_JSONCPPLIBRARY_H
#define COLLECTION_BENCH_JSONCPPLIBRARY_H

#include "Workload.h"

#include <json/json.h>

#include <cstdint>
#include <string>

namespace CollectionBench {

struct JsoncppLibrary {
  static constexpr const char *Name = "jsoncpp";
  using Dict = Json::Value;

  static Dict MakeDict() { return Dict(Json::objectValue); }

  static void Insert(Dict &dict, const std::string &key, const Item &item) {
    dict[key] = item.isText ? Json::Value(item.text) : Json::Value(item.number);
  }

  static void InsertDict(Dict &dict, const std::string &key, Dict &&child) { dict[key] = std::move(child); }

  static const void *Find(const Dict &dict, const std::string &key) {
    return dict.find(key.data(), key.data() + key.size());
  }

  static std::string PathText(const std::string &a, const std::string &b, const std::string &c) {
    return a + '.' + b + '.' + c;
  }

  /// Cuts the dotted path into one reused buffer and chains the const
  /// `operator[]`, which answers jsoncpp's null value for a missing member.
  static const void *FindPath(const Dict &dict, const std::string &path) {
    std::string component;
    const Dict *current = &dict;
    std::string::size_type start = 0;
    for (;;) {
      std::string::size_type dot = path.find('.', start);
      component.assign(path, start, dot == std::string::npos ? std::string::npos : dot - start);
      current = &(*current)[component];
      if (dot == std::string::npos)
        break;
      start = dot + 1;
    }
    return current->isNull() ? nullptr : current;
  }

  static Dict Copy(const Dict &dict) { return dict; }

  /// jsoncpp has no merge; this is the recursion its clients write.
  static void MergeInto(Dict &target, const Dict &overlay) {
    for (Dict::const_iterator entry = overlay.begin(); entry != overlay.end(); ++entry) {
      Dict &slot = target[entry.name()];
      if (slot.isObject() && entry->isObject())
        MergeInto(slot, *entry);
      else
        slot = *entry;
    }
  }

  static std::string Dump(const Dict &dict) {
    static const Json::StreamWriterBuilder compact = [] {
      Json::StreamWriterBuilder builder;
      builder["indentation"] = "";
      return builder;
    }();
    return Json::writeString(compact, dict);
  }

  static std::uintptr_t Walk(const Dict &dict) {
    std::uintptr_t sum = 0;
    for (Dict::const_iterator entry = dict.begin(); entry != dict.end(); ++entry) {
      const char *end = nullptr;
      const char *name = entry.memberName(&end);
      sum += static_cast<std::uintptr_t>(end - name) + reinterpret_cast<std::uintptr_t>(&*entry);
    }
    return sum;
  }
};

} // namespace CollectionBench

#endif // COLLECTION_BENCH_JSONCPPLIBRARY_H
