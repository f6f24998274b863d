//===- make_value_test.cpp - Value factories ------------------------------===//

#include "support/CountingAllocator.h"
#include "support/FailingNew.h"
#include "support/Tracked.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::CountingAllocator;
using CollectionTest::Tracked;
using Handle = Runtime::Ref<const Value>;

namespace {

const unsigned char kBytes[] = {0xde, 0xad, 0xbe, 0xef, 0x01};

// The number a factory made, or a failure naming what was made instead.
const Number &AsNumber(const Handle &value) {
  const Number *number = dynamic_cast<const Number *>(value.Get());
  if (number == nullptr)
    throw std::runtime_error("not a Number: " + value->ToString());
  return *number;
}

template <typename Kind> bool Is(const Handle &value) { return dynamic_cast<const Kind *>(value.Get()) != nullptr; }

struct Factory {
  const char *name;
  std::function<Handle()> make;
};

// One call of every overload. The arguments that own memory are made with
// the fixture, before a test installs its counting allocator, so that the
// calls allocate only for the values themselves.
class EveryFactoryTest : public ::testing::Test {
protected:
  int deaths = 0;
  Runtime::Ref<Tracked> object{new Tracked(&deaths)};
  const Container::basic_data<unsigned char> bytes{kBytes, sizeof kBytes};
  const std::string text = std::string(40, 'x');
  int pointee = 0;
  const std::vector<Factory> factories = {
      {"bool", [] { return MakeValue(true); }},
      {"short", [] { return MakeValue(static_cast<short>(-1)); }},
      {"unsigned short", [] { return MakeValue(static_cast<unsigned short>(65535)); }},
      {"int", [] { return MakeValue(-7); }},
      {"long", [] { return MakeValue(-1L); }},
      {"unsigned int", [] { return MakeValue(7u); }},
      {"unsigned long", [] { return MakeValue(7ul); }},
      {"float", [] { return MakeValue(0.5f); }},
      {"double", [] { return MakeValue(0.1); }},
      {"std::string", [this] { return MakeValue(text); }},
      {"const char*", [] { return MakeValue("a text longer than any short-string buffer"); }},
      {"basic_data", [this] { return MakeValue(bytes); }},
      {"void*", [this] { return MakeValue(static_cast<void *>(&pointee)); }},
      {"Runtime::Object", [this] { return MakeValue(*object); }},
  };
};

TEST(MakeValueTest, BooleansAreNewObjectsEveryCall) {
  Handle a = MakeValue(true);
  Handle b = MakeValue(true);
  ASSERT_TRUE(Is<Boolean>(a));
  EXPECT_NE(a.Get(), b.Get());
  EXPECT_NE(a.Get(), static_cast<const Value *>(&Boolean::True()));
  EXPECT_TRUE(*a == Boolean::True());
  EXPECT_TRUE(*MakeValue(false) == Boolean::False());
  EXPECT_NE(MakeValue(false).Get(), static_cast<const Value *>(&Boolean::False()));
  EXPECT_EQ(a->RetainCount(), 1u);
}

TEST(MakeValueTest, SignedAndShortIntegersMakeInt) {
  struct Case {
    Handle value;
    long expected;
  };
  const Case cases[] = {
      {MakeValue(static_cast<short>(-1)), -1},
      {MakeValue(static_cast<short>(-32768)), -32768},
      {MakeValue(static_cast<unsigned short>(65535)), 65535}, // signed Int, not UnsignedInt
      {MakeValue(-2147483647 - 1), -2147483647L - 1},
      {MakeValue(-1L), -1},
      {MakeValue(2147483647L), 2147483647L},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(AsNumber(c.value).Type(), Number::Int);
    EXPECT_EQ(c.value->IntValue(), c.expected);
  }
}

TEST(MakeValueTest, UnsignedIntegersMakeUnsignedInt) {
  EXPECT_EQ(AsNumber(MakeValue(65535u)).Type(), Number::UnsignedInt);
  EXPECT_EQ(MakeValue(65535u)->UnsignedIntValue(), 65535u);
  EXPECT_EQ(AsNumber(MakeValue(4294967295u)).Type(), Number::UnsignedInt);
  EXPECT_EQ(MakeValue(4294967295u)->IntValue(), -1);
  EXPECT_EQ(AsNumber(MakeValue(4294967295ul)).Type(), Number::UnsignedInt);
  EXPECT_EQ(MakeValue(4294967295ul)->UnsignedIntValue(), 4294967295ul);
}

TEST(MakeValueTest, LongsBehaveAsTheir32BitCounterparts) {
  // Where long is 64 bits wide only the low 32 bits count, as for an int.
  const long wide = static_cast<long>(0x100000005LL);
  const unsigned long uwide = static_cast<unsigned long>(0x1FFFFFFFFULL);
  EXPECT_EQ(MakeValue(wide)->IntValue(), 5);
  EXPECT_TRUE(*MakeValue(wide) == *MakeValue(5));
  EXPECT_EQ(MakeValue(uwide)->UnsignedIntValue(), 4294967295ul);
  EXPECT_TRUE(*MakeValue(uwide) == *MakeValue(4294967295u));
  EXPECT_EQ(MakeValue(-1L)->ToString(), MakeValue(-1)->ToString());
}

TEST(MakeValueTest, FloatingNumbersKeepTheirType) {
  Handle f = MakeValue(0.1f);
  Handle d = MakeValue(0.1);
  EXPECT_EQ(AsNumber(f).Type(), Number::Float);
  EXPECT_EQ(f->FloatValue(), 0.1f);
  EXPECT_EQ(AsNumber(d).Type(), Number::Double);
  EXPECT_EQ(d->DoubleValue(), 0.1);
}

TEST(MakeValueTest, TextsAreCopied) {
  std::string source = "apples";
  Handle fromString = MakeValue(source);
  source[0] = 'X';
  ASSERT_TRUE(Is<String>(fromString));
  EXPECT_EQ(fromString->StringValue(), "apples");

  EXPECT_EQ(MakeValue(std::string("a\0b", 3))->StringValue(), std::string("a\0b", 3));
  EXPECT_EQ(MakeValue("a\0b")->StringValue(), "a"); // up to the first zero byte

  for (Handle empty : {MakeValue(std::string()), MakeValue("")}) {
    ASSERT_TRUE(Is<String>(empty));
    EXPECT_EQ(empty->StringValue(), "");
    EXPECT_FALSE(empty->BoolValue());
  }
}

TEST(MakeValueTest, BuffersAreCopied) {
  Container::basic_data<unsigned char> source(kBytes, sizeof kBytes);
  Handle value = MakeValue(source);
  ASSERT_TRUE(Is<Data>(value));
  const Data &data = dynamic_cast<const Data &>(*value);
  EXPECT_NE(data.Bytes(), static_cast<const void *>(source.data()));
  source[0] = 0;
  EXPECT_EQ(value->DataValue(), Container::basic_data<unsigned char>(kBytes, sizeof kBytes));
  EXPECT_EQ(dynamic_cast<const Data &>(*MakeValue(Container::basic_data<unsigned char>())).Length(), 0u);
}

TEST(MakeValueTest, PointersAreStoredAsTheirOwnBytes) {
  int target = 0;
  void *pointer = &target;
  Handle value = MakeValue(pointer);
  ASSERT_TRUE(Is<Data>(value));
  const Data &data = dynamic_cast<const Data &>(*value);
  EXPECT_EQ(data.Length(), sizeof(void *));
  EXPECT_EQ(std::memcmp(data.Bytes(), &pointer, sizeof pointer), 0);
  EXPECT_EQ(value->PointerValue(), pointer);
  EXPECT_EQ(static_cast<void *>(*value), pointer);

  Handle null = MakeValue(static_cast<void *>(nullptr));
  const Data &nullData = dynamic_cast<const Data &>(*null);
  ASSERT_EQ(nullData.Length(), sizeof(void *));
  const unsigned char zeros[sizeof(void *)] = {};
  EXPECT_EQ(std::memcmp(nullData.Bytes(), zeros, sizeof zeros), 0);
  EXPECT_EQ(null->PointerValue(), nullptr);
}

TEST(MakeValueTest, AFrameworkObjectGainsOneReferenceUntilTheLastHandleGoes) {
  int deaths = 0;
  Runtime::Ref<Tracked> object(new Tracked(&deaths));
  Handle value = MakeValue(*object);
  ASSERT_TRUE(Is<Collection::Object>(value));
  EXPECT_EQ(&value->ObjectValue(), object.Get());
  EXPECT_EQ(object->RetainCount(), 2u);
  Handle copy = value;
  EXPECT_EQ(object->RetainCount(), 2u); // handles count the value, not the object
  value.Reset();
  EXPECT_EQ(object->RetainCount(), 2u);
  copy.Reset();
  EXPECT_EQ(object->RetainCount(), 1u);
  object.Reset();
  EXPECT_EQ(deaths, 1);
}

TEST_F(EveryFactoryTest, MakesANewValueWithOneReferenceEveryCall) {
  for (const Factory &factory : factories) {
    SCOPED_TRACE(factory.name);
    Handle a = factory.make();
    Handle b = factory.make();
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_TRUE(*a == *b);
    EXPECT_EQ(a->RetainCount(), 1u);
  }
}

TEST_F(EveryFactoryTest, TakesTheValuesBlockFromTheNativeAllocatorAndGivesItBackOnTheLastRelease) {
  CountingAllocator allocator;
  for (const Factory &factory : factories) {
    SCOPED_TRACE(factory.name);
    const std::uint64_t freesBefore = allocator.Frees();
    Handle value = factory.make();
    ASSERT_TRUE(value);
    EXPECT_TRUE(allocator.Owns(dynamic_cast<const void *>(value.Get())));
    EXPECT_GT(allocator.LiveBlocks(), 0u);
    Handle second = value;
    value.Reset();
    EXPECT_GT(allocator.LiveBlocks(), 0u); // a handle is left
    second.Reset();
    EXPECT_EQ(allocator.LiveBlocks(), 0u);
    EXPECT_GT(allocator.Frees(), freesBefore);
  }
  EXPECT_EQ(object->RetainCount(), 1u);
}

TEST(MakeValueMemoryTest, AValueInAnArraySurvivesItsHandleAndDiesWhenTheArrayLetsGo) {
  int deaths = 0;
  Runtime::Ref<Tracked> object(new Tracked(&deaths));
  CountingAllocator allocator;
  Runtime::Ref<Array> array(new Array());
  Handle number = MakeValue(42);
  Handle wrapper = MakeValue(*object);
  const void *numberBlock = number.Get();
  array->AddValue(*number);
  array->AddValue(*wrapper);
  number.Reset();
  wrapper.Reset();

  EXPECT_TRUE(allocator.Owns(numberBlock));
  EXPECT_EQ(array->GetValueAtIndex(0).IntValue(), 42);
  EXPECT_EQ(object->RetainCount(), 2u);

  array->RemoveValueAtIndex(0);
  EXPECT_FALSE(allocator.Owns(numberBlock));
  EXPECT_EQ(object->RetainCount(), 2u);
  array.Reset(); // the wrapper dies with the array and lets the object go
  EXPECT_EQ(object->RetainCount(), 1u);
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST_F(EveryFactoryTest, AnswersAnEmptyHandleWhenTheValueGetsNoBlock) {
  CountingAllocator allocator;
  for (const Factory &factory : factories) {
    SCOPED_TRACE(factory.name);
    allocator.FailNth(1);
    Handle value;
    EXPECT_NO_THROW(value = factory.make());
    EXPECT_FALSE(value);
    EXPECT_EQ(allocator.LiveBlocks(), 0u);
  }
  EXPECT_EQ(allocator.Failures(), factories.size());
  EXPECT_EQ(object->RetainCount(), 1u); // the object was never wrapped
}

TEST(MakeValueMemoryTest, AFailedByteCopyGivesTheValuesBlockBack) {
  CountingAllocator allocator;
  int target = 0;
  const std::function<Handle()> copies[] = {
      [] { return MakeValue(Container::basic_data<unsigned char>(kBytes, sizeof kBytes)); },
      [&target] { return MakeValue(static_cast<void *>(&target)); },
  };
  for (const auto &make : copies) {
    // For the buffer argument the first block is the argument itself.
    const std::uint64_t allocationsBefore = allocator.Allocations();
    Handle probe = make();
    const std::uint64_t blocks = allocator.Allocations() - allocationsBefore;
    probe.Reset();

    allocator.FailNth(blocks); // the last block a call takes is the value's copy of the bytes
    EXPECT_THROW(make(), std::bad_alloc);
    EXPECT_EQ(allocator.LiveBlocks(), 0u);
  }
}

TEST(MakeValueMemoryTest, AFailedTextCopyGivesTheValuesBlockBack) {
  if (!CollectionTest::FailingNew::ReachesTheLibrary())
    GTEST_SKIP() << "the standard operator new cannot be replaced for the library's module here";
  const std::string text(64, 't'); // beyond any short-string buffer
  CountingAllocator allocator;
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which == 0 ? "std::string" : "const char*");
    const int failuresBefore = CollectionTest::FailingNew::Failures();
    CollectionTest::FailingNew::FailNextOfSize(text.size() + 1);
    EXPECT_THROW(which == 0 ? MakeValue(text) : MakeValue(text.c_str()), std::bad_alloc);
    CollectionTest::FailingNew::Heal();
    EXPECT_EQ(CollectionTest::FailingNew::Failures(), failuresBefore + 1);
    EXPECT_EQ(allocator.LiveBlocks(), 0u);
    EXPECT_EQ(allocator.Frees(), allocator.Allocations());
  }
  EXPECT_GE(allocator.Allocations(), 1u); // the std::string case took and gave back a block
}

} // namespace
