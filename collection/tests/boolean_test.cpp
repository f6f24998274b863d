//===- boolean_test.cpp - Truth values ------------------------------------===//

#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

using namespace Zorbin::Tessel::Collection;
using CollectionTest::Make;

namespace {

// What the two truth values answer and print is in value_test.cpp.
TEST(BooleanTest, SharedInstancesAreFixedObjectsThatEqualNewOnesByTruth) {
  EXPECT_EQ(&Boolean::True(), &Boolean::True());
  EXPECT_EQ(&Boolean::False(), &Boolean::False());
  EXPECT_NE(static_cast<const Value *>(&Boolean::True()), static_cast<const Value *>(&Boolean::False()));

  auto madeTrue = Make<Boolean>(true);
  auto madeFalse = Make<Boolean>(false);
  EXPECT_TRUE(*madeTrue == Boolean::True());
  EXPECT_TRUE(*madeFalse == Boolean::False());
  EXPECT_FALSE(Boolean::True() == Boolean::False());
  EXPECT_TRUE(static_cast<const Value &>(Boolean::True()) == *madeTrue);
  EXPECT_TRUE(Boolean::True() != static_cast<const Value &>(*madeFalse));
}

} // namespace
