//===- string_number_fuzzer.cpp - A String's numbers against stream extraction -===//
//
// The numeric accessors of a String must answer what one formatted
// extraction from a std::istringstream over the text leaves in a result that
// starts at 0: int and unsigned int for the integers (32 bits on every
// platform), float and double bit for bit.
//
//===----------------------------------------------------------------------===//

#include "FuzzCheck.h"

#include <Collection/String.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

namespace {

using Zorbin::Tessel::Collection::String;
using Zorbin::Tessel::Runtime::Ref;

template <typename T> T Extract(const std::string &text) {
  std::istringstream stream(text);
  T result = 0;
  stream >> result;
  return result;
}

template <typename T> bool SameBits(T a, T b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const Ref<const String> value(new String(text));
  FUZZ_CHECK(value);

  const long integer = value->IntValue();
  FUZZ_CHECK(integer >= std::numeric_limits<std::int32_t>::min() &&
             integer <= std::numeric_limits<std::int32_t>::max());
  FUZZ_CHECK(integer == Extract<std::int32_t>(text));

  const unsigned long unsignedInteger = value->UnsignedIntValue();
  FUZZ_CHECK(unsignedInteger <= std::numeric_limits<std::uint32_t>::max());
  FUZZ_CHECK(unsignedInteger == Extract<std::uint32_t>(text));

  const float single = value->FloatValue();
  if (!SameBits(single, Extract<float>(text)))
    std::fprintf(stderr, "float: %a, the stream reads %a\n", double(single), double(Extract<float>(text)));
  FUZZ_CHECK(SameBits(single, Extract<float>(text)));

  const double wide = value->DoubleValue();
  if (!SameBits(wide, Extract<double>(text)))
    std::fprintf(stderr, "double: %a, the stream reads %a\n", wide, Extract<double>(text));
  FUZZ_CHECK(SameBits(wide, Extract<double>(text)));
  return 0;
}
