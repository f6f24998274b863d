//===- string_test.cpp - Text values --------------------------------------===//

#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>

using namespace Zorbin::Tessel::Collection;
using CollectionTest::Make;

namespace {

struct Reading {
  const char *text;
  long intValue;
  unsigned long unsignedValue;
  double doubleValue;
};

// What the numeric accessors read from text in the default locale.
const Reading kReadings[] = {
    {"", 0, 0, 0.0},
    {"   ", 0, 0, 0.0},
    {"  42 ", 42, 42, 42.0},
    {"\t\n\v\f\r7", 7, 7, 7.0},
    {"+7", 7, 7, 7.0},
    {"-12", -12, 4294967284ul, -12.0},
    {"- 12", 0, 0, 0.0},
    {"+-5", 0, 0, 0.0},
    {"12abc", 12, 12, 12.0},
    {"abc12", 0, 0, 0.0},
    {"0x1F", 0, 0, 0.0},
    {"3.99", 3, 3, 3.99},
    {"1e3", 1, 1, 1000.0},
    {"1E+3", 1, 1, 1000.0},
    {"2.5e-1x", 2, 2, 0.25},
    {"1,000", 1, 1, 1.0},
    {".5", 0, 0, 0.5},
    {"-.5", 0, 0, -0.5},
    {"5.", 5, 5, 5.0},
    {"1.2.3", 1, 1, 1.2},
    {".", 0, 0, 0.0},
    {"-", 0, 0, 0.0},
    {"1e", 1, 1, 0.0},
    {"1e+", 1, 1, 0.0},
    {"1.5e-", 1, 1, 0.0},
    {"1e5e3", 1, 1, 1e5},
    {"inf", 0, 0, 0.0},
    {"nan", 0, 0, 0.0},
    {"007", 7, 7, 7.0},
    // Runs of digits around eight long, and the bytes either side of '0' to
    // '9' among them.
    {"12345678", 12345678, 12345678ul, 12345678.0},
    {"123456789", 123456789, 123456789ul, 123456789.0},
    {"1234567x9", 1234567, 1234567ul, 1234567.0},
    {"1234567/89", 1234567, 1234567ul, 1234567.0},
    {"12345678:9", 12345678, 12345678ul, 12345678.0},
    {"00000000000000000042", 42, 42, 42.0},
    {"-0000000002147483648", -2147483647L - 1, 2147483648ul, -2147483648.0},
    {"4294967296000000000000000000", 2147483647, 4294967295ul, 4294967296000000000000000000.0},
    {"2147483647", 2147483647, 2147483647ul, 2147483647.0},
    {"2147483648", 2147483647, 2147483648ul, 2147483648.0},
    {"-2147483648", -2147483647L - 1, 2147483648ul, -2147483648.0},
    {"-2147483649", -2147483647L - 1, 2147483647ul, -2147483649.0},
    {"4294967295", 2147483647, 4294967295ul, 4294967295.0},
    {"4294967296", 2147483647, 4294967295ul, 4294967296.0},
    {"-1", -1, 4294967295ul, -1.0},
    {"-4294967295", -2147483647L - 1, 1ul, -4294967295.0},
    {"-4294967296", -2147483647L - 1, 4294967295ul, -4294967296.0},
    {"99999999999999999999999", 2147483647, 4294967295ul, 1e23},
    {"1e40", 1, 1, 1e40},
    {"1e400", 1, 1, std::numeric_limits<double>::max()},
    {"-1e400", -1, 4294967295ul, -std::numeric_limits<double>::max()},
    {"1e-400", 1, 1, 0.0},
};

// The float reading is checked against the standard extraction itself, for
// every text.
TEST(StringTest, NumericAccessorsReadTheTextLikeAStreamExtraction) {
  for (const Reading &reading : kReadings) {
    SCOPED_TRACE(std::string("text: \"") + reading.text + "\"");
    auto value = Make<String>(reading.text);
    EXPECT_EQ(value->IntValue(), reading.intValue);
    EXPECT_EQ(value->UnsignedIntValue(), reading.unsignedValue);
    EXPECT_EQ(value->DoubleValue(), reading.doubleValue);
    float f = 0;
    std::istringstream(reading.text) >> f;
    EXPECT_EQ(value->FloatValue(), f);
  }
}

TEST(StringTest, FloatValueIsRoundedOnceFromTheText) {
  EXPECT_EQ(Make<String>("0.1")->FloatValue(), 0.1f);
  EXPECT_EQ(Make<String>("-1e40")->FloatValue(), -std::numeric_limits<float>::max());
  EXPECT_EQ(Make<String>("1e-50")->FloatValue(), 0.0f);
  EXPECT_EQ(Make<String>("1e-40")->FloatValue(), 1e-40f); // subnormal
  EXPECT_TRUE(std::signbit(Make<String>("-0")->DoubleValue()));
  // Just above the midpoint of two floats: read directly it rounds up, while
  // a detour through double would land on the midpoint and round to even.
  EXPECT_EQ(Make<String>("16777217.000000000001")->FloatValue(), 16777218.0f);
}

// Out of range, the side is that of the whole number, even when a long run
// of digits outweighs a large exponent of the other sign. (glibc's stream
// extraction gives the same; the 32-bit Windows runtime's picks the wrong
// side for these, so the ends are written out here.)
TEST(StringTest, LongDigitRunsAgainstHugeExponentsLandOnTheRightEnd) {
  const std::string zeros(150000, '0');
  const auto tiny = Make<String>("1" + zeros + "e-1000000");
  const auto huge = Make<String>("0." + zeros + "1e1000000");
  EXPECT_EQ(tiny->DoubleValue(), 0.0);
  EXPECT_EQ(tiny->FloatValue(), 0.0f);
  EXPECT_EQ(huge->DoubleValue(), std::numeric_limits<double>::max());
  EXPECT_EQ(huge->FloatValue(), std::numeric_limits<float>::max());
}

TEST(StringTest, TruthIsNonEmptiness) {
  EXPECT_FALSE(Make<String>()->BoolValue());
  EXPECT_FALSE(Make<String>("")->BoolValue());
  EXPECT_TRUE(Make<String>("false")->BoolValue());
  EXPECT_TRUE(Make<String>("0")->BoolValue());
  EXPECT_TRUE(Make<String>(" ")->BoolValue());
  EXPECT_TRUE(Make<String>(std::string(1, '\0'))->BoolValue());
}

TEST(StringTest, HoldsBytesIncludingZeros) {
  const std::string bytes("a\0b\xff", 4);
  auto value = Make<String>(bytes);
  EXPECT_EQ(value->Str(), bytes);
  EXPECT_EQ(value->StringValue(), bytes);
  EXPECT_EQ(value->ToString(), bytes);
  EXPECT_FALSE(*value == *Make<String>("a"));
}

TEST(StringTest, EqualityIsByteForByte) {
  EXPECT_TRUE(*Make<String>("abc") == *Make<String>("abc"));
  EXPECT_FALSE(*Make<String>("abc") == *Make<String>("ABC"));
  EXPECT_FALSE(*Make<String>("abc") == *Make<String>("abc "));
  EXPECT_TRUE(*Make<String>("") == *Make<String>());
}

TEST(StringTest, PrintIsAPlainStringInsertion) {
  std::ostringstream os;
  os << std::setw(6) << std::setfill('*');
  Make<String>("ab")->Print(os);
  EXPECT_EQ(os.str(), "****ab");
}

// A locale whose decimal point is a comma, made without relying on the
// locales installed on the machine.
struct CommaDecimalPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(StringTest, FloatingTextFollowsTheGlobalLocalesDecimalPoint) {
  std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimalPoint));
  double comma = Make<String>("3,5")->DoubleValue();
  float commaFloat = Make<String>("3,5")->FloatValue();
  double point = Make<String>("3.5")->DoubleValue();
  long integer = Make<String>("-12,5")->IntValue();
  std::locale::global(previous);
  EXPECT_EQ(comma, 3.5);
  EXPECT_EQ(commaFloat, 3.5f);
  EXPECT_EQ(point, 3.0);
  EXPECT_EQ(integer, -12);
  EXPECT_EQ(Make<String>("3,5")->DoubleValue(), 3.0);
}

// A German-like locale: ',' as decimal point, '.' between groups of three
// digits. Made from the classic locale with a facet of its own, so that it
// exists on every platform.
struct GermanPunctuation : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

// Sets a global locale for the scope of a test.
class GlobalLocale {
public:
  explicit GlobalLocale(const std::locale &locale) : m_previous(std::locale::global(locale)) {}
  ~GlobalLocale() { std::locale::global(m_previous); }

private:
  std::locale m_previous;
};

// In another locale only the punctuation changes: the number is read
// exactly as in the classic locale, correctly rounded on every platform,
// long digit runs included.
TEST(StringTest, OtherLocalesChangeOnlyThePunctuation) {
  const std::string zeros20000(20000, '0'), zeros33000(33000, '0');
  const struct {
    std::string text;
    long intValue;
    unsigned long unsignedValue;
    double doubleValue;
    float floatValue;
  } cases[] = {
      {"3,5", 3, 3, 3.5, 3.5f},
      {" -1.234,5x", -1234, 4294966062ul, -1234.5, -1234.5f},
      {"1.000.000", 1000000, 1000000, 1e6, 1e6f},
      {"12.34", 1234, 1234, 1234.0, 1234.0f}, // the groups' sizes play no part
      {"3.5,25e2", 35, 35, 3525.0, 3525.0f},
      {".5", 0, 0, 0.0, 0.0f}, // a separator before any digit
      {"1..2", 0, 0, 0.0, 0.0f},
      {",25", 0, 0, 0.25, 0.25f},
      {"0,1", 0, 0, 0.1, 0.1f},
      {"16777217,000000000001", 16777217, 16777217, 16777217.000000000001, 16777218.0f},
      {"1" + zeros20000 + "e-20000", 2147483647, 4294967295ul, 1.0, 1.0f},
      {"1" + zeros33000 + "e-33000", 2147483647, 4294967295ul, 1.0, 1.0f},
      {"0," + zeros20000 + "1e20001", 0, 0, 1.0, 1.0f},
      {"1" + zeros20000, 2147483647, 4294967295ul, std::numeric_limits<double>::max(),
       std::numeric_limits<float>::max()},
      {"1e-400", 1, 1, 0.0, 0.0f},
  };
  const GlobalLocale german(std::locale(std::locale::classic(), new GermanPunctuation));
  for (const auto &c : cases) {
    SCOPED_TRACE("text: \"" + c.text.substr(0, 40) + "\"");
    const auto value = Make<String>(c.text);
    EXPECT_EQ(value->IntValue(), c.intValue);
    EXPECT_EQ(value->UnsignedIntValue(), c.unsignedValue);
    EXPECT_EQ(value->DoubleValue(), c.doubleValue);
    EXPECT_EQ(value->FloatValue(), c.floatValue);
  }
}

} // namespace
