//===- object_test.cpp - Wrapped framework objects ------------------------===//

#include "support/Holder.h"
#include "support/Tracked.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <typeinfo>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::Make;
using CollectionTest::Tracked;

namespace {

const Value &AsValue(const Value &value) { return value; }

// An Object that answers a chosen object from ObjectValue, to show that
// equality asks both sides through the virtual accessor.
class Redirected : public Collection::Object {
public:
  Redirected(const Runtime::Object &wrapped, const Runtime::Object &answer)
      : Collection::Object(wrapped), m_answer(answer) {}
  const Runtime::Object &ObjectValue() const override { return m_answer; }

protected:
  ~Redirected() override = default;

private:
  const Runtime::Object &m_answer;
};

class ObjectTest : public ::testing::Test {
protected:
  int deaths = 0;
  Runtime::Ref<Tracked> first{new Tracked(&deaths)};
  Runtime::Ref<Tracked> second{new Tracked(&deaths)};
};

TEST_F(ObjectTest, HoldsOneReferenceForItsWholeLife) {
  {
    auto wrapper = Make<Collection::Object>(*first);
    EXPECT_EQ(first->RetainCount(), 2u);
    EXPECT_EQ(&wrapper->ObjectValue(), first.Get());
    EXPECT_EQ(&wrapper->operator const Runtime::Object &(), first.Get());
    EXPECT_EQ(wrapper->RetainCount(), 1u);
  }
  EXPECT_EQ(first->RetainCount(), 1u);

  // The wrapper alone keeps the object alive.
  Tracked *only = first.Get();
  auto wrapper = Make<Collection::Object>(*only);
  first.Reset();
  EXPECT_EQ(deaths, 0);
  EXPECT_EQ(&wrapper->ObjectValue(), only);
  wrapper.Reset();
  EXPECT_EQ(deaths, 1);
}

TEST_F(ObjectTest, ACopyIsANewValueWithItsOwnReferenceOnTheObject) {
  auto original = Make<Collection::Object>(*first);
  {
    auto copy = Make<Collection::Object>(*original);
    EXPECT_EQ(first->RetainCount(), 3u);
    EXPECT_EQ(copy->RetainCount(), 1u);
    EXPECT_EQ(original->RetainCount(), 1u);
    EXPECT_EQ(&copy->ObjectValue(), first.Get());
  }
  EXPECT_EQ(first->RetainCount(), 2u);
}

TEST_F(ObjectTest, AssignmentMovesTheReferenceToTheNewObject) {
  auto target = Make<Collection::Object>(*first);
  auto source = Make<Collection::Object>(*second);
  *target = *source;
  EXPECT_EQ(first->RetainCount(), 1u);
  EXPECT_EQ(second->RetainCount(), 3u);
  EXPECT_EQ(&target->ObjectValue(), second.Get());
  EXPECT_EQ(target->RetainCount(), 1u); // the value's own count stays

  // Losing the last reference through assignment destroys the old object.
  auto back = Make<Collection::Object>(*first);
  first.Reset();
  *back = *source;
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(second->RetainCount(), 4u);
}

TEST_F(ObjectTest, SelfAndSameObjectAssignmentChangeNoCount) {
  auto a = Make<Collection::Object>(*first);
  auto b = Make<Collection::Object>(*first);
  Collection::Object &self = *a;
  *a = self;
  EXPECT_EQ(first->RetainCount(), 3u);
  *a = *b;
  EXPECT_EQ(first->RetainCount(), 3u);
  EXPECT_EQ(&a->ObjectValue(), first.Get());
}

TEST_F(ObjectTest, AssigningAValueKeptAliveOnlyByTheOldObject) {
  // `inner` wraps `second` and is kept alive only by `outer`'s reference;
  // assigning it to `outer` drops that reference while `inner` is read.
  auto inner = Make<Collection::Object>(*second);
  auto outer = Make<Collection::Object>(static_cast<const Runtime::Object &>(*inner));
  Collection::Object &source = *inner;
  inner.Reset();
  *outer = source;
  EXPECT_EQ(&outer->ObjectValue(), second.Get());
  EXPECT_EQ(second->RetainCount(), 2u);
}

TEST_F(ObjectTest, EqualityIsIdentityOfTheWrappedObjects) {
  auto a = Make<Collection::Object>(*first);
  auto b = Make<Collection::Object>(*first);
  auto c = Make<Collection::Object>(*second);
  EXPECT_TRUE(*a == *b);
  EXPECT_TRUE(AsValue(*a) == AsValue(*b));
  EXPECT_TRUE(AsValue(*b) == AsValue(*a));
  EXPECT_FALSE(AsValue(*a) == AsValue(*c));
  EXPECT_TRUE(AsValue(*a) != AsValue(*c));

  auto number = Make<Number>(1L);
  auto wrappedNumber = Make<Collection::Object>(static_cast<const Runtime::Object &>(*number));
  EXPECT_FALSE(AsValue(*wrappedNumber) == *number);
  EXPECT_FALSE(AsValue(*number) == *wrappedNumber);
  EXPECT_FALSE(AsValue(*a) == Value::Null());
  EXPECT_FALSE(Value::Null() == *a);
}

TEST_F(ObjectTest, EqualityAsksBothSidesThroughObjectValue) {
  auto plain = Make<Collection::Object>(*first);
  auto redirected = Make<Redirected>(*second, *first);
  EXPECT_TRUE(AsValue(*plain) == AsValue(*redirected));
  EXPECT_TRUE(AsValue(*redirected) == AsValue(*plain));
  EXPECT_FALSE(AsValue(*Make<Collection::Object>(*second)) == AsValue(*redirected));
}

TEST_F(ObjectTest, PrintsTheDynamicTypeNameOfTheWrappedObject) {
  auto wrapper = Make<Collection::Object>(*first);
  const std::string expected = std::string("<") + typeid(Tracked).name() + ">";
  EXPECT_EQ(wrapper->ToString(), expected);

  std::ostringstream os;
  os << std::hex << std::showbase;
  const auto flags = os.flags();
  wrapper->Print(os);
  EXPECT_EQ(os.str(), expected);
  EXPECT_EQ(os.flags(), flags);
}

TEST_F(ObjectTest, WrapsValuesOfTheModelToo) {
  auto text = Make<String>(std::string("inner"));
  const Runtime::Object &asObject = text->ObjectValue(); // a plain value answers itself
  auto wrapper = Make<Collection::Object>(asObject);
  EXPECT_EQ(text->RetainCount(), 2u);
  EXPECT_EQ(&wrapper->ObjectValue(), static_cast<const Runtime::Object *>(text.Get()));
  EXPECT_EQ(wrapper->ToString(), std::string("<") + typeid(String).name() + ">");
  EXPECT_EQ(wrapper->StringValue(), ""); // the wrapper does not read through

  // A wrapper of a wrapper names the inner wrapper's class.
  auto twice = Make<Collection::Object>(static_cast<const Runtime::Object &>(*wrapper));
  EXPECT_EQ(twice->ToString(), std::string("<") + typeid(Collection::Object).name() + ">");
}

TEST_F(ObjectTest, TheOtherAccessorsGiveTheDefaults) {
  auto wrapper = Make<Collection::Object>(*first);
  EXPECT_FALSE(wrapper->IsNull());
  EXPECT_FALSE(wrapper->BoolValue());
  EXPECT_EQ(wrapper->IntValue(), 0);
  EXPECT_EQ(wrapper->StringValue(), "");
  EXPECT_EQ(wrapper->DataValue().size(), 0u);
  EXPECT_EQ(wrapper->PointerValue(), nullptr);
  EXPECT_EQ(wrapper->Count(), 0u);
  EXPECT_EQ(&(*wrapper)["x"], &Value::Null());
}

} // namespace
