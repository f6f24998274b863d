//===- runtime_test.cpp - Reference-counted objects and their handles -----===//

#include <Runtime/Object.h>
#include <Runtime/Ref.h>

#include <gtest/gtest.h>

#include <utility>

using Zorbin::Tessel::Runtime::Object;
using Zorbin::Tessel::Runtime::Ref;

namespace {

// Counts its own destructions.
class Tracked : public Object {
public:
  explicit Tracked(int *destroyed) : m_destroyed(destroyed) {}
  Ref<Tracked> next; // lets a test make the old object the only holder of the new one

protected:
  ~Tracked() override { ++*m_destroyed; }

private:
  int *m_destroyed;
};

class Derived : public Tracked {
public:
  using Tracked::Tracked;
};

TEST(ObjectTest, StartsWithOneReferenceDiesWithTheLastAndCopiesHaveTheirOwnCount) {
  int destroyed = 0;
  Tracked *object = new Tracked(&destroyed);
  EXPECT_EQ(object->RetainCount(), 1u);
  object->Retain();
  EXPECT_EQ(object->RetainCount(), 2u);
  Ref<Tracked> copy(new Tracked(*object));
  EXPECT_EQ(copy->RetainCount(), 1u);
  *copy = *object; // assignment leaves both counts alone
  EXPECT_EQ(copy->RetainCount(), 1u);
  object->Release();
  EXPECT_EQ(destroyed, 0);
  object->Release();
  EXPECT_EQ(destroyed, 1);
}

TEST(RefTest, AdoptsFreshObjectsAndRetainsExistingOnes) {
  int destroyed = 0;
  {
    Ref<Tracked> adopted(new Tracked(&destroyed));
    EXPECT_EQ(adopted->RetainCount(), 1u);
    Ref<Tracked> shared(*adopted);
    EXPECT_EQ(adopted->RetainCount(), 2u);
    Ref<const Object> base = adopted;
    EXPECT_EQ(adopted->RetainCount(), 3u);
    EXPECT_EQ(base.Get(), adopted.Get());
  }
  EXPECT_EQ(destroyed, 1);

  Ref<Tracked> empty;
  EXPECT_FALSE(empty);
  EXPECT_EQ(empty.Get(), nullptr);
  EXPECT_TRUE(empty == Ref<Tracked>(nullptr));
  Ref<Tracked> copy = empty;
  EXPECT_FALSE(copy);
}

TEST(RefTest, AssignmentRetainsTheNewObjectBeforeReleasingTheOld) {
  int destroyed = 0;
  Ref<Tracked> handle(new Tracked(&destroyed));
  Ref<Tracked> &alias = handle;
  handle = alias;
  handle = std::move(alias);
  EXPECT_EQ(handle->RetainCount(), 1u);
  Ref<Tracked> other(*handle);
  handle = other; // same object through another handle: +1 then -1
  EXPECT_EQ(handle->RetainCount(), 2u);
  other.Reset();

  // The new object is reachable only through the old one.
  handle->next = Ref<Tracked>(new Tracked(&destroyed));
  handle = handle->next;
  EXPECT_EQ(destroyed, 1);
  ASSERT_TRUE(handle);
  EXPECT_EQ(handle->RetainCount(), 1u);
}

TEST(RefTest, MovesTransferTheReference) {
  int destroyed = 0;
  Ref<Derived> derived(new Derived(&destroyed));
  Ref<Tracked> base(std::move(derived));
  EXPECT_FALSE(derived);
  EXPECT_EQ(base->RetainCount(), 1u);
  Ref<Tracked> target;
  target = std::move(base);
  EXPECT_FALSE(base);
  Tracked *raw = target.Detach();
  EXPECT_FALSE(target);
  EXPECT_EQ(raw->RetainCount(), 1u);
  raw->Release();
  EXPECT_EQ(destroyed, 1);
}

} // namespace
