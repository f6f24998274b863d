//===- merge_test.cpp - Laying dictionaries over one another --------------===//
//
// The entries each operation leaves, shared with the other dictionary, are
// also checked at every allocation failure in allocation_failure_test.cpp.
//
//===----------------------------------------------------------------------===//

#include "support/Holder.h"
#include "support/ValueGraph.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::EntriesOf;
using CollectionTest::Make;
using CollectionTest::MiscountedValues;

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

using Operation = void (*)(Dictionary &target, const Dictionary &other);

// Every operation that takes the entries of another dictionary.
const std::pair<const char *, Operation> kOperations[] = {
    {"operator=", [](Dictionary &target, const Dictionary &other) { target = other; }},
    {"SetDictionary", [](Dictionary &target, const Dictionary &other) { target.SetDictionary(other); }},
    {"AddEntriesFromDictionary",
     [](Dictionary &target, const Dictionary &other) { target.AddEntriesFromDictionary(other); }},
    {"AddEntriesFromDictionaryHierarchically",
     [](Dictionary &target, const Dictionary &other) { target.AddEntriesFromDictionaryHierarchically(other); }},
};

TEST(MergeTest, WithItselfNothingChanges) {
  for (const auto &[name, operation] : kOperations) {
    SCOPED_TRACE(name);
    auto one = MakeValue(1);
    auto inner = With("c", *one);
    auto d = With("a", *one);
    d->SetValueForKey("b", *inner);
    auto before = Make<Dictionary>(*d);
    operation(*d, *d);
    EXPECT_TRUE(*d == *before);
    EXPECT_EQ(EntriesOf(*inner), CollectionTest::EntryMap({{"c", one.Get()}}));
    EXPECT_EQ(MiscountedValues({d.Get(), before.Get(), inner.Get(), one.Get()}), "");
  }
}

TEST(MergeTest, FromADictionaryOnlyTheTargetHolds) {
  for (const auto &[name, operation] : kOperations) {
    SCOPED_TRACE(name);
    auto target = Make<Dictionary>();
    {
      auto inner = With("inner", *With("x", *MakeValue(1)));
      inner->SetValueForKey("z", *MakeValue(9));
      target->SetValueForKey("inner", *inner);
    }
    // Storing "inner" drops the last holder of the dictionary being read.
    operation(*target, dynamic_cast<const Dictionary &>(At(*target, "inner")));
    EXPECT_EQ(target->Count(), 2u);
    EXPECT_EQ(target->GetValueForKeyPath("inner.x").IntValue(), 1);
    EXPECT_EQ(At(*target, "z").IntValue(), 9);
  }
}

TEST(MergeTest, AddEntriesLetsTheOtherWinOneLevelDeep) {
  auto mine = MakeValue("mine");
  auto theirs = MakeValue("theirs");
  auto nested = With("y", *theirs);
  auto target = With("only mine", *mine);
  target->SetValueForKey("both", *mine);
  target->SetValueForKey("k", *With("x", *mine));
  auto other = With("both", *theirs);
  other->SetValueForKey("only theirs", *theirs);
  other->SetValueForKey("k", *nested);
  const CollectionTest::EntryMap otherBefore = EntriesOf(*other);
  target->AddEntriesFromDictionary(*other);
  // A dictionary of the other side is stored itself, not merged.
  EXPECT_EQ(
      EntriesOf(*target),
      CollectionTest::EntryMap(
          {{"both", theirs.Get()}, {"k", nested.Get()}, {"only mine", mine.Get()}, {"only theirs", theirs.Get()}}));
  EXPECT_EQ(EntriesOf(*other), otherBefore);
  EXPECT_EQ(EntriesOf(*nested), CollectionTest::EntryMap({{"y", theirs.Get()}}));
}

TEST(HierarchicalMergeTest, MergesIntoNewDictionariesAtEveryDepthAndSharesTheValues) {
  auto one = MakeValue(1), two = MakeValue(2), three = MakeValue(3), five = MakeValue(5);
  // target {top: {keep: 1, y: 2, deeper: {keep: 1}}, b: 5}
  auto deeper = With("keep", *one);
  auto top = With("keep", *one);
  top->SetValueForKey("y", *two);
  top->SetValueForKey("deeper", *deeper);
  auto target = With("top", *top);
  target->SetValueForKey("b", *five);
  auto holder = Make<Array>(); // another holder of the inner dictionary
  holder->AddValue(*deeper);
  // other {top: {y: 3, deeper: {new: 2}}, b: {k: 1}, c: 3}
  auto patchDeeper = With("new", *two);
  auto patchTop = With("y", *three);
  patchTop->SetValueForKey("deeper", *patchDeeper);
  auto patchB = With("k", *one);
  auto other = With("top", *patchTop);
  other->SetValueForKey("b", *patchB);
  other->SetValueForKey("c", *three);
  const CollectionTest::EntryMap otherBefore = EntriesOf(*other), patchTopBefore = EntriesOf(*patchTop);

  target->AddEntriesFromDictionaryHierarchically(*other);

  const Value &mergedTop = At(*target, "top");
  const Value &mergedDeeper = At(mergedTop, "deeper");
  for (const Value *made : {&mergedTop, &mergedDeeper}) {
    for (const Value *existing :
         {static_cast<const Value *>(top.Get()), static_cast<const Value *>(deeper.Get()),
          static_cast<const Value *>(patchTop.Get()), static_cast<const Value *>(patchDeeper.Get())})
      EXPECT_NE(made, existing);
  }
  EXPECT_EQ(EntriesOf(dynamic_cast<const Dictionary &>(mergedTop)),
            CollectionTest::EntryMap({{"deeper", &mergedDeeper}, {"keep", one.Get()}, {"y", three.Get()}}));
  EXPECT_EQ(EntriesOf(dynamic_cast<const Dictionary &>(mergedDeeper)),
            CollectionTest::EntryMap({{"keep", one.Get()}, {"new", two.Get()}}));
  // Where only one side holds a dictionary, the other side's value wins.
  EXPECT_EQ(&At(*target, "b"), patchB.Get());
  EXPECT_EQ(&At(*target, "c"), three.Get());
  // Nothing that existed is written into: its other holders see it as it was.
  EXPECT_EQ(EntriesOf(*top),
            CollectionTest::EntryMap({{"deeper", deeper.Get()}, {"keep", one.Get()}, {"y", two.Get()}}));
  EXPECT_EQ(EntriesOf(*deeper), CollectionTest::EntryMap({{"keep", one.Get()}}));
  EXPECT_EQ(EntriesOf(*other), otherBefore);
  EXPECT_EQ(EntriesOf(*patchTop), patchTopBefore);
  EXPECT_EQ(MiscountedValues({target.Get(), holder.Get(), other.Get(), top.Get(), deeper.Get(), patchTop.Get(),
                              patchDeeper.Get(), patchB.Get(), one.Get(), two.Get(), three.Get(), five.Get()}),
            "");
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

  EXPECT_EQ(EntriesOf(*target), EntriesOf(*other)); // stored shared, not copied
  EXPECT_EQ(theirs->Count(), 1u);
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

} // namespace
