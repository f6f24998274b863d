//===- number_test.cpp - Numbers of four machine types --------------------===//

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include "support/Holder.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace Zorbin::Tessel::Collection;

namespace {

const long kIntMin = -2147483647L - 1;
const float kInf = std::numeric_limits<float>::infinity();
const float kFloatMax = std::numeric_limits<float>::max();

// The stored types keep their numbers (each factory's type is checked in
// make_value_test.cpp).
static_assert(Number::Int == 0 && Number::UnsignedInt == 1 && Number::Float == 2 && Number::Double == 3,
              "the numbers of the stored types");

struct Conversion {
  const char *name;
  Number number;
  bool truth;
  long integer;
  unsigned long natural;
  float single;
};

// Integers keep their 32 bits (also where long is wider) and reinterpret
// them; floating values truncate toward zero, with fixed results out of
// range; doubles round to the nearest float and overflow to infinity.
TEST(NumberTest, ConvertsBetweenTheMachineTypes) {
  const Conversion conversions[] = {
      {"-1", Number(-1L), true, -1, 4294967295ul, -1.0f},
      {"4294967295", Number(4294967295ul), true, -1, 4294967295ul, 4294967296.0f},
      {"int min", Number(kIntMin), true, kIntMin, 2147483648ul, -2147483648.0f},
      {"0", Number(0L), false, 0, 0, 0.0f},
      {"0u", Number(0ul), false, 0, 0, 0.0f},
      {"wide long", Number(static_cast<long>(0x100000005LL)), true, 5, 5, 5.0f},
      {"wide unsigned long", Number(static_cast<unsigned long>(0x1FFFFFFFFull)), true, -1, 4294967295ul,
       4294967296.0f},
      {"2^24+1", Number(16777217L), true, 16777217, 16777217, 16777216.0f},
      {"2^24+3", Number(16777219L), true, 16777219, 16777219, 16777220.0f}, // a tie goes to even
      {"3.99", Number(3.99), true, 3, 3, 3.99f},
      {"-3.99", Number(-3.99), true, -3, 4294967293ul, -3.99f},
      {"-1.5", Number(-1.5), true, -1, 4294967295ul, -1.5f},
      {"2147483647.9", Number(2147483647.9), true, 2147483647, 2147483647, 2147483648.0f},
      {"-2147483648.9", Number(-2147483648.9), true, kIntMin, 2147483648ul, -2147483648.0f},
      {"2^31", Number(2147483648.0), true, kIntMin, 2147483648ul, 2147483648.0f},
      {"-2^31-1", Number(-2147483649.0), true, kIntMin, 2147483647, -2147483648.0f},
      {"2^32", Number(4294967296.0), true, kIntMin, 0, 4294967296.0f},
      {"5e9", Number(5e9), true, kIntMin, 705032704, 5e9f},
      {"-5e9", Number(-5e9), true, kIntMin, 3589934592ul, -5e9f},
      {"1e19", Number(1e19), true, kIntMin, 0, 1e19f}, // beyond the signed 64-bit range
      {"-1e19", Number(-1e19), true, kIntMin, 0, -1e19f},
      {"-2^63", Number(-9223372036854775808.0), true, kIntMin, 0, -9223372036854775808.0f},
      {"1e300", Number(1e300), true, kIntMin, 0, kInf},
      {"-1e39", Number(-1e39), true, kIntMin, 0, -kInf},
      {"float max", Number(static_cast<double>(kFloatMax)), true, kIntMin, 0, kFloatMax},
      // Below the halfway point to the next power of two: the largest
      // float; at it: ties to even, which is infinity.
      {"below halfway", Number(0x1.fffffefffffffp127), true, kIntMin, 0, kFloatMax},
      {"halfway", Number(0x1.ffffffp127), true, kIntMin, 0, kInf},
      {"0.1", Number(0.1), true, 0, 0, 0.1f},
      {"1e-50", Number(1e-50), true, 0, 0, 0.0f},
      {"-0", Number(-0.0), false, 0, 0, -0.0f},
  };
  for (const Conversion &c : conversions) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.number.BoolValue(), c.truth);
    EXPECT_EQ(c.number.IntValue(), c.integer);
    EXPECT_EQ(c.number.UnsignedIntValue(), c.natural);
    EXPECT_EQ(c.number.FloatValue(), c.single);
  }
}

TEST(NumberTest, NaNIsTrueAndEqualsNothing) {
  Number nan(std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(nan.BoolValue());
  EXPECT_EQ(nan.IntValue(), kIntMin);
  EXPECT_EQ(nan.UnsignedIntValue(), 0ul);
  EXPECT_FALSE(nan == nan);
  EXPECT_TRUE(std::isnan(nan.FloatValue()));
  EXPECT_TRUE(std::isnan(Number(std::numeric_limits<double>::quiet_NaN()).FloatValue()));
}

TEST(NumberTest, EqualityComparesTheDoubleValues) {
  EXPECT_TRUE(Number(1L) == Number(1.0f));
  EXPECT_TRUE(Number(1L) == Number(1ul));
  EXPECT_TRUE(Number(-0.0) == Number(0L));
  EXPECT_FALSE(Number(0.1f) == Number(0.1));
  EXPECT_FALSE(Number(4294967295ul) == Number(-1L));
  EXPECT_TRUE(Number(3.0) != static_cast<const Value &>(Number(4L)));
}

TEST(NumberTest, TextIsTheDefaultFormatOfTheStoredType) {
  EXPECT_EQ(Number(-42L).StringValue(), "-42");
  EXPECT_EQ(Number(0.5).StringValue(), "0.5");
  EXPECT_EQ(Number(0.5f).ToString(), "0.5");
  EXPECT_EQ(Number(1e20).ToString(), "1e+20");
}

TEST(NumberTest, IntAndUnsignedIntStoreTheIntegerTypes) {
  const struct {
    const char *name;
    Number number;
    Number::NumericType type;
    long integer;
    unsigned long natural;
  } cases[] = {
      {"42", Number(42), Number::Int, 42, 42},
      {"-1", Number(-1), Number::Int, -1, 4294967295ul},
      {"int min", Number(std::numeric_limits<int>::min()), Number::Int, kIntMin, 2147483648ul},
      {"short", Number(static_cast<short>(-2)), Number::Int, -2, 4294967294ul},
      {"char", Number('A'), Number::Int, 65, 65},
      {"0u", Number(0u), Number::UnsignedInt, 0, 0},
      {"4294967295u", Number(4294967295u), Number::UnsignedInt, -1, 4294967295ul},
      {"unsigned short", Number(static_cast<unsigned short>(65535)), Number::Int, 65535, 65535},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.number.Type(), c.type);
    EXPECT_EQ(c.number.IntValue(), c.integer);
    EXPECT_EQ(c.number.UnsignedIntValue(), c.natural);
  }
}

// ToString and StringValue make the text without a stream; it must be the
// very text Print writes into a default-formatted stream, for every stored
// type: special values, the edges of "%g"'s forms and many random numbers.
TEST(NumberTest, TextWithoutAStreamIsTheStreamsText) {
  std::vector<Number> numbers;
  const double doubles[] = {0.0,
                            -0.0,
                            1.0,
                            -1.0,
                            0.1,
                            1e-5,
                            1e-4,
                            0.0001234565,
                            123456.0,
                            999999.0,
                            999999.5,
                            1e6,
                            1234567.0,
                            1e15,
                            1e16,
                            1e100,
                            -1e-100,
                            5e-324,
                            2.2250738585072014e-308,
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::lowest(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN(),
                            -std::numeric_limits<double>::quiet_NaN()};
  for (double d : doubles) {
    numbers.emplace_back(d);
    numbers.emplace_back(static_cast<float>(d));
  }
  for (long i : {0L, 1L, -1L, 9L, 10L, -10L, kIntMin, 2147483647L})
    numbers.emplace_back(i);
  for (unsigned long u : {0ul, 1ul, 10ul, 2147483648ul, 4294967295ul})
    numbers.emplace_back(u);
  // In proportion: random bit patterns (every exponent, NaNs among them),
  // numbers of a few digits at every scale, and integers.
  std::mt19937_64 random(20240613);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double d;
    float f;
    std::uint32_t low = static_cast<std::uint32_t>(bits);
    std::memcpy(&d, &bits, sizeof d);
    std::memcpy(&f, &low, sizeof f);
    const double rounded =
        std::round(static_cast<double>(bits % 2000000) / 8.0) * std::pow(10.0, static_cast<int>(bits >> 58) - 32);
    numbers.emplace_back(d);
    numbers.emplace_back(f);
    numbers.emplace_back(rounded);
    numbers.emplace_back(static_cast<float>(rounded));
    numbers.emplace_back(static_cast<long>(static_cast<std::int32_t>(low)));
    numbers.emplace_back(static_cast<unsigned long>(low >> (bits >> 59)));
  }
  int mismatches = 0;
  for (const Number &number : numbers) {
    std::ostringstream stream;
    number.Print(stream);
    if (number.ToString() != stream.str() || number.StringValue() != stream.str()) {
      if (++mismatches <= 10)
        ADD_FAILURE() << "type " << number.Type() << ": \"" << number.ToString() << "\", the stream writes \""
                      << stream.str() << "\"";
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << numbers.size();
}

// In another global locale a default-formatted stream writes numbers with
// that locale's punctuation, and the text made without a stream follows.
struct GroupedWithComma : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(NumberTest, TextFollowsTheGlobalLocaleAsTheStreamDoes) {
  auto dictionary = CollectionTest::Make<Dictionary>();
  dictionary->SetValueForKey("f", *MakeValue(2.5));
  auto array = CollectionTest::Make<Array>();
  array->AddValue(*MakeValue(1234567));
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new GroupedWithComma));
  const std::string text = Number(0.5).ToString() + " " + Number(1234567).StringValue() + " " +
                           dictionary->ToString() + " " + array->ToString();
  std::locale::global(previous);
  EXPECT_EQ(text, "0,5 1.234.567 { 'f' = 2,5,\n} { 1.234.567,\n}");
  EXPECT_EQ(Number(0.5).ToString(), "0.5");
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
// A number on the stack that a container still holds when it dies stops the
// program at once, naming the fault, instead of leaving the container with a
// dead value. Local use, taken back before it dies, stays fine.
TEST(NumberDeathTest, DyingWhileAContainerHoldsItAborts) {
  EXPECT_DEATH(
      {
        auto dictionary = CollectionTest::Make<Dictionary>();
        Number width(42);
        dictionary->SetValueForKey("width", width);
      },
      "Number destroyed while 1 other reference");
  EXPECT_DEATH(
      {
        Zorbin::Tessel::Runtime::Ref<const Value> handle;
        Zorbin::Tessel::Runtime::Ref<const Value> another;
        Number width(42);
        handle = Zorbin::Tessel::Runtime::Ref<const Value>(width);
        another = handle;
      },
      "Number destroyed while 2 other reference");

  auto array = CollectionTest::Make<Array>();
  {
    Number local(1);
    array->AddValue(local);
    array->RemoveLastValue();
  }
  EXPECT_EQ(array->Count(), 0ul);
}
#endif

TEST(NumberTest, ConversionOperatorsFollowTheAccessors) {
  Number value(70000.75);
  EXPECT_EQ(static_cast<long>(value), 70000);
  EXPECT_EQ(static_cast<short>(value), static_cast<short>(70000 & 0xFFFF));
  EXPECT_EQ(static_cast<double>(value), 70000.75);
  EXPECT_TRUE(static_cast<bool>(value));
  EXPECT_EQ(static_cast<std::string>(value), "70000.8");
}

} // namespace
