//===- Number.cpp - Numbers of four machine types -------------------------===//

#include "ValueText.h"

#include <Collection/Number.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <typeinfo>

namespace Zorbin {
namespace Tessel {
namespace Collection {

namespace {

// Truncation toward zero into the signed 32-bit range; NaN and values whose
// truncation lies outside the range give the range's minimum.
std::int32_t TruncateToInt32(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// Truncation toward zero into a signed 64-bit integer, of which the low 32
// bits are kept; NaN and values outside the 64-bit range give 0.
std::uint32_t TruncateToUInt32(double value) {
  if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
    return 0;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

// Rounds to the nearest float, ties to even; magnitudes that round beyond the
// largest float become infinite.
float RoundToFloat(double value) {
  constexpr double overflowBound = 0x1.ffffffp127; // largest float + half an ulp
  if (value >= overflowBound)
    return std::numeric_limits<float>::infinity();
  if (value <= -overflowBound)
    return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

} // namespace

Number::Number(int value) noexcept : m_type(Int), m_int(static_cast<std::int32_t>(value)) {}
Number::Number(unsigned int value) noexcept : m_type(UnsignedInt), m_unsigned(static_cast<std::uint32_t>(value)) {}
Number::Number(long value) noexcept : m_type(Int), m_int(static_cast<std::int32_t>(value)) {}
Number::Number(unsigned long value) noexcept : m_type(UnsignedInt), m_unsigned(static_cast<std::uint32_t>(value)) {}
Number::Number(float value) noexcept : m_type(Float), m_float(value) {}
Number::Number(double value) noexcept : m_type(Double), m_double(value) {}

Number::~Number() {
  // The creator's reference is the only one a dying number may still carry;
  // any other belongs to a container or a handle that would read a dead
  // object later. Stop here, at the cause.
  const unsigned long count = RetainCount();
  if (count > 1) {
    std::fprintf(stderr,
                 "Collection::Number destroyed while %lu other reference(s) still hold it "
                 "(a number stored in a container or handle must be made with new or MakeValue)\n",
                 count - 1);
    std::fflush(stderr);
    std::abort();
  }
}

bool Number::BoolValue() const {
  switch (m_type) {
  case Int:
    return m_int != 0;
  case UnsignedInt:
    return m_unsigned != 0;
  case Float:
    return m_float != 0.0f;
  case Double:
    return m_double != 0.0;
  }
  return false;
}

long Number::IntValue() const {
  switch (m_type) {
  case Int:
    return m_int;
  case UnsignedInt:
    return static_cast<std::int32_t>(m_unsigned);
  case Float:
    return TruncateToInt32(m_float);
  case Double:
    return TruncateToInt32(m_double);
  }
  return 0;
}

unsigned long Number::UnsignedIntValue() const {
  switch (m_type) {
  case Int:
    return static_cast<std::uint32_t>(m_int);
  case UnsignedInt:
    return m_unsigned;
  case Float:
    return TruncateToUInt32(m_float);
  case Double:
    return TruncateToUInt32(m_double);
  }
  return 0;
}

float Number::FloatValue() const {
  switch (m_type) {
  case Int:
    return static_cast<float>(m_int);
  case UnsignedInt:
    return static_cast<float>(m_unsigned);
  case Float:
    return m_float;
  case Double:
    return RoundToFloat(m_double);
  }
  return 0.0f;
}

double Number::DoubleValue() const {
  switch (m_type) {
  case Int:
    return m_int;
  case UnsignedInt:
    return m_unsigned;
  case Float:
    return m_float;
  case Double:
    return m_double;
  }
  return 0.0;
}

std::string Number::StringValue() const { return Number::ToString(); }

std::string Number::ToString() const {
  if (typeid(*this) != typeid(Number) || !ValueText::ClassicNumbers())
    return Value::ToString(); // a derived kind may print otherwise; a locale may
  std::string text;
  ValueText::AppendNumber(text, *this);
  return text;
}

bool Number::operator==(const Value &other) const {
  const Number *number = dynamic_cast<const Number *>(&other);
  return number != nullptr && *this == *number;
}

bool Number::operator==(const Number &other) const {
  return static_cast<double>(*this) == static_cast<double>(other);
}

void Number::Print(std::ostream &os) const {
  // int and unsigned int are 32 bits wide on every platform, so hexadecimal
  // and octal output of negative integers is the same everywhere.
  switch (m_type) {
  case Int:
    os << static_cast<int>(m_int);
    break;
  case UnsignedInt:
    os << static_cast<unsigned int>(m_unsigned);
    break;
  case Float:
    os << m_float;
    break;
  case Double:
    os << m_double;
    break;
  }
}

} // namespace Collection
} // namespace Tessel
} // namespace Zorbin
