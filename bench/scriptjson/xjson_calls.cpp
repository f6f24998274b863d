//===- xjson_calls.cpp - XJson's Parse from C++ beside RapidJSON's -------===//
//
// Reads each JSON document given with the registered server's XJson,
// early-bound through its vtable (the server's own cost, without a script
// engine's), and with RapidJSON's Document::Parse (default flags) in the
// same process: the floor of what reading JSON costs. Then the heap each
// keeps for what it read, per JSON value of the document. Prints one line
// per figure, which bench/report.py reads:
//
//   BENCH table=cpp case=twitter.json library=XJson n=631514 ops=1 seconds=0.0081
//   BENCH table=memory case=twitter.json library=XJson n=631514 unit=B/value value=61.5
//
// Time: each reader reads the document again and again, taking turns, until
// each has spent a second (once with --quick); a figure is its fastest run.
// Only the read is timed (QueryPerformanceCounter): making the text and
// releasing what was read are not. The text is handed to Parse as a BSTR,
// as a script hands it; RapidJSON reads the file's UTF-8 bytes.
//
// Memory: the bytes in use in every heap of the process (HeapWalk) while
// the result is held, less those after it was released, divided by the
// number of values in the document (every object, array, member value and
// element counted once). Run with OANOCACHE=1, so that the platform keeps
// no freed strings for reuse.
//
// Usage: xjson_calls [--quick] <document.json>...
//   The closing line "xjson_calls: done" tells a complete run.
//
//===----------------------------------------------------------------------===//

#include <Collection.h>

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <rapidjson/document.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

/// Stops the program with a message: a benchmark whose calls fail measures
/// nothing.
[[noreturn]] void Fail(const std::string &what, HRESULT status) {
  std::fprintf(stderr, "xjson_calls: %s failed (0x%08lX)\n", what.c_str(), static_cast<unsigned long>(status));
  std::exit(1);
}

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

/// The bytes in use in every heap of the process.
SIZE_T HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  SIZE_T bytes = 0;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap))
      continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
        bytes += entry.cbData;
    HeapUnlock(heap);
  }
  return bytes;
}

/// The number of values in a document: every value, containers included.
std::size_t CountValues(const rapidjson::Value &value) {
  std::size_t count = 1;
  if (value.IsArray())
    for (const rapidjson::Value &element : value.GetArray())
      count += CountValues(element);
  else if (value.IsObject())
    for (const auto &member : value.GetObject())
      count += CountValues(member.value);
  return count;
}

std::string BaseName(const std::string &path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Report(const char *table, const std::string &document, const char *library, std::size_t bytes, double seconds) {
  std::printf("BENCH table=%s case=%s library=%s n=%zu ops=1 seconds=%.9g\n", table, document.c_str(), library, bytes,
              seconds);
}

void ReportMemory(const std::string &document, const char *library, std::size_t bytes, double perValue) {
  std::printf("BENCH table=memory case=%s library=%s n=%zu unit=B/value value=%.6g\n", document.c_str(), library,
              bytes, perValue);
}

/// One document: its text in both forms and what each reader costs.
void Measure(IXJson *json, const std::string &path, bool quick) {
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file && !file.eof())
    Fail("reading " + path, E_FAIL);
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bstr, wide);
  const std::string name = BaseName(path);

  double bestXJson = -1, bestRapid = -1, spentXJson = 0, spentRapid = 0;
  std::size_t values = 0;
  do {
    VARIANT result;
    VariantInit(&result);
    double start = Now();
    const HRESULT status = json->Parse(bstr, &result);
    double took = Now() - start;
    if (FAILED(status))
      Fail("Parse of " + name, status);
    VariantClear(&result);
    spentXJson += took;
    if (bestXJson < 0 || took < bestXJson)
      bestXJson = took;

    rapidjson::Document document;
    start = Now();
    document.Parse(text.c_str(), text.size());
    took = Now() - start;
    if (document.HasParseError())
      Fail("RapidJSON's Parse of " + name, E_FAIL);
    values = CountValues(document);
    spentRapid += took;
    if (bestRapid < 0 || took < bestRapid)
      bestRapid = took;
  } while (!quick && (spentXJson < 1.0 || spentRapid < 1.0));
  Report("cpp", name, "XJson", text.size(), bestXJson);
  Report("cpp", name, "rapidjson", text.size(), bestRapid);

  {
    VARIANT result;
    VariantInit(&result);
    const SIZE_T before = HeapBytesInUse();
    const HRESULT status = json->Parse(bstr, &result);
    if (FAILED(status))
      Fail("Parse of " + name, status);
    const SIZE_T held = HeapBytesInUse();
    VariantClear(&result);
    const SIZE_T after = HeapBytesInUse();
    (void)before;
    ReportMemory(name, "XJson", text.size(), static_cast<double>(held - after) / static_cast<double>(values));
  }
  {
    const SIZE_T before = HeapBytesInUse();
    SIZE_T held = 0;
    {
      rapidjson::Document document;
      document.Parse(text.c_str(), text.size());
      held = HeapBytesInUse();
    }
    ReportMemory(name, "rapidjson", text.size(), static_cast<double>(held - before) / static_cast<double>(values));
  }
  SysFreeString(bstr);
}

} // namespace

int main(int argc, char **argv) {
  bool quick = false;
  std::vector<std::string> documents;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0)
      quick = true;
    else
      documents.push_back(argv[i]);
  }
  if (documents.empty()) {
    std::fprintf(stderr, "usage: xjson_calls [--quick] <document.json>...\n");
    return 2;
  }
  HRESULT status = CoInitialize(nullptr);
  if (FAILED(status))
    Fail("CoInitialize", status);
  CLSID clsid;
  status = CLSIDFromProgID(L"Collection.XJson", &clsid);
  if (FAILED(status))
    Fail("CLSIDFromProgID of Collection.XJson (is the server registered?)", status);
  IXJson *json = nullptr;
  status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXJson, reinterpret_cast<void **>(&json));
  if (FAILED(status))
    Fail("CoCreateInstance of XJson", status);
  for (const std::string &document : documents)
    Measure(json, document, quick);
  json->Release();
  CoUninitialize();
  std::printf("xjson_calls: done\n");
  return 0;
}
