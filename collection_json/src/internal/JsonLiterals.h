//===- internal/JsonLiterals.h - Number literals and UTF-8 of JSON text -*- C++ -*-===//
//
// What every JSON reader of the project shares: the number grammar, the
// conversion of a number literal (correctly rounded, through
// std::from_chars) and the check of UTF-8. Header-only and free of the value
// library, so that the variant collection server's reader includes it too.
//
//===----------------------------------------------------------------------===//
#ifndef ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONLITERALS_H
#define ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONLITERALS_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <system_error>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace internal {

/// What a JSON number literal denotes.
struct JsonNumber {
  enum Kind { Int, UnsignedInt, Double, OutOfRange };
  Kind kind;
  long intValue;
  unsigned long unsignedValue;
  double doubleValue;
};

namespace detail {

inline bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

inline const char *SkipDigits(const char *p, const char *end) noexcept {
  while (p != end && IsDigit(*p))
    ++p;
  return p;
}

// The decimal exponent of the first significant digit of a literal that
// std::from_chars found beyond the double range, to tell overflow from
// underflow: 0 or more is overflow (the value is at least 1), below 0
// underflow. Exponents saturate far beyond any double.
inline long long Magnitude(const char *p, const char *end) noexcept {
  if (p != end && *p == '-')
    ++p;
  const char *intBegin = p;
  const char *intEnd = SkipDigits(p, end);
  long long position = 0;
  bool found = false;
  for (const char *q = intBegin; q != intEnd; ++q)
    if (*q != '0') {
      position = static_cast<long long>(intEnd - q) - 1;
      found = true;
      break;
    }
  p = intEnd;
  if (p != end && *p == '.') {
    const char *fraction = ++p;
    p = SkipDigits(p, end);
    if (!found)
      for (const char *q = fraction; q != p; ++q)
        if (*q != '0') {
          position = -static_cast<long long>(q - fraction) - 1;
          break;
        }
  }
  long long exponent = 0;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool minus = false;
    if (p != end && (*p == '+' || *p == '-'))
      minus = *p++ == '-';
    for (; p != end && IsDigit(*p); ++p)
      if (exponent < 1000000000)
        exponent = exponent * 10 + (*p - '0');
    if (minus)
      exponent = -exponent;
  }
  return position + exponent;
}

} // namespace detail

/// Converts a literal that matches RFC 8259's number grammar: without
/// fraction or exponent and within [-2^31, 2^31) an `Int`, within [2^31,
/// 2^32) an `UnsignedInt`; otherwise the nearest `Double` (ties to even; 0
/// or a subnormal on underflow, keeping the sign), or `OutOfRange` beyond
/// the double range. O(length); allocates nothing; never throws.
inline JsonNumber ConvertNumber(const char *text, std::size_t length) noexcept {
  using detail::SkipDigits;
  JsonNumber number{JsonNumber::Double, 0, 0, 0.0};
  const char *end = text + length;
  const char *p = text;
  bool minus = p != end && *p == '-';
  if (minus)
    ++p;
  const char *digitsEnd = SkipDigits(p, end);
  if (digitsEnd == end && digitsEnd - p <= 10) {
    std::uint64_t magnitude = 0;
    for (; p != end; ++p)
      magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
    if (!minus && magnitude <= 0x7FFFFFFFu) {
      number.kind = JsonNumber::Int;
      number.intValue = static_cast<long>(magnitude);
      return number;
    }
    if (!minus && magnitude <= 0xFFFFFFFFu) {
      number.kind = JsonNumber::UnsignedInt;
      number.unsignedValue = static_cast<unsigned long>(magnitude);
      return number;
    }
    if (minus && magnitude <= 0x80000000u) {
      number.kind = JsonNumber::Int;
      number.intValue = static_cast<long>(-static_cast<std::int64_t>(magnitude));
      return number;
    }
  }
  double value = 0.0;
  std::from_chars_result result = std::from_chars(text, end, value);
  if (result.ec == std::errc::result_out_of_range) {
    if (detail::Magnitude(text, end) >= 0) {
      number.kind = JsonNumber::OutOfRange;
      return number;
    }
    value = minus ? -0.0 : 0.0;
  }
  number.doubleValue = value;
  return number;
}

/// The length of the literal at `text` that matches the number grammar,
/// 0 when none starts there. Reads at most up to `end`.
inline std::size_t NumberLength(const char *text, const char *end) noexcept {
  using detail::IsDigit;
  using detail::SkipDigits;
  const char *p = text;
  if (p != end && *p == '-')
    ++p;
  if (p == end || !IsDigit(*p))
    return 0;
  p = *p == '0' ? p + 1 : SkipDigits(p, end);
  if (p != end && *p == '.') {
    const char *fraction = SkipDigits(p + 1, end);
    if (fraction == p + 1)
      return static_cast<std::size_t>(p - text);
    p = fraction;
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    const char *q = p + 1;
    if (q != end && (*q == '+' || *q == '-'))
      ++q;
    const char *digits = SkipDigits(q, end);
    if (digits != q)
      p = digits;
  }
  return static_cast<std::size_t>(p - text);
}

/// The length of the longest prefix of `text` that is well-formed UTF-8
/// and ends at a character boundary: `length` for well-formed text (no
/// stray continuation byte, no sequence cut short, no overlong form, no
/// surrogate, nothing above U+10FFFF), otherwise the offset of the first
/// sequence that is not. Reads nothing outside the text. O(length); never
/// throws.
inline std::size_t ValidUtf8Length(const char *text, std::size_t length) noexcept {
  const unsigned char *const begin = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *p = begin;
  const unsigned char *end = p + length;
  while (p != end) {
    unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    std::size_t extra;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      if (lead == 0xE0)
        low = 0xA0; // no overlong form
      else if (lead == 0xED)
        high = 0x9F; // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      if (lead == 0xF0)
        low = 0x90; // no overlong form
      else if (lead == 0xF4)
        high = 0x8F; // nothing above U+10FFFF
    } else {
      return static_cast<std::size_t>(p - begin);
    }
    if (static_cast<std::size_t>(end - p) <= extra)
      return static_cast<std::size_t>(p - begin);
    if (p[1] < low || p[1] > high)
      return static_cast<std::size_t>(p - begin);
    for (std::size_t i = 2; i <= extra; ++i)
      if (p[i] < 0x80 || p[i] > 0xBF)
        return static_cast<std::size_t>(p - begin);
    p += extra + 1;
  }
  return length;
}

/// True when `text` is well-formed UTF-8: no stray continuation byte, no
/// sequence cut short, no overlong form, no surrogate, nothing above
/// U+10FFFF. Reads nothing outside the text. O(length); never throws.
inline bool IsValidUtf8(const char *text, std::size_t length) noexcept {
  return ValidUtf8Length(text, length) == length;
}

} // namespace internal
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin

#endif // ZORBIN_TESSEL_COLLECTION_JSON_INTERNAL_JSONLITERALS_H
