//===- TextNumber.cpp - Numbers read from text ----------------------------===//

#include "TextNumber.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale>

namespace Zorbin {
namespace Tessel {
namespace Collection {
namespace TextNumber {

namespace {

bool GlobalLocaleIsClassic() {
  // The classic locale lives as long as the process, so the reference stays
  // good even while statics are being destroyed.
  static const std::locale &classic = std::locale::classic();
  return std::locale() == classic;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What the global locale's numeric punctuation says about reading numbers.
struct Punctuation {
  char decimalPoint = '.';
  char thousandsSeparator = ',';
  bool grouping = false; // separators may stand between integer digits
};

Punctuation GlobalPunctuation() {
  const std::numpunct<char> &facet = std::use_facet<std::numpunct<char>>(std::locale());
  Punctuation punctuation;
  punctuation.decimalPoint = facet.decimal_point();
  punctuation.thousandsSeparator = facet.thousands_sep();
  const std::string grouping = facet.grouping();
  punctuation.grouping = !grouping.empty() && grouping[0] > 0 && grouping[0] != std::numeric_limits<char>::max();
  return punctuation;
}

// The white space of the classic locale.
const char *SkipSpace(const char *p, const char *end) {
  while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r'))
    ++p;
  return p;
}

// The sign and magnitude of a decimal integer at the start of the text
// (after white space). The magnitude stops growing once it passes 2^33,
// which is beyond every 32-bit result.
struct Integer {
  bool readable = false;
  bool negative = false;
  std::uint64_t magnitude = 0;
};

// Reads the eight bytes at `p` as decimal digits at once: true, with their
// value, when all eight are digits.
bool ReadEightDigits(const char *p, std::uint32_t &value) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap64(word); // the first byte lowest
#endif
  // A digit is 0x30 to 0x39: its high half is 3, and stays 3 when 6 is added.
  if (((word & 0xF0F0F0F0F0F0F0F0u) | (((word + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) !=
      0x3333333333333333u)
    return false;
  word -= 0x3030303030303030u;    // eight numbers 0 to 9, the first digit lowest
  word = word * 10 + (word >> 8); // every other byte: two digits as a number 0 to 99
  word = (((word & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
          (((word >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
         32;
  value = static_cast<std::uint32_t>(word);
  return true;
}

Integer ReadInteger(const std::string &text) {
  constexpr std::uint64_t saturated = std::uint64_t(1) << 33;
  Integer result;
  const char *p = SkipSpace(text.data(), text.data() + text.size());
  const char *end = text.data() + text.size();
  if (p != end && (*p == '+' || *p == '-')) {
    result.negative = *p == '-';
    ++p;
  }
  const char *digits = p;
  // Eight digits at a time while there are eight, then one at a time. A
  // magnitude below 2^33 grows by eight digits to below 2^60: no overflow.
  std::uint32_t eight = 0;
  while (end - p >= 8 && result.magnitude < saturated && ReadEightDigits(p, eight)) {
    result.magnitude = result.magnitude * 100000000u + eight;
    p += 8;
  }
  for (; p != end && IsDigit(*p); ++p) {
    if (result.magnitude < saturated)
      result.magnitude = result.magnitude * 10 + static_cast<unsigned>(*p - '0');
  }
  result.readable = p != digits;
  return result;
}

// A decimal floating number at the start of the text, in the classic
// locale's syntax: its extent is found here and converted with correct
// rounding by from_chars. The decimal exponent of its first significant
// digit is tracked only to tell overflow from underflow.
template <typename T> T ReadFloating(const std::string &text) {
  const char *end = text.data() + text.size();
  const char *p = SkipSpace(text.data(), end);
  const char *number = p; // what the conversion reads: a '+' is dropped
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
    if (!negative)
      number = p;
  }

  // Both exponents in 64 bits: a text is far shorter than 2^50 digits, so
  // their sum tells overflow from underflow exactly even for a long run of
  // digits against a huge exponent.
  const char *digitsFrom = p;
  std::int64_t scale = 0;   // decimal exponent of the first significant digit, before 'e'
  bool significant = false; // a non-zero digit has been seen
  for (; p != end && IsDigit(*p); ++p) {
    if (significant)
      ++scale;
    else if (*p != '0')
      significant = true;
  }
  bool sawDigit = p != digitsFrom;
  if (p != end && *p == '.') {
    const char *fractionFrom = p + 1;
    for (++p; p != end && IsDigit(*p); ++p) {
      if (!significant) {
        --scale;
        if (*p != '0')
          significant = true;
      }
    }
    sawDigit = sawDigit || p != fractionFrom;
  }
  if (!sawDigit)
    return 0;

  std::int64_t exponent = 0;
  if (p != end && (*p == 'e' || *p == 'E')) {
    const char *q = p + 1;
    bool negativeExponent = false;
    if (q != end && (*q == '+' || *q == '-')) {
      negativeExponent = *q == '-';
      ++q;
    }
    if (q == end || !IsDigit(*q))
      return 0; // an exponent marker without digits: the stream reads nothing
    for (; q != end && IsDigit(*q); ++q)
      if (exponent < (std::int64_t(1) << 50))
        exponent = exponent * 10 + (*q - '0');
    if (negativeExponent)
      exponent = -exponent;
    p = q;
  }

  T value = 0;
  std::from_chars_result converted = std::from_chars(number, p, value);
  if (converted.ec == std::errc::result_out_of_range) {
    bool overflow = scale + exponent >= 0;
    T magnitude = overflow ? std::numeric_limits<T>::max() : T(0);
    return negative ? -magnitude : magnitude;
  }
  return value;
}

// The number at the start of `text`, written in the locale's syntax, written
// again in the classic one: thousands separators between integer digits
// dropped, the decimal point (floating numbers only) made '.', and nothing
// after the number. A separator that follows no digit makes the text
// unreadable, as it does for the stream. Whether the groups have the sizes
// the locale gives plays no part, as it plays none in the value the stream
// extracts.
std::string InClassicSyntax(const std::string &text, const Punctuation &punctuation, bool floating) {
  const char *end = text.data() + text.size();
  const char *p = SkipSpace(text.data(), end);
  std::string classic;
  classic.reserve(static_cast<std::size_t>(end - p));
  if (p != end && (*p == '+' || *p == '-'))
    classic += *p++;
  std::size_t digitsInGroup = 0;
  for (; p != end; ++p) {
    if (IsDigit(*p)) {
      classic += *p;
      ++digitsInGroup;
    } else if (punctuation.grouping && *p == punctuation.thousandsSeparator) {
      if (digitsInGroup == 0)
        return std::string();
      digitsInGroup = 0;
    } else {
      break;
    }
  }
  if (!floating)
    return classic;
  if (p != end && *p == punctuation.decimalPoint) {
    classic += '.';
    for (++p; p != end && IsDigit(*p); ++p)
      classic += *p;
  }
  if (p != end && (*p == 'e' || *p == 'E')) {
    classic += *p++;
    if (p != end && (*p == '+' || *p == '-'))
      classic += *p++;
    for (; p != end && IsDigit(*p); ++p)
      classic += *p;
  }
  return classic;
}

// Reads `text` with `read`, the classic locale's reader, after rewriting it
// in the classic syntax when the global locale's punctuation differs.
template <typename T> T ReadInGlobalLocale(const std::string &text, bool floating, T (*read)(const std::string &)) {
  if (GlobalLocaleIsClassic())
    return read(text);
  const Punctuation punctuation = GlobalPunctuation();
  if ((!floating || punctuation.decimalPoint == '.') && !punctuation.grouping)
    return read(text);
  return read(InClassicSyntax(text, punctuation, floating));
}

std::int32_t ReadClassicInt32(const std::string &text) {
  Integer number = ReadInteger(text);
  if (!number.readable)
    return 0;
  if (number.negative)
    return number.magnitude > 2147483648u ? std::numeric_limits<std::int32_t>::min()
                                          : static_cast<std::int32_t>(-static_cast<std::int64_t>(number.magnitude));
  return number.magnitude > 2147483647u ? std::numeric_limits<std::int32_t>::max()
                                        : static_cast<std::int32_t>(number.magnitude);
}

std::uint32_t ReadClassicUInt32(const std::string &text) {
  Integer number = ReadInteger(text);
  if (!number.readable)
    return 0;
  if (number.magnitude > std::numeric_limits<std::uint32_t>::max())
    return std::numeric_limits<std::uint32_t>::max();
  std::uint32_t magnitude = static_cast<std::uint32_t>(number.magnitude);
  return number.negative ? 0u - magnitude : magnitude;
}

} // namespace

std::int32_t ReadInt32(const std::string &text) { return ReadInGlobalLocale(text, false, ReadClassicInt32); }
std::uint32_t ReadUInt32(const std::string &text) { return ReadInGlobalLocale(text, false, ReadClassicUInt32); }
float ReadFloat(const std::string &text) { return ReadInGlobalLocale(text, true, ReadFloating<float>); }
double ReadDouble(const std::string &text) { return ReadInGlobalLocale(text, true, ReadFloating<double>); }

} // namespace TextNumber
} // namespace Collection
} // namespace Tessel
} // namespace Zorbin
