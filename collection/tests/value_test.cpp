//===- value_test.cpp - The root interface and the null value -------------===//

#include "support/CountingAllocator.h"
#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

using namespace Zorbin::Tessel;
using Collection::Value;
using CollectionTest::Make;

namespace {

// A kind that overrides nothing: every answer is the root's default.
class Plain : public Value {
public:
  Plain() = default;

protected:
  ~Plain() override = default;
};

// A kind that answers only IntValue and UnsignedIntValue, to observe the
// conversions the root builds on them.
class Wide : public Value {
public:
  Wide(long i, unsigned long u) : m_int(i), m_unsigned(u) {}
  long IntValue() const override { return m_int; }
  unsigned long UnsignedIntValue() const override { return m_unsigned; }

protected:
  ~Wide() override = default;

private:
  long m_int;
  unsigned long m_unsigned;
};

// A kind that records which index and key it was asked for.
class Recorder : public Value {
public:
  mutable unsigned long lastIndex = 0;
  mutable std::string lastKey;
  const Value &GetValueAtIndex(unsigned long index) const override {
    lastIndex = index;
    return *this;
  }
  const Value &GetValueForKey(const std::string &key) const override {
    lastKey = key;
    return *this;
  }

protected:
  ~Recorder() override = default;
};

TEST(NullValueTest, AnswersEveryAccessorWithItsDefault) {
  const Value &null = Value::Null();
  EXPECT_TRUE(null.IsNull());
  EXPECT_FALSE(null.BoolValue());
  EXPECT_EQ(null.IntValue(), 0);
  EXPECT_EQ(null.UnsignedIntValue(), 0u);
  EXPECT_EQ(null.FloatValue(), 0.0f);
  EXPECT_EQ(null.DoubleValue(), 0.0);
  EXPECT_EQ(null.StringValue(), "");
  EXPECT_EQ(null.DataValue().size(), 0u);
  EXPECT_EQ(null.DataValue().data(), nullptr);
  EXPECT_EQ(null.PointerValue(), nullptr);
  EXPECT_EQ(null.Count(), 0u);
  EXPECT_EQ(&null.ObjectValue(), static_cast<const Runtime::Object *>(&null));
  EXPECT_TRUE(!null);
  EXPECT_EQ(static_cast<std::string>(null), "");
}

TEST(NullValueTest, PrintsNullButItsTextIsEmpty) {
  EXPECT_EQ(Value::Null().StringValue(), "");
  EXPECT_EQ(Value::Null().ToString(), "(null)");
  std::ostringstream os;
  Value::Null().Print(os);
  EXPECT_EQ(os.str(), "(null)");
}

TEST(NullValueTest, EveryLookupAnswersTheNullValueItself) {
  const Value &null = Value::Null();
  EXPECT_EQ(&null[0], &null);
  EXPECT_EQ(&null[-1], &null);
  EXPECT_EQ(&null["a.b"], &null);
  EXPECT_EQ(&null.GetValueAtIndex(7), &null);
  EXPECT_EQ(&null.GetValueForKey(""), &null);
  EXPECT_EQ(&Value::Null(), &Value::Null());
}

TEST(NullValueTest, EqualityAsksTheOtherSideIsNull) {
  auto truth = Make<Collection::Boolean>(true);
  EXPECT_TRUE(Value::Null() == Value::Null());
  EXPECT_FALSE(Value::Null() != Value::Null());
  EXPECT_FALSE(Value::Null() == *truth);
  EXPECT_FALSE(*truth == Value::Null());
  EXPECT_TRUE(*truth != Value::Null());
}

TEST(NullValueTest, LogWritesItsTextAndANewlineToStandardError) {
  std::ostringstream captured;
  std::streambuf *saved = std::cerr.rdbuf(captured.rdbuf());
  Value::Null().Log();
  std::cerr.rdbuf(saved);
  EXPECT_EQ(captured.str(), "(null)\n");
}

TEST(StaticValuesTest, SurviveAnyNumberOfRetainReleasePairs) {
  const Value *statics[] = {&Value::Null(), &Collection::Boolean::True(), &Collection::Boolean::False()};
  for (const Value *value : statics) {
    unsigned long before = value->RetainCount();
    for (int i = 0; i < 100; ++i) {
      value->Retain();
      value->Release();
    }
    {
      Runtime::Ref<const Value> a(*value);
      Runtime::Ref<const Value> b = a;
      a = b;
    }
    EXPECT_EQ(value->RetainCount(), before);
  }
  EXPECT_TRUE(Value::Null().IsNull());
  EXPECT_TRUE(Collection::Boolean::True().BoolValue());
}

TEST(RootDefaultsTest, AClientKindThatOverridesNothing) {
  auto plain = Make<Plain>();
  auto other = Make<Plain>();
  std::ostringstream os;
  plain->Print(os);
  EXPECT_EQ(os.str(), "(value)");
  EXPECT_EQ(plain->ToString(), "(value)");
  EXPECT_EQ(plain->StringValue(), "");
  EXPECT_FALSE(plain->IsNull());
  EXPECT_TRUE(*plain == *plain);
  EXPECT_FALSE(*plain == *other);
  EXPECT_TRUE(*plain != *other);
  EXPECT_FALSE(*plain == Value::Null());
  EXPECT_EQ(&(*plain)["x"], &Value::Null());
  EXPECT_EQ(&(*plain)[0], &Value::Null());
}

TEST(RootDefaultsTest, IndexingPassesTheIntegerAsUnsigned32AndTheKeyWhole) {
  auto recorder = Make<Recorder>();
  (*recorder)[-1];
  EXPECT_EQ(recorder->lastIndex, 4294967295ul);
  (*recorder)[5];
  EXPECT_EQ(recorder->lastIndex, 5ul);
  (*recorder)["view.zoom"];
  EXPECT_EQ(recorder->lastKey, "view.zoom");
  (*recorder)[""];
  EXPECT_EQ(recorder->lastKey, "");
}

TEST(RootDefaultsTest, ShortConversionsKeepTheLow16Bits) {
  auto wide = Make<Wide>(65537L, 65536ul);
  EXPECT_EQ(static_cast<short>(*wide), 1);
  EXPECT_EQ(static_cast<unsigned short>(*wide), 0);
  auto negative = Make<Wide>(-1L, 4294967295ul);
  EXPECT_EQ(static_cast<short>(*negative), -1);
  EXPECT_EQ(static_cast<unsigned short>(*negative), 65535);
  EXPECT_EQ(static_cast<int>(*negative), -1);
  EXPECT_EQ(static_cast<unsigned int>(*negative), 4294967295u);
}

TEST(ValueMemoryTest, ValuesComeFromTheNativeAllocatorAndGoBackOnLastRelease) {
  CollectionTest::CountingAllocator allocator;
  Collection::Boolean *value = new Collection::Boolean(true);
  EXPECT_TRUE(allocator.Owns(value));
  value->Retain();
  value->Release();
  EXPECT_TRUE(allocator.Owns(value));
  value->Release();
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
  EXPECT_EQ(allocator.Frees(), 1u);
}

TEST(ValueMemoryTest, ExhaustedAllocatorYieldsNullAndConstructsNothing) {
  CollectionTest::CountingAllocator allocator;
  allocator.FailFrom(1);
  Collection::String *value = new Collection::String("not made");
  EXPECT_EQ(value, nullptr);
  allocator.Heal();
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST(ValueMemoryTest, AThrowingConstructorGivesItsBlockBack) {
  struct Throwing : Value {
    Throwing() { throw std::bad_alloc(); }
  };
  CollectionTest::CountingAllocator allocator;
  EXPECT_THROW(new Throwing(), std::bad_alloc);
  EXPECT_EQ(allocator.Allocations(), 1u);
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

} // namespace
