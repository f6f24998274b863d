//===- number_test.cpp - Numbers of four machine types --------------------===//

#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>

using namespace Zorbin::Tessel::Collection;
using CollectionTest::Make;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

TEST(NumberTest, RemembersItsStoredType) {
  EXPECT_EQ(Number(-1L).Type(), Number::Int);
  EXPECT_EQ(Number(1ul).Type(), Number::UnsignedInt);
  EXPECT_EQ(Number(1.0f).Type(), Number::Float);
  EXPECT_EQ(Number(1.0).Type(), Number::Double);
  EXPECT_EQ(static_cast<int>(Number::Int), 0);
  EXPECT_EQ(static_cast<int>(Number::UnsignedInt), 1);
  EXPECT_EQ(static_cast<int>(Number::Float), 2);
  EXPECT_EQ(static_cast<int>(Number::Double), 3);
}

TEST(NumberTest, IntegersKeepTheir32BitsAndReinterpretThem) {
  Number minusOne(-1L);
  EXPECT_EQ(minusOne.UnsignedIntValue(), 4294967295ul);
  EXPECT_TRUE(minusOne.BoolValue());
  EXPECT_EQ(minusOne.DoubleValue(), -1.0);

  Number max(4294967295ul);
  EXPECT_EQ(max.IntValue(), -1);
  EXPECT_EQ(max.FloatValue(), 4294967296.0f);
  EXPECT_EQ(max.DoubleValue(), 4294967295.0);

  EXPECT_EQ(Number(16777217L).FloatValue(), 16777216.0f);
  EXPECT_EQ(Number(16777219L).FloatValue(), 16777220.0f); // tie goes to even
  EXPECT_FALSE(Number(0L).BoolValue());
  EXPECT_FALSE(Number(0ul).BoolValue());
}

TEST(NumberTest, WideLongsAreKeptTo32Bits) {
  // Where long is 64 bits wide, the value is cut to 32 bits on construction,
  // as a 32-bit long would hold it.
  if (sizeof(long) > 4) {
    long wide = static_cast<long>(0x100000005LL);
    EXPECT_EQ(Number(wide).IntValue(), 5);
    EXPECT_EQ(Number(static_cast<unsigned long>(0x1FFFFFFFFull)).UnsignedIntValue(), 4294967295ul);
    EXPECT_EQ(Number(static_cast<unsigned long>(0x1FFFFFFFFull)).IntValue(), -1);
  }
  EXPECT_EQ(Number(-2147483647L - 1).IntValue(), -2147483647L - 1);
}

TEST(NumberTest, FloatingToIntTruncatesTowardZero) {
  EXPECT_EQ(Number(3.99).IntValue(), 3);
  EXPECT_EQ(Number(-3.99).IntValue(), -3);
  EXPECT_EQ(Number(-3.99).UnsignedIntValue(), 4294967293ul);
  EXPECT_EQ(Number(-1.5).UnsignedIntValue(), 4294967295ul);
  EXPECT_EQ(Number(2147483647.9).IntValue(), 2147483647);
  EXPECT_EQ(Number(-2147483648.9).IntValue(), -2147483647L - 1);
}

TEST(NumberTest, FloatingOutOfRangeGivesTheFixedResults) {
  const long intMin = -2147483647L - 1;
  EXPECT_EQ(Number(2147483648.0).IntValue(), intMin);
  EXPECT_EQ(Number(-2147483649.0).IntValue(), intMin);
  EXPECT_EQ(Number(4294967296.0).IntValue(), intMin);
  EXPECT_EQ(Number(4294967296.0).UnsignedIntValue(), 0ul);
  EXPECT_EQ(Number(5e9).UnsignedIntValue(), 705032704ul);
  EXPECT_EQ(Number(-5e9).UnsignedIntValue(), static_cast<unsigned long>(static_cast<std::uint32_t>(-5000000000LL)));
  EXPECT_EQ(Number(1e19).UnsignedIntValue(), 0ul);   // beyond the signed 64-bit range
  EXPECT_EQ(Number(-1e19).UnsignedIntValue(), 0ul);
  EXPECT_EQ(Number(-9223372036854775808.0).UnsignedIntValue(), 0ul); // -2^63 itself is in range
  EXPECT_EQ(Number(1e300).IntValue(), intMin);
}

TEST(NumberTest, NaNAndNegativeZero) {
  Number nan(std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(nan.BoolValue());
  EXPECT_EQ(nan.IntValue(), -2147483647L - 1);
  EXPECT_EQ(nan.UnsignedIntValue(), 0ul);
  EXPECT_FALSE(nan == nan);
  EXPECT_TRUE(std::isnan(nan.FloatValue()));
  EXPECT_TRUE(std::isnan(Number(kNaN).FloatValue()));

  Number negativeZero(-0.0);
  EXPECT_FALSE(negativeZero.BoolValue());
  EXPECT_TRUE(negativeZero == Number(0L));
  EXPECT_EQ(negativeZero.IntValue(), 0);
  EXPECT_EQ(negativeZero.UnsignedIntValue(), 0ul);
}

TEST(NumberTest, DoubleToFloatRoundsAndOverflowsToInfinity) {
  EXPECT_EQ(Number(1e39).FloatValue(), kInf);
  EXPECT_EQ(Number(-1e39).FloatValue(), -kInf);
  const double floatMax = std::numeric_limits<float>::max();
  EXPECT_EQ(Number(floatMax).FloatValue(), std::numeric_limits<float>::max());
  // Below the halfway point to the next power of two: rounds down to the
  // largest float; at it: ties to even, which is infinity.
  EXPECT_EQ(Number(0x1.fffffefffffffp127).FloatValue(), std::numeric_limits<float>::max());
  EXPECT_EQ(Number(0x1.ffffffp127).FloatValue(), kInf);
  EXPECT_EQ(Number(0.1).FloatValue(), 0.1f);
  EXPECT_EQ(Number(1e-50).FloatValue(), 0.0f);
}

TEST(NumberTest, EqualityComparesTheDoubleValues) {
  EXPECT_TRUE(Number(1L) == Number(1.0f));
  EXPECT_TRUE(Number(1L) == Number(1ul));
  EXPECT_FALSE(Number(0.1f) == Number(0.1));
  EXPECT_FALSE(Number(4294967295ul) == Number(-1L));
  EXPECT_TRUE(Number(3.0) != static_cast<const Value &>(Number(4L)));
}

TEST(NumberTest, NeverEqualsAnotherKind) {
  Number one(1L);
  auto text = Make<String>("1");
  EXPECT_FALSE(one == static_cast<const Value &>(Boolean::True()));
  EXPECT_FALSE(one == *text);
  EXPECT_FALSE(*text == one);
  EXPECT_FALSE(one == Value::Null());
}

TEST(NumberTest, StringValueIsTheDefaultFormattedText) {
  EXPECT_EQ(Number(-42L).StringValue(), "-42");
  EXPECT_EQ(Number(4294967295ul).StringValue(), "4294967295");
  EXPECT_EQ(Number(3.14159265).StringValue(), "3.14159");
  EXPECT_EQ(Number(0.5).StringValue(), "0.5");
  EXPECT_EQ(Number(0.5f).ToString(), "0.5");
  EXPECT_EQ(Number(1e20).ToString(), "1e+20");
}

TEST(NumberTest, PrintHonoursTheCallersFormattingAndLeavesIt) {
  std::ostringstream os;
  os << std::hex;
  auto flags = os.flags();
  Number(255L).Print(os);
  os << ' ';
  Number(-1L).Print(os);
  os << ' ';
  Number(4294967295ul).Print(os);
  EXPECT_EQ(os.str(), "ff ffffffff ffffffff");
  EXPECT_EQ(os.flags(), flags);
  EXPECT_EQ(Number(255L).StringValue(), "255");

  std::ostringstream fixed;
  fixed << std::fixed << std::setprecision(2);
  Number(3.14159).Print(fixed);
  EXPECT_EQ(fixed.str(), "3.14");
  EXPECT_EQ(fixed.precision(), 2);
}

TEST(NumberTest, ConversionOperatorsFollowTheAccessors) {
  Number value(70000.75);
  EXPECT_EQ(static_cast<long>(value), 70000);
  EXPECT_EQ(static_cast<short>(value), static_cast<short>(70000 & 0xFFFF));
  EXPECT_EQ(static_cast<double>(value), 70000.75);
  EXPECT_TRUE(static_cast<bool>(value));
  EXPECT_EQ(static_cast<std::string>(value), "70000.8");
}

} // namespace
