//===- array_test.cpp - Ordered containers --------------------------------===//

#include "support/CountingAllocator.h"
#include "support/Holder.h"
#include "support/LifeProbe.h"
#include "support/ValueGraph.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <type_traits>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::CountingAllocator;
using CollectionTest::ElementsOf;
using CollectionTest::LifeProbe;
using CollectionTest::Make;
using CollectionTest::MiscountedValues;
using Elements = std::vector<const Value *>;

namespace {

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

// After each step the array holds the listed values, and every value's
// count is one per handle and one per element that holds it.
TEST_F(ArrayTest, EveryMutatorKeepsTheOrderAndOneReferencePerElement) {
  const Value *A = a.Get(), *B = b.Get(), *C = c.Get(), *V = v.Get();
  const struct {
    const char *step;
    std::function<void()> apply;
    Elements expected;
  } steps[] = {
      {"add a", [&] { array->AddValue(*a); }, {A}},
      {"add a again", [&] { array->AddValue(*a); }, {A, A}},
      {"add b", [&] { array->AddValue(*b); }, {A, A, B}},
      {"insert v at 0", [&] { array->InsertValueAtIndex(0, *v); }, {V, A, A, B}},
      {"insert c at 2", [&] { array->InsertValueAtIndex(2, *c); }, {V, A, C, A, B}},
      {"insert c at the end", [&] { array->InsertValueAtIndex(5, *c); }, {V, A, C, A, B, C}},
      {"replace 0 by itself", [&] { array->ReplaceValueAtIndex(0, *v); }, {V, A, C, A, B, C}},
      {"replace 1 by b", [&] { array->ReplaceValueAtIndex(1, *b); }, {V, B, C, A, B, C}},
      {"remove 0", [&] { array->RemoveValueAtIndex(0); }, {B, C, A, B, C}},
      {"remove 3", [&] { array->RemoveValueAtIndex(3); }, {B, C, A, C}},
      {"remove the last", [&] { array->RemoveLastValue(); }, {B, C, A}},
      // Indexes past the end are outside the contract: nothing changes.
      {"insert past the end", [&] { array->InsertValueAtIndex(4, *v); }, {B, C, A}},
      {"replace at the end", [&] { array->ReplaceValueAtIndex(3, *v); }, {B, C, A}},
      {"remove at the end", [&] { array->RemoveValueAtIndex(3); }, {B, C, A}},
      {"insert at 2^32-1", [&] { array->InsertValueAtIndex(4294967295ul, *v); }, {B, C, A}},
      {"replace at 2^32-1", [&] { array->ReplaceValueAtIndex(4294967295ul, *v); }, {B, C, A}},
      {"remove at 2^32-1", [&] { array->RemoveValueAtIndex(4294967295ul); }, {B, C, A}},
      {"remove all",
       [&] {
         for (int i = 0; i < 3; ++i)
           array->RemoveLastValue();
       },
       {}},
      {"remove the last of none", [&] { array->RemoveLastValue(); }, {}},
      {"add b for the end", [&] { array->AddValue(*b); }, {B}},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.step);
    step.apply();
    EXPECT_EQ(ElementsOf(*array), step.expected);
    EXPECT_EQ(MiscountedValues({array.Get(), A, B, C, V}), "");
  }
  array.Reset();
  EXPECT_EQ(MiscountedValues({A, B, C, V}), "");
}

TEST_F(ArrayTest, LookupsOutsideTheArrayAnswerNull) {
  EXPECT_EQ(&array->GetValueAtIndex(0), &Value::Null());
  array->AddValue(*a);
  EXPECT_EQ(&(*array)[0], a.Get());
  EXPECT_EQ(&array->GetValueAtIndex(1), &Value::Null());
  EXPECT_EQ(&(*array)[-1], &Value::Null());
  EXPECT_EQ(&array->GetValueAtIndex(4294967295ul), &Value::Null());
  EXPECT_EQ(&array->GetValueForKey("0"), &Value::Null());
}

// Where unsigned long is wider than 32 bits, an index that does not fit 32
// bits is beyond every array: it neither wraps onto a small index nor lets a
// mutator act there.
TEST_F(ArrayTest, IndexesBeyond32BitsAreOutOfRange) {
  if (sizeof(unsigned long) <= 4)
    GTEST_SKIP() << "unsigned long is 32 bits wide";
  array->AddValue(*a);
  array->AddValue(*b);
  const std::uint64_t wide[] = {std::uint64_t{1} << 32, (std::uint64_t{1} << 32) + 1, (std::uint64_t{1} << 32) + 2,
                                ~std::uint64_t{0}};
  for (std::uint64_t index : wide) {
    SCOPED_TRACE(index);
    const unsigned long at = static_cast<unsigned long>(index);
    EXPECT_EQ(&array->GetValueAtIndex(at), &Value::Null());
    array->InsertValueAtIndex(at, *v);
    array->ReplaceValueAtIndex(at, *v);
    array->RemoveValueAtIndex(at);
    EXPECT_EQ(ElementsOf(*array), (Elements{a.Get(), b.Get()}));
    EXPECT_EQ(v->RetainCount(), 1ul);
  }
}

// Range-for walks the stored elements in index order, by reference; the
// iterators are random access over the storage.
TEST_F(ArrayTest, RangeForWalksTheElementsInOrder) {
  static_assert(std::is_same<std::iterator_traits<Array::const_iterator>::iterator_category,
                             std::random_access_iterator_tag>::value,
                "");
  static_assert(std::is_same<std::iterator_traits<Array::const_iterator>::reference, const Value &>::value, "");
  Elements walked;
  for (const Value &value : *array)
    walked.push_back(&value);
  EXPECT_TRUE(walked.empty());
  for (const auto &value : {a, b, c, a})
    array->AddValue(*value);
  for (const Value &value : *array)
    walked.push_back(&value);
  EXPECT_EQ(walked, ElementsOf(*array));
  const Array &constant = *array;
  Array::const_iterator first = constant.begin(), last = constant.end();
  EXPECT_EQ(last - first, 4);
  EXPECT_EQ(&first[2], c.Get());
  EXPECT_EQ(&*(last - 1), a.Get());
  EXPECT_EQ(first->StringValue(), "a");
  EXPECT_EQ(std::count_if(first, last, [&](const Value &value) { return &value == a.Get(); }), 2);
  EXPECT_TRUE(first < last && first + 4 == last && ++first == constant.begin() + 1);
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

  auto nested = [](long leaf) {
    auto outer = Make<Array>();
    outer->AddValue(*ArrayOf({0}));
    outer->AddValue(*ArrayOf({leaf, 5}));
    return outer;
  };
  EXPECT_TRUE(*nested(1) == *nested(1));
  EXPECT_TRUE(static_cast<const Value &>(*nested(1)) == *nested(1));
  EXPECT_FALSE(*nested(1) == *nested(2));
  // Kinds decide inside too: 1 and true are not equal.
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

TEST(ArrayMemoryTest, ElementsLiveInNativeMemoryAndEqualityAllocatesNothing) {
  CountingAllocator allocator;
  auto left = Make<Array>();
  auto right = Make<Array>();
  auto value = MakeValue(1);
  const std::size_t blocks = allocator.LiveBlocks();
  left->AddValue(*value);
  EXPECT_EQ(allocator.LiveBlocks(), blocks + 1);
  right->AddValue(*value);
  for (auto *array : {&left, &right}) {
    (*array)->AddValue(*MakeValue("a string longer than any short string buffer"));
    (*array)->AddValue(*ArrayOf({1, 2}));
  }
  const std::uint64_t attempts = allocator.Attempts();
  EXPECT_TRUE(*left == *right);
  EXPECT_TRUE(static_cast<const Value &>(*left) == *right);
  EXPECT_EQ(allocator.Attempts(), attempts);
  left.Reset();
  right.Reset();
  value.Reset();
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

} // namespace
