//===- array_test.cpp - Ordered containers --------------------------------===//

#include "support/CountingAllocator.h"
#include "support/Holder.h"
#include "support/LifeProbe.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <iomanip>
#include <new>
#include <sstream>
#include <string>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::CountingAllocator;
using CollectionTest::LifeProbe;
using CollectionTest::Make;

namespace {

// The addresses of the array's values, in index order.
std::vector<const Value *> Contents(const Array &array) {
  std::vector<const Value *> contents;
  for (unsigned long i = 0; i < array.Count(); ++i)
    contents.push_back(&array.GetValueAtIndex(i));
  return contents;
}

Runtime::Ref<Array> ArrayOf(std::initializer_list<long> numbers) {
  auto array = Make<Array>();
  for (long n : numbers)
    array->AddValue(*MakeValue(n));
  return array;
}

// Says it is null, but equals only itself: the side whose operator!= is
// asked decides whether it matches the null value.
class NullLooking : public Value {
public:
  bool IsNull() const override { return true; }

protected:
  ~NullLooking() override = default;
};

struct ArrayTest : ::testing::Test {
  std::vector<std::string> deaths; // outlives the values that report to it
  Runtime::Ref<const Value> a = MakeValue("a");
  Runtime::Ref<const Value> b = MakeValue("b");
  Runtime::Ref<const Value> c = MakeValue("c");
  Runtime::Ref<const Value> v = MakeValue("v");
  Runtime::Ref<Array> array = Make<Array>();
};

TEST_F(ArrayTest, NewArrayIsEmpty) {
  EXPECT_EQ(array->Count(), 0u);
  EXPECT_EQ(array->ToString(), "{ }");
  EXPECT_EQ(&array->GetValueAtIndex(0), &Value::Null());
}

TEST_F(ArrayTest, LookupsOutsideTheArrayAnswerNull) {
  array->AddValue(*a);
  EXPECT_EQ(&array->GetValueAtIndex(0), a.Get());
  EXPECT_EQ(&(*array)[0], a.Get());
  EXPECT_EQ(&array->GetValueAtIndex(array->Count()), &Value::Null());
  EXPECT_EQ(&(*array)[-1], &Value::Null());
  EXPECT_EQ(&array->GetValueAtIndex(4294967295ul), &Value::Null());
  EXPECT_EQ(&array->GetValueForKey("0"), &Value::Null());
  EXPECT_EQ(&(*array)["a"], &Value::Null());
}

TEST_F(ArrayTest, InsertPutsTheValueAtTheIndex) {
  array->AddValue(*a);
  array->AddValue(*b);
  array->InsertValueAtIndex(0, *v);
  EXPECT_EQ(Contents(*array), (std::vector<const Value *>{v.Get(), a.Get(), b.Get()}));
  array->InsertValueAtIndex(2, *c);
  EXPECT_EQ(Contents(*array), (std::vector<const Value *>{v.Get(), a.Get(), c.Get(), b.Get()}));
  array->InsertValueAtIndex(array->Count(), *c); // same as AddValue
  EXPECT_EQ(Contents(*array), (std::vector<const Value *>{v.Get(), a.Get(), c.Get(), b.Get(), c.Get()}));
  EXPECT_EQ(a->RetainCount(), 2u); // moved elements keep their counts
  EXPECT_EQ(b->RetainCount(), 2u);
  EXPECT_EQ(c->RetainCount(), 3u);
  EXPECT_EQ(v->RetainCount(), 2u);
}

TEST_F(ArrayTest, RemoveTakesOutOneElementAndItsReference) {
  array->AddValue(*a);
  array->AddValue(*b);
  array->AddValue(*c);
  array->RemoveValueAtIndex(0);
  EXPECT_EQ(Contents(*array), (std::vector<const Value *>{b.Get(), c.Get()}));
  EXPECT_EQ(a->RetainCount(), 1u);
  EXPECT_EQ(b->RetainCount(), 2u);
  EXPECT_EQ(c->RetainCount(), 2u);
  array->RemoveLastValue();
  EXPECT_EQ(Contents(*array), (std::vector<const Value *>{b.Get()}));
  EXPECT_EQ(c->RetainCount(), 1u);
  array->RemoveLastValue();
  array->RemoveLastValue(); // on an empty array: nothing
  EXPECT_EQ(array->Count(), 0u);
  EXPECT_EQ(b->RetainCount(), 1u);
}

TEST_F(ArrayTest, EachOccurrenceHoldsItsOwnReference) {
  array->AddValue(*a);
  array->AddValue(*a);
  EXPECT_EQ(array->Count(), 2u);
  EXPECT_EQ(a->RetainCount(), 3u);
  array->RemoveValueAtIndex(1);
  EXPECT_EQ(&array->GetValueAtIndex(0), a.Get());
  EXPECT_EQ(a->RetainCount(), 2u);
  array.Reset();
  EXPECT_EQ(a->RetainCount(), 1u);
}

TEST_F(ArrayTest, ReplaceSwapsReferencesUnlessTheObjectIsTheSame) {
  array->AddValue(*a);
  array->ReplaceValueAtIndex(0, *a);
  EXPECT_EQ(a->RetainCount(), 2u);
  array->ReplaceValueAtIndex(0, *b);
  EXPECT_EQ(a->RetainCount(), 1u);
  EXPECT_EQ(b->RetainCount(), 2u);
  EXPECT_EQ(&array->GetValueAtIndex(0), b.Get());
}

TEST_F(ArrayTest, IndexesOutsideTheContractChangeNothing) {
  array->AddValue(*a);
  array->AddValue(*b);
  for (unsigned long index : {3ul, 4294967295ul}) {
    array->InsertValueAtIndex(index, *v);
    array->ReplaceValueAtIndex(index, *v);
    array->RemoveValueAtIndex(index);
  }
  array->ReplaceValueAtIndex(2, *v);
  array->RemoveValueAtIndex(2);
  EXPECT_EQ(Contents(*array), (std::vector<const Value *>{a.Get(), b.Get()}));
  EXPECT_EQ(v->RetainCount(), 1u);
  EXPECT_EQ(a->RetainCount(), 2u);
  EXPECT_EQ(b->RetainCount(), 2u);
}

TEST_F(ArrayTest, IndexesAreThirtyTwoBitsWide) {
  if (sizeof(unsigned long) <= 4)
    GTEST_SKIP() << "unsigned long is 32 bits wide here";
  array->AddValue(*a);
  const unsigned long wrapsToZero = static_cast<unsigned long>(std::uint64_t{1} << 32);
  EXPECT_EQ(&array->GetValueAtIndex(wrapsToZero), a.Get());
}

TEST_F(ArrayTest, ValuesWhoseLastHolderWasTheArrayDieAtOnce) {
  for (const char *name : {"first", "second", "third", "fourth", "fifth"}) {
    Runtime::Ref<const Value> probe(new LifeProbe(deaths, name));
    array->AddValue(*probe);
  }
  array->RemoveLastValue();
  EXPECT_EQ(deaths, std::vector<std::string>({"fifth"}));
  array->RemoveValueAtIndex(0);
  EXPECT_EQ(deaths.back(), "first");
  array->ReplaceValueAtIndex(0, *a);
  EXPECT_EQ(deaths.back(), "second");
  array.Reset(); // releases from index 0 upwards
  EXPECT_EQ(deaths, std::vector<std::string>({"fifth", "first", "second", "third", "fourth"}));
}

TEST_F(ArrayTest, ReplacementRetainsTheNewValueBeforeReleasingTheOld) {
  {
    auto inner = Make<Array>();
    Runtime::Ref<const Value> probe(new LifeProbe(deaths, "inner value"));
    inner->AddValue(*probe);
    array->AddValue(*inner);
  }
  const Value &innerValue = array->GetValueAtIndex(0).GetValueAtIndex(0);
  array->ReplaceValueAtIndex(0, innerValue); // its only holder is the one replaced
  EXPECT_TRUE(deaths.empty());
  EXPECT_EQ(&array->GetValueAtIndex(0), &innerValue);
  EXPECT_EQ(innerValue.RetainCount(), 1u);
}

TEST(ArrayEqualityTest, ComparesElementsInOrderToAnyDepth) {
  EXPECT_TRUE(*ArrayOf({1, 2}) == *ArrayOf({1, 2}));
  EXPECT_FALSE(*ArrayOf({1, 2}) == *ArrayOf({2, 1}));
  EXPECT_FALSE(*ArrayOf({1, 2}) == *ArrayOf({1, 2, 3}));
  EXPECT_FALSE(*ArrayOf({1, 2, 3}) == *ArrayOf({1, 2}));
  EXPECT_TRUE(*ArrayOf({}) == *ArrayOf({}));

  auto emptyArray = ArrayOf({});
  const Value &empty = *emptyArray;
  EXPECT_FALSE(empty == *Make<Dictionary>());
  EXPECT_FALSE(empty == Value::Null());
  EXPECT_TRUE(empty != Value::Null());

  auto nested = [](long leaf) {
    auto outer = Make<Array>();
    outer->AddValue(*ArrayOf({0}));
    outer->AddValue(*ArrayOf({leaf, 5}));
    return outer;
  };
  EXPECT_TRUE(*nested(1) == *nested(1));
  EXPECT_TRUE(static_cast<const Value &>(*nested(1)) == *nested(1));
  EXPECT_FALSE(*nested(1) == *nested(2));

  auto truth = Make<Array>();
  truth->AddValue(Boolean::True());
  EXPECT_FALSE(*ArrayOf({1}) == *truth);
}

TEST(ArrayEqualityTest, AsAValueTheOtherArrayLeads) {
  auto nulls = Make<Array>();
  nulls->AddValue(Value::Null());
  auto lookalikes = Make<Array>();
  lookalikes->AddValue(*Make<NullLooking>());
  // Typed: the receiver's elements are asked. The null value matches
  // anything that says it is null; the look-alike matches only itself.
  EXPECT_TRUE(*nulls == *lookalikes);
  EXPECT_FALSE(*lookalikes == *nulls);
  // On Value the roles are swapped: the argument's elements are asked.
  EXPECT_FALSE(static_cast<const Value &>(*nulls) == *lookalikes);
  EXPECT_TRUE(static_cast<const Value &>(*lookalikes) == *nulls);
}

TEST(ArrayPrintTest, PrintsElementsStraightIntoTheStream) {
  auto array = Make<Array>();
  array->AddValue(*MakeValue("a"));
  array->AddValue(*MakeValue("b"));
  array->AddValue(*Make<Array>());
  EXPECT_EQ(array->ToString(), "{ a,\nb,\n{ },\n}");

  auto numbers = Make<Array>();
  numbers->AddValue(*MakeValue(255));
  std::ostringstream out;
  out << std::hex;
  numbers->Print(out);
  EXPECT_EQ(out.str(), "{ ff,\n}");
  EXPECT_EQ(numbers->ToString(), "{ 255,\n}");

  auto mixed = Make<Array>();
  auto dictionary = Make<Dictionary>();
  dictionary->SetValueForKey("n", *MakeValue(255));
  mixed->AddValue(*dictionary);
  mixed->AddValue(*MakeValue(255));
  std::ostringstream hex;
  hex << std::hex;
  mixed->Print(hex);
  EXPECT_EQ(hex.str(), "{ { 'n' = 255,\n},\nff,\n}");
}

TEST(ArrayMemoryTest, ElementsLiveInNativeMemory) {
  CountingAllocator allocator;
  auto array = Make<Array>();
  auto value = MakeValue(1);
  const std::size_t blocks = allocator.LiveBlocks();
  array->AddValue(*value);
  EXPECT_EQ(allocator.LiveBlocks(), blocks + 1);
  array.Reset();
  value.Reset();
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST(ArrayMemoryTest, FailedGrowthLeavesArrayAndValueAsTheyWere) {
  CountingAllocator allocator;
  auto array = Make<Array>();
  auto value = MakeValue(1);
  array->AddValue(*value);
  // Appends that fit the storage succeed; the first that must grow it fails.
  allocator.FailFrom(1);
  for (bool grown = false; !grown;) {
    const std::vector<const Value *> before = Contents(*array);
    const unsigned long count = value->RetainCount();
    const std::size_t blocks = allocator.LiveBlocks();
    try {
      array->AddValue(*value);
    } catch (const std::bad_alloc &) {
      grown = true;
      EXPECT_THROW(array->InsertValueAtIndex(0, *value), std::bad_alloc);
      EXPECT_EQ(Contents(*array), before);
      EXPECT_EQ(value->RetainCount(), count);
      EXPECT_EQ(allocator.LiveBlocks(), blocks);
    }
  }
  allocator.Heal();
  auto first = MakeValue(0);
  array->InsertValueAtIndex(0, *first);
  EXPECT_EQ(&array->GetValueAtIndex(0), first.Get());
}

TEST(ArrayMemoryTest, EqualityAllocatesNothing) {
  CountingAllocator allocator;
  auto left = Make<Array>();
  auto right = Make<Array>();
  for (auto *array : {&left, &right}) {
    (*array)->AddValue(*MakeValue("a string longer than any short string buffer"));
    (*array)->AddValue(*ArrayOf({1, 2}));
  }
  const std::uint64_t attempts = allocator.Attempts();
  EXPECT_TRUE(*left == *right);
  EXPECT_TRUE(static_cast<const Value &>(*left) == *right);
  EXPECT_EQ(allocator.Attempts(), attempts);
}

} // namespace
