//===- merge_test.cpp - Laying dictionaries over one another --------------===//

#include "support/CountingAllocator.h"
#include "support/Holder.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cctype>
#include <new>
#include <string>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::CountingAllocator;
using CollectionTest::Make;

namespace {

// Folds keys to lower case on the way in and on lookup, and counts the
// calls, so a test sees that merges store and look up through the virtual
// operations of the dictionary merged into.
class Folding : public Dictionary {
public:
  mutable int lookups = 0;
  int stores = 0;
  static std::string Lower(std::string key) {
    for (char &c : key)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
  }
  void SetValueForKey(const std::string &key, const Value &value) override {
    ++stores;
    Dictionary::SetValueForKey(Lower(key), value);
  }
  const Value &GetValueForKeyWithDefault(const std::string &key, const Value &fallback) const override {
    ++lookups;
    return Dictionary::GetValueForKeyWithDefault(Lower(key), fallback);
  }

protected:
  ~Folding() override = default;
};

Runtime::Ref<Dictionary> With(const std::string &key, const Value &value) {
  auto d = Make<Dictionary>();
  d->SetValueForKey(key, value);
  return d;
}

const Value &At(const Value &dictionary, const char *key) { return dictionary.GetValueForKey(key); }

TEST(SetDictionaryTest, TakesTheOtherEntriesSharedOrNothingForItself) {
  auto one = MakeValue(1);
  auto source = With("a", *one);
  source->SetValueForKey("b", *one);
  auto target = With("old", *one);
  target->SetDictionary(*target);
  EXPECT_EQ(target->Count(), 1u);
  EXPECT_EQ(one->RetainCount(), 4u);
  target->SetDictionary(*source);
  EXPECT_TRUE(*target == *source);
  EXPECT_TRUE(At(*target, "old").IsNull());
  EXPECT_EQ(&At(*target, "b"), one.Get());
  EXPECT_EQ(one->RetainCount(), 5u);
}

TEST(SetDictionaryTest, FromADictionaryOnlyThisOneHolds) {
  auto target = Make<Dictionary>();
  target->SetValueForKey("inner", *With("x", *MakeValue(1)));
  target->SetDictionary(dynamic_cast<const Dictionary &>(At(*target, "inner")));
  EXPECT_EQ(target->Count(), 1u);
  EXPECT_EQ(At(*target, "x").IntValue(), 1);
}

TEST(AddEntriesTest, OtherWinsOneLevelDeep) {
  auto mine = MakeValue("mine");
  auto theirs = MakeValue("theirs");
  auto target = With("only mine", *mine);
  target->SetValueForKey("both", *mine);
  target->SetValueForKey("k", *With("x", *mine));
  auto other = With("both", *theirs);
  other->SetValueForKey("only theirs", *theirs);
  other->SetValueForKey("k", *theirs);
  target->AddEntriesFromDictionary(*other);
  EXPECT_EQ(target->Count(), 4u);
  EXPECT_EQ(&At(*target, "only mine"), mine.Get());
  EXPECT_EQ(&At(*target, "both"), theirs.Get());
  EXPECT_EQ(&At(*target, "only theirs"), theirs.Get());
  EXPECT_EQ(&At(*target, "k"), theirs.Get()); // no descent into {x: mine}
  EXPECT_EQ(other->Count(), 3u);

  // A dictionary of the other side is stored itself, not merged.
  auto nested = With("y", *theirs);
  target->AddEntriesFromDictionary(*With("only mine", *nested));
  EXPECT_EQ(&At(*target, "only mine"), nested.Get());
}

TEST(AddEntriesTest, IntoItselfChangesNothing) {
  auto one = MakeValue(1);
  auto d = With("a", *one);
  d->SetValueForKey("b", *With("c", *one));
  auto before = Make<Dictionary>(*d);
  d->AddEntriesFromDictionary(*d);
  EXPECT_TRUE(*d == *before);
  EXPECT_EQ(one->RetainCount(), 4u);
}

TEST(AddEntriesTest, FromADictionaryOnlyThisOneHolds) {
  auto target = Make<Dictionary>();
  {
    auto inner = With("inner", *MakeValue("replaced by the inner one"));
    inner->SetValueForKey("z", *MakeValue(9));
    target->SetValueForKey("inner", *inner);
  }
  // Storing "inner" drops the last holder of the dictionary being read.
  target->AddEntriesFromDictionary(dynamic_cast<const Dictionary &>(At(*target, "inner")));
  EXPECT_EQ(At(*target, "inner").StringValue(), "replaced by the inner one");
  EXPECT_EQ(At(*target, "z").IntValue(), 9);
}

TEST(HierarchicalMergeTest, MergesWhereBothSidesHoldDictionaries) {
  auto x1 = MakeValue(1), y2 = MakeValue(2), y3 = MakeValue(3), z4 = MakeValue(4);
  auto five = MakeValue(5), zero = MakeValue(0), seven = MakeValue(7);
  auto formerA = With("x", *x1);
  formerA->SetValueForKey("y", *y2);
  auto target = With("a", *formerA);
  target->SetValueForKey("b", *five);

  auto otherA = With("y", *y3);
  otherA->SetValueForKey("z", *z4);
  auto otherB = With("k", *zero);
  auto other = With("a", *otherA);
  other->SetValueForKey("b", *otherB);
  other->SetValueForKey("c", *seven);
  auto otherBefore = Make<Dictionary>(*other);

  target->AddEntriesFromDictionaryHierarchically(*other);

  const Value &mergedA = At(*target, "a");
  EXPECT_NE(&mergedA, formerA.Get());
  EXPECT_NE(&mergedA, otherA.Get());
  EXPECT_EQ(mergedA.Count(), 3u);
  EXPECT_EQ(&At(mergedA, "x"), x1.Get()); // values are shared, never copied
  EXPECT_EQ(&At(mergedA, "y"), y3.Get());
  EXPECT_EQ(&At(mergedA, "z"), z4.Get());
  EXPECT_EQ(mergedA.RetainCount(), 1u);
  EXPECT_EQ(&At(*target, "b"), otherB.Get());
  EXPECT_EQ(&At(*target, "c"), seven.Get());

  // The former dictionary lost the target's reference and nothing else.
  EXPECT_EQ(formerA->RetainCount(), 1u);
  EXPECT_EQ(formerA->Count(), 2u);
  EXPECT_EQ(&At(*formerA, "y"), y2.Get());
  // The other side is untouched.
  EXPECT_TRUE(*other == *otherBefore);
  EXPECT_EQ(&At(*other, "a"), otherA.Get());
  EXPECT_EQ(otherA->Count(), 2u);
}

TEST(HierarchicalMergeTest, MergesAtEveryDepth) {
  auto one = MakeValue(1), two = MakeValue(2);
  auto target = Make<Dictionary>();
  auto level1 = With("keep", *one);
  auto level2 = With("keep", *one);
  level1->SetValueForKey("deeper", *level2);
  target->SetValueForKey("top", *level1);
  auto holder = Make<Array>(); // another holder of the inner dictionary
  holder->AddValue(*level2);

  auto patch2 = With("new", *two);
  auto patch1 = With("deeper", *patch2);
  auto patch = With("top", *patch1);
  target->AddEntriesFromDictionaryHierarchically(*patch);

  EXPECT_EQ(&target->GetValueForKeyPath("top.keep"), one.Get());
  EXPECT_EQ(&target->GetValueForKeyPath("top.deeper.keep"), one.Get());
  EXPECT_EQ(&target->GetValueForKeyPath("top.deeper.new"), two.Get());
  EXPECT_NE(&target->GetValueForKeyPath("top.deeper"), level2.Get());
  EXPECT_NE(&target->GetValueForKeyPath("top.deeper"), patch2.Get());
  EXPECT_EQ(level2->Count(), 1u);
  EXPECT_EQ(holder->GetValueAtIndex(0).Count(), 1u);
  EXPECT_EQ(level1->Count(), 2u);
  EXPECT_EQ(&At(*level1, "deeper"), level2.Get());
}

TEST(HierarchicalMergeTest, WhereOnlyOneSideHoldsADictionaryTheOtherWins) {
  auto scalar = MakeValue(5);
  auto list = Make<Array>();
  auto theirs = With("k", *scalar);
  auto target = With("scalar here", *scalar);
  target->SetValueForKey("dictionary here", *With("x", *scalar));
  target->SetValueForKey("list here", *With("x", *scalar));
  target->SetValueForKey("null here", *With("x", *scalar));

  auto other = With("scalar here", *theirs);
  other->SetValueForKey("dictionary here", *scalar);
  other->SetValueForKey("list here", *list);
  other->SetValueForKey("null here", Value::Null());
  other->SetValueForKey("missing here", *theirs);
  target->AddEntriesFromDictionaryHierarchically(*other);

  EXPECT_EQ(&At(*target, "scalar here"), theirs.Get()); // stored shared, not copied
  EXPECT_EQ(&At(*target, "missing here"), theirs.Get());
  EXPECT_EQ(&At(*target, "dictionary here"), scalar.Get());
  EXPECT_EQ(&At(*target, "list here"), list.Get());
  EXPECT_EQ(&At(*target, "null here"), &Value::Null());
  EXPECT_EQ(theirs->Count(), 1u);
}

TEST(HierarchicalMergeTest, EmptySidesAndItself) {
  auto one = MakeValue(1);
  auto inner = With("x", *one);
  auto d = With("inner", *inner);
  d->AddEntriesFromDictionaryHierarchically(*Make<Dictionary>());
  EXPECT_EQ(d->Count(), 1u);
  EXPECT_EQ(&At(*d, "inner"), inner.Get());

  auto empty = Make<Dictionary>();
  empty->AddEntriesFromDictionaryHierarchically(*d); // nothing to meet: all shared
  EXPECT_EQ(&At(*empty, "inner"), inner.Get());

  auto before = Make<Dictionary>(*d);
  d->AddEntriesFromDictionaryHierarchically(*d);
  EXPECT_TRUE(*d == *before);
  EXPECT_EQ(inner->Count(), 1u);
}

TEST(HierarchicalMergeTest, FromADictionaryOnlyThisOneHolds) {
  auto target = Make<Dictionary>();
  {
    auto inner = With("inner", *With("x", *MakeValue(1)));
    inner->SetValueForKey("z", *MakeValue(9));
    target->SetValueForKey("inner", *inner);
  }
  // Merging "inner" drops the last holder of the dictionary being read.
  target->AddEntriesFromDictionaryHierarchically(dynamic_cast<const Dictionary &>(At(*target, "inner")));
  EXPECT_EQ(target->GetValueForKeyPath("inner.x").IntValue(), 1);
  EXPECT_EQ(At(*target, "z").IntValue(), 9);
}

TEST(HierarchicalMergeTest, StoresAndLooksUpThroughTheVirtualOperations) {
  auto folding = Make<Folding>();
  auto one = MakeValue(1), two = MakeValue(2);
  folding->SetValueForKey("Sub", *With("x", *one));
  auto other = With("SUB", *With("y", *two));
  other->SetValueForKey("Flat", *two);
  folding->lookups = 0;
  folding->stores = 0;
  folding->AddEntriesFromDictionaryHierarchically(*other);
  EXPECT_EQ(folding->lookups, 1); // "SUB" found "sub"
  EXPECT_EQ(folding->stores, 2);
  EXPECT_EQ(folding->Count(), 2u); // "flat" and "sub"
  EXPECT_EQ(&At(*folding, "flat"), two.Get());
  EXPECT_EQ(folding->GetValueForKeyPath("sub.x").IntValue(), 1);
  EXPECT_EQ(folding->GetValueForKeyPath("SUB.y").IntValue(), 2);

  folding->stores = 0;
  folding->AddEntriesFromDictionary(*With("MORE", *one));
  EXPECT_EQ(folding->stores, 1);
  EXPECT_EQ(&At(*folding, "more"), one.Get());
}

TEST(HierarchicalMergeTest, AFailedNewDictionaryRaisesAndLeavesTheEntry) {
  CountingAllocator allocator;
  auto former = With("x", *MakeValue(1));
  auto target = With("a", *former);
  auto other = With("a", *With("y", *MakeValue(2)));
  const std::size_t blocks = allocator.LiveBlocks();
  allocator.FailNth(1); // the merged dictionary itself
  EXPECT_THROW(target->AddEntriesFromDictionaryHierarchically(*other), std::bad_alloc);
  allocator.Heal();
  EXPECT_EQ(&At(*target, "a"), former.Get());
  EXPECT_EQ(former->RetainCount(), 2u);
  EXPECT_EQ(allocator.LiveBlocks(), blocks);
}

TEST(HierarchicalMergeTest, FailuresLeakNothing) {
  CountingAllocator allocator;
  auto one = MakeValue(1), two = MakeValue(2);
  auto make = [&] {
    auto target = With("a", *With("x", *one));
    target->SetValueForKey("b", *With("deep", *With("x", *one)));
    return target;
  };
  auto other = With("a", *With("y", *two));
  other->SetValueForKey("b", *With("deep", *With("y", *two)));
  other->SetValueForKey("c", *two);
  bool succeeded = false;
  for (std::uint64_t k = 1; !succeeded; ++k) {
    SCOPED_TRACE(k);
    auto target = make();
    const std::size_t blocks = allocator.LiveBlocks();
    allocator.FailNth(k);
    try {
      target->AddEntriesFromDictionaryHierarchically(*other);
      succeeded = true;
    } catch (const std::bad_alloc &) {
    }
    allocator.Heal();
    if (succeeded) {
      EXPECT_EQ(target->GetValueForKeyPath("b.deep.x").IntValue(), 1);
      EXPECT_EQ(target->GetValueForKeyPath("b.deep.y").IntValue(), 2);
      EXPECT_EQ(allocator.LiveBlocks(), blocks + 3); // y twice over, and c
    }
    target.Reset();
    EXPECT_EQ(one->RetainCount(), 1u);
    EXPECT_EQ(two->RetainCount(), 4u); // the other side's three entries, and the handle
  }
  other.Reset();
  one.Reset();
  two.Reset();
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

} // namespace
