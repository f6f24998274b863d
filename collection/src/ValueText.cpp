//===- ValueText.cpp - Default-format text without a stream ---------------===//

#include "ValueText.h"

#include <Collection/Array.h>
#include <Collection/Boolean.h>
#include <Collection/Dictionary.h>
#include <Collection/String.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <locale>
#include <sstream>
#include <typeinfo>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace ValueText {

namespace {

template <typename Integer> void AppendInteger(std::string &out, Integer value) {
  char buffer[16];
  const std::to_chars_result end = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end.ptr);
}

// A float goes into a stream as a double, so both take this path.
void AppendFloating(std::string &out, double value) {
  if (!std::isfinite(value)) {
    // Runtimes differ here (the sign of a NaN); the stream says how.
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << value;
    out += stream.str();
    return;
  }
  char buffer[32]; // "-2.22507e-308" is the longest form
  const std::to_chars_result end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  out.append(buffer, end.ptr);
}

} // namespace

bool ClassicNumbers() {
  // The classic locale lives as long as the process.
  static const std::locale &classic = std::locale::classic();
  return std::locale() == classic;
}

void AppendNumber(std::string &out, const Number &number) {
  // The exact type's accessors give the stored value itself.
  switch (number.Type()) {
  case Number::Int:
    AppendInteger(out, static_cast<std::int32_t>(number.IntValue()));
    break;
  case Number::UnsignedInt:
    AppendInteger(out, static_cast<std::uint32_t>(number.UnsignedIntValue()));
    break;
  case Number::Float:
    AppendFloating(out, number.FloatValue());
    break;
  case Number::Double:
    AppendFloating(out, number.DoubleValue());
    break;
  }
}

void Append(std::string &out, const Value &value, Fallback fallback, bool classicNumbers) {
  // The library's own kinds carry the library's own type information, so
  // comparing its address finds them. Where it does not, the value takes the
  // fallback, which gives the same text.
  const std::type_info *type = &typeid(value);
  if (type == &typeid(Number) && classicNumbers)
    AppendNumber(out, static_cast<const Number &>(value));
  else if (type == &typeid(String))
    out += static_cast<const String &>(value).Str();
  else if (type == &typeid(Boolean))
    out += value.BoolValue() ? "true" : "false";
  else if (type == &typeid(Number) || type == &typeid(Dictionary) || type == &typeid(Array) ||
           fallback == Fallback::ToString)
    out += value.ToString();
  else
    out += value.Value::ToString();
}

} // namespace ValueText
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin
