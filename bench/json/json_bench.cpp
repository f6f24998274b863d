//===- json_bench.cpp - Reading and writing standard JSON documents -------===//
//
// The JSON library against nlohmann/json (parse, dump) and RapidJSON's own
// Document (Parse, Writer), on the documents given on the command line:
// time to read a document into the library's tree and to write that tree
// as compact text, or (built as collection_json_memory, with every heap
// block counted) the heap bytes the tree of a document holds.
//
// Prints one line per figure for bench/report.py's `lines` converter:
//
//   BENCH table=read case=read library=collection n=<bytes> ops=<runs> seconds=<s>
//   BENCH table=memory case=heap_held library=collection n=<bytes> unit=B value=<bytes>
//
//   collection_json_bench [--quick] document.json...
//
//===----------------------------------------------------------------------===//

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#if defined(COLLECTION_JSON_BENCH_MEMORY)
#  include "../value/HeapCounter.h"
#endif

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace Collection = Zorbin::Tessel::Collection;
namespace Runtime = Zorbin::Tessel::Runtime;

// One library's document: read from text, held, written back as text.
class Library {
public:
  virtual ~Library() = default;
  virtual const char *Name() const = 0;
  virtual void Read(const std::string &text) = 0;
  virtual std::size_t Write() const = 0;
  virtual void Drop() = 0;
};

class CollectionLibrary final : public Library {
public:
  const char *Name() const override { return "collection"; }
  void Read(const std::string &text) override { m_value = Collection::ReadJson(text); }
  std::size_t Write() const override { return Collection::WriteJson(*m_value).size(); }
  void Drop() override { m_value.Reset(); }

private:
  Runtime::Ref<const Collection::Value> m_value;
};

class NlohmannLibrary final : public Library {
public:
  const char *Name() const override { return "nlohmann"; }
  void Read(const std::string &text) override { m_json = nlohmann::json::parse(text); }
  std::size_t Write() const override { return m_json.dump().size(); }
  void Drop() override { m_json = nlohmann::json(); }

private:
  nlohmann::json m_json;
};

class RapidJsonLibrary final : public Library {
public:
  const char *Name() const override { return "rapidjson"; }
  void Read(const std::string &text) override {
    m_document.reset(new rapidjson::Document());
    m_document->Parse(text.c_str(), text.size());
    if (m_document->HasParseError())
      throw std::runtime_error("rapidjson: parse error");
  }
  std::size_t Write() const override {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    m_document->Accept(writer);
    return buffer.GetSize();
  }
  void Drop() override { m_document.reset(); }

private:
  std::unique_ptr<rapidjson::Document> m_document;
};

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot open " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#if !defined(COLLECTION_JSON_BENCH_MEMORY)

// CPU time of this thread, so that other processes on the machine disturb
// the figures less.
struct Clock {
  using time_point = double;
  static double now() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }
};

double Seconds(double seconds) { return seconds; }

// The median time of one read and of one write of `text`, over runs that
// take about `budget` seconds each way (at least `least` runs).
void Time(Library &library, const std::string &text, double budget, int least) {
  std::vector<double> reads, writes;
  library.Read(text); // warm-up
  library.Drop();
  Clock::time_point start = Clock::now();
  while (static_cast<int>(reads.size()) < least || Seconds(Clock::now() - start) < budget) {
    Clock::time_point begin = Clock::now();
    library.Read(text);
    reads.push_back(Seconds(Clock::now() - begin));
    library.Drop();
  }
  library.Read(text);
  std::size_t size = 0;
  start = Clock::now();
  while (static_cast<int>(writes.size()) < least || Seconds(Clock::now() - start) < budget) {
    Clock::time_point begin = Clock::now();
    size += library.Write();
    writes.push_back(Seconds(Clock::now() - begin));
  }
  library.Drop();
  if (size == 0)
    throw std::runtime_error("nothing written");
  for (auto *figures : {&reads, &writes}) {
    std::sort(figures->begin(), figures->end());
    double median = (*figures)[figures->size() / 2];
    std::printf("BENCH table=%s case=%s library=%s n=%zu ops=1 seconds=%.9f\n", figures == &reads ? "read" : "write",
                figures == &reads ? "read" : "write", library.Name(), text.size(), median);
  }
}

#else

// The heap bytes one document holds once read: the live bytes with the
// document minus those without it (the text itself is not counted).
void Measure(Library &library, const std::string &text) {
  using CollectionBench::Figures;
  using CollectionBench::Source;
  library.Read(text); // warm-up: lazily made statics are not the document's
  library.Drop();
  std::size_t heap = Figures(Source::Heap).liveBytes;
  std::size_t chunks = Figures(Source::HeapChunks).liveBytes;
  std::size_t blocks = Figures(Source::Heap).liveBlocks;
  library.Read(text);
  std::printf("BENCH table=memory case=heap_held library=%s n=%zu unit=B value=%zu\n", library.Name(), text.size(),
              Figures(Source::Heap).liveBytes - heap);
  std::printf("BENCH table=memory case=heap_held_in_glibc_chunks library=%s n=%zu unit=B value=%zu\n", library.Name(),
              text.size(), Figures(Source::HeapChunks).liveBytes - chunks);
  std::printf("BENCH table=memory case=heap_blocks_held library=%s n=%zu unit=blocks value=%zu\n", library.Name(),
              text.size(), Figures(Source::Heap).liveBlocks - blocks);
  library.Drop();
}

#endif

} // namespace

int main(int argc, char **argv) {
  bool quick = false;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      quick = true;
    else
      paths.push_back(argv[i]);
  }
  if (paths.empty()) {
    std::fprintf(stderr, "usage: %s [--quick] document.json...\n", argv[0]);
    return 2;
  }
#if defined(COLLECTION_JSON_BENCH_MEMORY)
  (void)quick;
  CollectionBench::CountNativeAllocations();
#endif
  try {
    CollectionLibrary collection;
    NlohmannLibrary nlohmann;
    RapidJsonLibrary rapidjson;
    Library *libraries[] = {&collection, &nlohmann, &rapidjson};
    for (const std::string &path : paths) {
      const std::string text = Slurp(path);
      for (Library *library : libraries) {
#if defined(COLLECTION_JSON_BENCH_MEMORY)
        Measure(*library, text);
#else
        Time(*library, text, quick ? 0.0 : 1.0, quick ? 1 : 7);
#endif
        std::fflush(stdout);
      }
    }
  } catch (const std::exception &error) {
    std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
    return 1;
  }
  std::printf("collection_json_bench: done\n");
  return 0;
}
