//===- boolean_test.cpp - Truth values ------------------------------------===//

#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace Zorbin::Tessel::Collection;
using CollectionTest::Make;

namespace {

TEST(BooleanTest, ConvertsToNumbersAndText) {
  const Boolean &t = Boolean::True();
  EXPECT_TRUE(t.BoolValue());
  EXPECT_EQ(t.IntValue(), 1);
  EXPECT_EQ(t.UnsignedIntValue(), 1u);
  EXPECT_EQ(t.FloatValue(), 1.0f);
  EXPECT_EQ(t.DoubleValue(), 1.0);
  EXPECT_EQ(t.StringValue(), "true");
  EXPECT_EQ(t.ToString(), "true");
  EXPECT_EQ(static_cast<int>(t), 1);
  EXPECT_FALSE(!t);

  const Boolean &f = Boolean::False();
  EXPECT_FALSE(f.BoolValue());
  EXPECT_EQ(f.IntValue(), 0);
  EXPECT_EQ(f.UnsignedIntValue(), 0u);
  EXPECT_EQ(f.FloatValue(), 0.0f);
  EXPECT_EQ(f.DoubleValue(), 0.0);
  EXPECT_EQ(f.StringValue(), "false");
  EXPECT_EQ(f.ToString(), "false");
  EXPECT_TRUE(!f);
  EXPECT_EQ(static_cast<std::string>(f), "false");
}

TEST(BooleanTest, AnswersTheDefaultsForEverythingElse) {
  const Boolean &t = Boolean::True();
  EXPECT_FALSE(t.IsNull());
  EXPECT_EQ(t.Count(), 0u);
  EXPECT_EQ(&t["true"], &Value::Null());
  EXPECT_EQ(&t[0], &Value::Null());
  EXPECT_EQ(t.PointerValue(), nullptr);
  EXPECT_EQ(t.DataValue().size(), 0u);
}

TEST(BooleanTest, EqualityIsByTruthValueAndKind) {
  auto madeTrue = Make<Boolean>(true);
  EXPECT_TRUE(*madeTrue == Boolean::True());
  EXPECT_TRUE(static_cast<const Value &>(*madeTrue) == static_cast<const Value &>(Boolean::True()));
  EXPECT_FALSE(Boolean::True() == Boolean::False());
  EXPECT_TRUE(Boolean::True() != static_cast<const Value &>(Boolean::False()));

  auto one = Make<Number>(1L);
  auto text = Make<String>("true");
  EXPECT_FALSE(static_cast<const Value &>(Boolean::True()) == *one);
  EXPECT_FALSE(*one == static_cast<const Value &>(Boolean::True()));
  EXPECT_FALSE(static_cast<const Value &>(Boolean::True()) == *text);
  EXPECT_FALSE(static_cast<const Value &>(Boolean::True()) == Value::Null());
  EXPECT_FALSE(Value::Null() == Boolean::False());
}

TEST(BooleanTest, SharedInstancesAreAlwaysTheSameObjects) {
  EXPECT_EQ(&Boolean::True(), &Boolean::True());
  EXPECT_EQ(&Boolean::False(), &Boolean::False());
  EXPECT_NE(static_cast<const Value *>(&Boolean::True()), static_cast<const Value *>(&Boolean::False()));
}

TEST(BooleanTest, PrintsTheBareWordAndKeepsTheStreamsFlags) {
  std::ostringstream os;
  os << std::hex << std::showbase;
  auto flags = os.flags();
  Boolean::True().Print(os);
  os << ' ';
  Boolean::False().Print(os);
  EXPECT_EQ(os.str(), "true false");
  EXPECT_EQ(os.flags(), flags);
}

} // namespace
