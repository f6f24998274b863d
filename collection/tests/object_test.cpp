//===- object_test.cpp - Wrapped framework objects ------------------------===//

#include "support/Holder.h"
#include "support/Tracked.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

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

TEST_F(ObjectTest, EveryWrapperAndCopyHoldsOneReferenceForItsWholeLife) {
  {
    auto wrapper = Make<Collection::Object>(*first);
    auto copy = Make<Collection::Object>(*wrapper);
    EXPECT_EQ(first->RetainCount(), 3u);
    EXPECT_EQ(copy->RetainCount(), 1u);
    EXPECT_EQ(wrapper->RetainCount(), 1u);
    EXPECT_EQ(&copy->ObjectValue(), first.Get());
    EXPECT_EQ(&wrapper->operator const Runtime::Object &(), first.Get());
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

TEST_F(ObjectTest, AssignmentMovesTheReferenceToTheNewObject) {
  auto target = Make<Collection::Object>(*first);
  auto source = Make<Collection::Object>(*second);
  *target = *source;
  EXPECT_EQ(first->RetainCount(), 1u);
  EXPECT_EQ(second->RetainCount(), 3u);
  EXPECT_EQ(&target->ObjectValue(), second.Get());
  EXPECT_EQ(target->RetainCount(), 1u); // the value's own count stays

  // Self and same-object assignment change no count.
  Collection::Object &self = *target;
  *target = self;
  *target = *source;
  EXPECT_EQ(second->RetainCount(), 3u);

  // Losing the last reference through assignment destroys the old object.
  auto back = Make<Collection::Object>(*first);
  first.Reset();
  *back = *source;
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(second->RetainCount(), 4u);
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

TEST_F(ObjectTest, EqualityIsIdentityOfTheObjectsBothSidesAnswer) {
  auto a = Make<Collection::Object>(*first);
  auto b = Make<Collection::Object>(*first);
  auto c = Make<Collection::Object>(*second);
  EXPECT_TRUE(*a == *b);
  EXPECT_FALSE(*a == *c);
  EXPECT_TRUE(AsValue(*a) == AsValue(*b));
  EXPECT_TRUE(AsValue(*a) != AsValue(*c));
  // Both sides are asked through the virtual ObjectValue.
  auto redirected = Make<Redirected>(*second, *first);
  EXPECT_TRUE(AsValue(*a) == AsValue(*redirected));
  EXPECT_TRUE(AsValue(*redirected) == AsValue(*a));
  EXPECT_FALSE(AsValue(*c) == AsValue(*redirected));
}

// How a wrapper prints is in value_test.cpp.
TEST_F(ObjectTest, WrapsValuesAndWrappersToo) {
  auto text = Make<String>(std::string("inner"));
  auto wrapper = Make<Collection::Object>(text->ObjectValue()); // a plain value answers itself
  EXPECT_EQ(text->RetainCount(), 2u);
  EXPECT_EQ(&wrapper->ObjectValue(), static_cast<const Runtime::Object *>(text.Get()));
  // A wrapper of a wrapper names the inner wrapper's class.
  auto twice = Make<Collection::Object>(static_cast<const Runtime::Object &>(*wrapper));
  EXPECT_EQ(twice->ToString(), std::string("<") + typeid(Collection::Object).name() + ">");
}

} // namespace
