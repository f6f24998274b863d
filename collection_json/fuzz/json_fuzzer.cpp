//===- json_fuzzer.cpp - Arbitrary bytes read as JSON ---------------------===//
//
// Every input either reads into a value or raises JsonError with a position
// inside the input, the same through a stream whose exceptions are on. What
// reads writes (compact and pretty) without error, reads back equal, with
// the same number types (the compact texts agree), and every value of both
// trees is counted right.
//
//===----------------------------------------------------------------------===//

#include "FuzzCheck.h"

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

using namespace CollectionFuzz;
using Collection::JsonError;
using Collection::JsonWriteOptions;
using Collection::ReadJson;
using Collection::Value;
using Collection::WriteJson;

namespace {

// What reading `text` from a stream that raises std::ios_base::failure on
// failure gives: the compact text of the value, or the error's message.
std::string ReadFromStream(const std::string &text) {
  std::istringstream in(text);
  in.exceptions(std::ios::failbit | std::ios::badbit);
  try {
    return WriteJson(*ReadJson(in));
  } catch (const JsonError &error) {
    return error.what();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  Runtime::Ref<const Value> value;
  try {
    value = ReadJson(text);
  } catch (const JsonError &error) {
    FUZZ_CHECK(error.Offset() <= size);
    FUZZ_CHECK(error.Line() >= 1 && error.Column() >= 1);
    FUZZ_CHECK(std::string(error.what()).find("line ") == 0);
    FUZZ_CHECK(ReadFromStream(text) == error.what());
    return 0;
  }
  FUZZ_CHECK(value);
  const std::string compact = WriteJson(*value);
  FUZZ_CHECK(ReadFromStream(text) == compact);
  Runtime::Ref<const Value> back = ReadJson(compact);
  FUZZ_CHECK(*back == *value && *value == *back);
  FUZZ_CHECK(WriteJson(*back) == compact);
  const std::string pretty = WriteJson(*value, JsonWriteOptions{3});
  Runtime::Ref<const Value> prettyBack = ReadJson(pretty);
  FUZZ_CHECK(*prettyBack == *value);
  FUZZ_CHECK(WriteJson(*prettyBack) == compact);
  CheckReferenceCounts({value.Get(), back.Get(), prettyBack.Get()});
  return 0;
}
