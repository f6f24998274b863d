//===- dictionary_test.cpp - Keyed containers -----------------------------===//

#include "support/CountingAllocator.h"
#include "support/FailingNew.h"
#include "support/Holder.h"
#include "support/LifeProbe.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cctype>
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

// Records every entry it is shown and stops after `limit` of them.
class Recorder : public Dictionary::Applier {
public:
  explicit Recorder(std::size_t limit = ~std::size_t(0)) : m_limit(limit) {}
  bool ApplyToEntry(const std::string &key, const Value &value) override {
    keys.push_back(key);
    values.push_back(&value);
    return keys.size() < m_limit;
  }
  std::vector<std::string> keys;
  std::vector<const Value *> values;

private:
  std::size_t m_limit;
};

std::vector<std::string> KeysOf(const Dictionary &dictionary) {
  Recorder recorder;
  dictionary.Apply(recorder);
  return recorder.keys;
}

// Stores keys upper-cased and finds them whatever their case: the
// dictionary's own walks see "A", while lookups from outside find "a".
class CaseBlind : public Dictionary {
public:
  static std::string Upper(std::string key) {
    for (char &c : key)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
  }
  void SetValueForKey(const std::string &key, const Value &value) override {
    Dictionary::SetValueForKey(Upper(key), value);
  }
  const Value &GetValueForKeyWithDefault(const std::string &key, const Value &fallback) const override {
    return Dictionary::GetValueForKeyWithDefault(Upper(key), fallback);
  }

protected:
  ~CaseBlind() override = default;
};

TEST(DictionaryTest, NewDictionaryIsEmpty) {
  auto d = Make<Dictionary>();
  EXPECT_EQ(d->Count(), 0u);
  EXPECT_EQ(d->ToString(), "{ }");
  EXPECT_EQ(&d->GetValueForKey(""), &Value::Null());
  EXPECT_EQ(&(*d)["width"], &Value::Null());
  EXPECT_FALSE(d->IsNull());
}

TEST(DictionaryTest, KeysAreOrderedByUnsignedBytesAndNeverNormalised) {
  auto d = Make<Dictionary>();
  const std::vector<std::string> inserted = {"b", "\xc3\xa9", "B", "z", "a", "\x80", "ab", "", "a.b", "a "};
  for (const std::string &key : inserted)
    d->SetValueForKey(key, *MakeValue(key));
  const std::vector<std::string> expected = {"", "B", "a", "a ", "a.b", "ab", "b", "z", "\x80", "\xc3\xa9"};
  EXPECT_EQ(KeysOf(*d), expected);
  EXPECT_EQ(d->Count(), expected.size());
  for (const std::string &key : inserted)
    EXPECT_EQ(d->GetValueForKey(key).StringValue(), key);
  EXPECT_TRUE(d->GetValueForKey("A").IsNull());
  EXPECT_TRUE(d->GetValueForKey("a  ").IsNull());
  EXPECT_EQ((*d)["a.b"].StringValue(), "a.b");
  // A key is its bytes, a zero byte included.
  d->SetValueForKey(std::string("a\0b", 3), Boolean::True());
  EXPECT_TRUE(d->GetValueForKey(std::string("a\0b", 3)).BoolValue());
}

TEST(DictionaryTest, IndexedLookupsAnswerNull) {
  auto d = Make<Dictionary>();
  d->SetValueForKey("0", *MakeValue(1));
  EXPECT_EQ(&d->GetValueAtIndex(0), &Value::Null());
  EXPECT_EQ(&(*d)[0], &Value::Null());
}

TEST(DictionaryTest, LookupWithDefaultAnswersTheVeryDefault) {
  auto d = Make<Dictionary>();
  auto fallback = MakeValue(7);
  auto present = MakeValue(1);
  d->SetValueForKey("here", *present);
  EXPECT_EQ(&d->GetValueForKeyWithDefault("missing", *fallback), fallback.Get());
  EXPECT_EQ(&d->GetValueForKeyWithDefault("here", *fallback), present.Get());
}

TEST(DictionaryTest, EveryMutatorKeepsOneReferencePerEntry) {
  auto d = Make<Dictionary>();
  auto v = MakeValue(1);
  auto w = MakeValue(2);
  d->SetValueForKey("k", *v);
  EXPECT_EQ(v->RetainCount(), 2u);
  d->SetValueForKey("k", *v); // the same object again: nothing changes
  EXPECT_EQ(v->RetainCount(), 2u);
  EXPECT_EQ(d->Count(), 1u);
  d->SetValueForKey("k", *w);
  EXPECT_EQ(v->RetainCount(), 1u);
  EXPECT_EQ(w->RetainCount(), 2u);
  d->SetValueForKey("other", *w); // one reference per entry
  EXPECT_EQ(w->RetainCount(), 3u);
  d->RemoveValueForKey("missing");
  EXPECT_EQ(d->Count(), 2u);
  EXPECT_EQ(w->RetainCount(), 3u);
  d->RemoveValueForKey("k");
  EXPECT_EQ(w->RetainCount(), 2u);
  d->RemoveAllValues();
  EXPECT_EQ(d->Count(), 0u);
  EXPECT_EQ(w->RetainCount(), 1u);
  d->RemoveAllValues();
  EXPECT_EQ(d->Count(), 0u);
  d->SetValueForKey("k", *v);
  d.Reset();
  EXPECT_EQ(v->RetainCount(), 1u);
}

TEST(DictionaryTest, ValuesWhoseLastHolderWasTheDictionaryDieAtOnce) {
  std::vector<std::string> deaths;
  auto d = Make<Dictionary>();
  const char *names[] = {"removed", "replaced", "cleared", "destroyed"};
  for (const char *name : names) {
    Runtime::Ref<const Value> probe(new LifeProbe(deaths, name));
    d->SetValueForKey(name, *probe);
  }
  d->RemoveValueForKey("removed");
  EXPECT_EQ(deaths, std::vector<std::string>({"removed"}));
  d->SetValueForKey("replaced", Value::Null());
  EXPECT_TRUE(LifeProbe::Died(deaths, "replaced"));
  auto keep = Make<Dictionary>(*d); // keeps "cleared" and "destroyed" alive
  d->RemoveAllValues();
  EXPECT_EQ(deaths.size(), 2u);
  keep->RemoveValueForKey("cleared");
  EXPECT_TRUE(LifeProbe::Died(deaths, "cleared"));
  keep.Reset();
  EXPECT_EQ(deaths.back(), "destroyed");
}

TEST(DictionaryTest, ReplacementRetainsTheNewValueBeforeReleasingTheOld) {
  // The new value's only holder is the value it replaces.
  std::vector<std::string> deaths;
  auto outer = Make<Dictionary>();
  {
    auto inner = Make<Dictionary>();
    Runtime::Ref<const Value> probe(new LifeProbe(deaths, "inner value"));
    inner->SetValueForKey("v", *probe);
    outer->SetValueForKey("k", *inner);
  }
  const Value &innerValue = outer->GetValueForKey("k").GetValueForKey("v");
  EXPECT_EQ(innerValue.RetainCount(), 1u);
  outer->SetValueForKey("k", innerValue);
  EXPECT_TRUE(deaths.empty());
  EXPECT_EQ(&outer->GetValueForKey("k"), &innerValue);
  EXPECT_EQ(innerValue.RetainCount(), 1u);
}

TEST(DictionaryTest, CopiesShareValuesAndCopyKeys) {
  auto source = Make<Dictionary>();
  auto one = MakeValue(1);
  auto two = MakeValue(2);
  source->SetValueForKey("a", *one);
  source->SetValueForKey("b", *two);
  auto copy = Make<Dictionary>(*source);
  EXPECT_EQ(copy->RetainCount(), 1u);
  EXPECT_EQ(&copy->GetValueForKey("a"), one.Get());
  EXPECT_EQ(one->RetainCount(), 3u);
  copy->SetValueForKey("c", *one);
  copy->RemoveValueForKey("b");
  EXPECT_EQ(KeysOf(*source), std::vector<std::string>({"a", "b"}));
  EXPECT_EQ(two->RetainCount(), 2u);

  auto assigned = Make<Dictionary>();
  assigned->SetValueForKey("z", *two);
  *assigned = *source;
  EXPECT_EQ(KeysOf(*assigned), std::vector<std::string>({"a", "b"}));
  EXPECT_EQ(&assigned->GetValueForKey("b"), two.Get());
  EXPECT_EQ(two->RetainCount(), 3u); // lost "z", gained "b"
  EXPECT_EQ(assigned->RetainCount(), 1u);

  *assigned = *assigned;
  EXPECT_EQ(assigned->Count(), 2u);
  EXPECT_EQ(two->RetainCount(), 3u);
}

TEST(DictionaryTest, AssignmentFromADictionaryOnlyThisOneHolds) {
  auto d = Make<Dictionary>();
  {
    auto inner = Make<Dictionary>();
    inner->SetValueForKey("x", *MakeValue(1));
    d->SetValueForKey("inner", *inner);
  }
  const Dictionary &inner = dynamic_cast<const Dictionary &>(d->GetValueForKey("inner"));
  *d = inner; // emptying d must not free what is being copied
  EXPECT_EQ(KeysOf(*d), std::vector<std::string>({"x"}));
  EXPECT_EQ(d->GetValueForKey("x").IntValue(), 1);
}

TEST(DictionaryTest, EqualityComparesEntriesToAnyDepth) {
  auto make = [](const char *key, long n) {
    auto d = Make<Dictionary>();
    d->SetValueForKey(key, *MakeValue(n));
    return d;
  };
  auto a1 = make("a", 1);
  EXPECT_TRUE(*a1 == *make("a", 1));
  EXPECT_FALSE(*a1 == *make("a", 2));
  EXPECT_FALSE(*a1 == *make("b", 1));
  auto a1b1 = make("a", 1);
  a1b1->SetValueForKey("b", *MakeValue(1));
  EXPECT_FALSE(*a1 == *a1b1);
  EXPECT_FALSE(*a1b1 == *a1);
  EXPECT_TRUE(*Make<Dictionary>() == *Make<Dictionary>());

  const Value &asValue = *a1;
  EXPECT_FALSE(asValue == *Make<Array>());
  EXPECT_FALSE(asValue == Value::Null());
  EXPECT_TRUE(asValue != Value::Null());
  EXPECT_FALSE(static_cast<const Value &>(*Make<Dictionary>()) == *Make<Array>());
  // Kinds decide inside too: 1 and true are not equal.
  auto truth = Make<Dictionary>();
  truth->SetValueForKey("a", Boolean::True());
  EXPECT_FALSE(*a1 == *truth);

  // Nested: equal when the nested dictionaries are equal, however deep.
  auto deep = [&](long leaf) {
    auto top = Make<Dictionary>();
    auto middle = Make<Dictionary>();
    auto list = Make<Array>();
    list->AddValue(*make("leaf", leaf));
    middle->SetValueForKey("list", *list);
    top->SetValueForKey("middle", *middle);
    return top;
  };
  EXPECT_TRUE(*deep(1) == *deep(1));
  EXPECT_FALSE(*deep(1) == *deep(2));
}

TEST(DictionaryTest, AKeyMissingOnTheOtherSideComparesAsNull) {
  auto a = Make<Dictionary>();
  auto b = Make<Dictionary>();
  a->SetValueForKey("a", Value::Null());
  b->SetValueForKey("b", Value::Null());
  EXPECT_TRUE(*a == *b);
  EXPECT_TRUE(static_cast<const Value &>(*a) == *b);
}

TEST(DictionaryTest, EqualityAsAValueLetsTheOtherDictionaryLead) {
  auto plain = Make<Dictionary>();
  plain->SetValueForKey("a", *MakeValue(1));
  auto blind = Make<CaseBlind>();
  blind->SetValueForKey("a", *MakeValue(1)); // stored as "A"
  // The typed form walks its own receiver's keys and looks them up in the
  // argument: "a" is found in the case-blind one, "A" is not in the plain one.
  EXPECT_TRUE(*plain == *blind);
  EXPECT_FALSE(*blind == *plain);
  // The form on Value swaps the roles: the argument leads.
  const Value &plainValue = *plain;
  const Value &blindValue = *blind;
  EXPECT_FALSE(plainValue == *blind);
  EXPECT_TRUE(blindValue == *plain);
  EXPECT_TRUE(plainValue != *blind);
}

TEST(DictionaryTest, ApplyWalksInKeyOrderAndStopsWhenAsked) {
  auto d = Make<Dictionary>();
  Recorder none;
  EXPECT_TRUE(d->Apply(none));
  EXPECT_TRUE(none.keys.empty());

  auto value = MakeValue(3);
  d->SetValueForKey("c", *value);
  d->SetValueForKey("a", *value);
  d->SetValueForKey("b", *value);
  Recorder all;
  EXPECT_TRUE(d->Apply(all));
  EXPECT_EQ(all.keys, std::vector<std::string>({"a", "b", "c"}));
  EXPECT_EQ(all.values[0], value.Get());

  Recorder two(2);
  EXPECT_FALSE(d->Apply(two));
  EXPECT_EQ(two.keys, std::vector<std::string>({"a", "b"}));
}

TEST(DictionaryTest, PrintsEntriesThroughTheirOwnText) {
  auto d = Make<Dictionary>();
  d->SetValueForKey("b", *MakeValue("x"));
  d->SetValueForKey("a", *MakeValue(1));
  d->SetValueForKey("c", *Make<Dictionary>());
  EXPECT_EQ(d->ToString(), "{ 'a' = 1,\n'b' = x,\n'c' = { },\n}");
  auto nested = Make<Dictionary>();
  nested->SetValueForKey("in", *d);
  nested->SetValueForKey("it's", Value::Null());
  EXPECT_EQ(nested->ToString(), "{ 'in' = { 'a' = 1,\n'b' = x,\n'c' = { },\n},\n'it's' = (null),\n}");
}

TEST(DictionaryTest, TheCallersStreamFlagsDoNotReachTheValues) {
  auto d = Make<Dictionary>();
  d->SetValueForKey("n", *MakeValue(255));
  d->SetValueForKey("f", *MakeValue(0.5));
  std::ostringstream out;
  out << std::hex << std::showpos << std::fixed;
  d->Print(out);
  EXPECT_EQ(out.str(), "{ 'f' = 0.5,\n'n' = 255,\n}");
  EXPECT_TRUE(out.flags() & std::ios::hex); // and the stream keeps its own
  EXPECT_TRUE(out.flags() & std::ios::showpos);
}

TEST(DictionaryTest, EntriesTakeTheirStorageFromTheNativeAllocator) {
  CountingAllocator allocator;
  auto d = Make<Dictionary>();
  auto v = MakeValue(1);
  auto w = MakeValue(2);
  const std::size_t before = allocator.LiveBlocks();
  d->SetValueForKey("a key longer than any short string buffer", *v);
  EXPECT_EQ(allocator.LiveBlocks(), before + 1); // the map node
  d->SetValueForKey("a key longer than any short string buffer", *w);
  d->SetValueForKey("b", *v);
  EXPECT_EQ(allocator.LiveBlocks(), before + 2);
  d->RemoveValueForKey("b");
  EXPECT_EQ(allocator.LiveBlocks(), before + 1);
  d.Reset();
  v.Reset();
  w.Reset();
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

TEST(DictionaryTest, ApplyAndEqualityAllocateNothing) {
  CountingAllocator allocator;
  auto a = Make<Dictionary>();
  auto b = Make<Dictionary>();
  for (const char *key : {"x", "y", "a key longer than any short string buffer"}) {
    a->SetValueForKey(key, *MakeValue(key));
    b->SetValueForKey(key, *MakeValue(key));
  }
  a->SetValueForKey("nested", *Make<Dictionary>(*b));
  b->SetValueForKey("nested", *Make<Dictionary>(*b));
  const std::uint64_t attempts = allocator.Attempts();
  Recorder recorder;
  recorder.keys.reserve(8);
  recorder.values.reserve(8);
  EXPECT_TRUE(a->Apply(recorder));
  EXPECT_TRUE(*a == *b);
  EXPECT_TRUE(static_cast<const Value &>(*a) == *b);
  EXPECT_EQ(allocator.Attempts(), attempts);
}

TEST(DictionaryTest, AFailedInsertionChangesNothing) {
  CountingAllocator allocator;
  auto d = Make<Dictionary>();
  auto v = MakeValue(1);
  d->SetValueForKey("a", *v);
  const std::size_t blocks = allocator.LiveBlocks();
  allocator.FailFrom(1);
  EXPECT_THROW(d->SetValueForKey("b", *v), std::bad_alloc);
  allocator.Heal();
  EXPECT_EQ(d->Count(), 1u);
  EXPECT_TRUE(d->GetValueForKey("b").IsNull());
  EXPECT_EQ(v->RetainCount(), 2u);
  EXPECT_EQ(allocator.LiveBlocks(), blocks);
}

TEST(DictionaryTest, AFailedKeyCopyGivesTheNodeBack) {
  namespace FailingNew = CollectionTest::FailingNew;
  if (!FailingNew::ReachesTheLibrary())
    GTEST_SKIP() << "the standard operator new cannot be replaced for the library's module here";
  CountingAllocator allocator;
  auto d = Make<Dictionary>();
  auto v = MakeValue(1);
  const std::string key(64, 'k'); // beyond any short-string buffer
  const std::size_t blocks = allocator.LiveBlocks();
  const int failures = FailingNew::Failures();
  FailingNew::FailNextOfSize(key.size() + 1);
  EXPECT_THROW(d->SetValueForKey(key, *v), std::bad_alloc);
  FailingNew::Heal();
  EXPECT_EQ(FailingNew::Failures(), failures + 1);
  EXPECT_EQ(d->Count(), 0u);
  EXPECT_EQ(v->RetainCount(), 1u);
  EXPECT_EQ(allocator.LiveBlocks(), blocks);
}

TEST(DictionaryTest, AFailedCopyLeavesNothingBehind) {
  CountingAllocator allocator;
  auto source = Make<Dictionary>();
  std::vector<Runtime::Ref<const Value>> values;
  for (const char *key : {"a", "b", "c", "d"}) {
    values.push_back(MakeValue(key));
    source->SetValueForKey(key, *values.back());
  }
  const std::size_t blocks = allocator.LiveBlocks();
  bool succeeded = false;
  for (std::uint64_t k = 1; !succeeded; ++k) {
    SCOPED_TRACE(k);
    allocator.FailNth(k);
    try {
      Runtime::Ref<Dictionary> copy(new Dictionary(*source));
      succeeded = static_cast<bool>(copy);
      if (succeeded) {
        EXPECT_TRUE(*copy == *source);
        EXPECT_EQ(values[0]->RetainCount(), 3u);
      }
    } catch (const std::bad_alloc &) {
    }
    allocator.Heal();
    EXPECT_EQ(allocator.LiveBlocks(), blocks);
    for (const auto &value : values)
      EXPECT_EQ(value->RetainCount(), 2u);
  }
}

TEST(DictionaryTest, AFailedAssignmentLeavesTheDictionaryEmpty) {
  CountingAllocator allocator;
  auto source = Make<Dictionary>();
  auto target = Make<Dictionary>();
  auto old = MakeValue("old");
  target->SetValueForKey("old", *old);
  for (const char *key : {"a", "b", "c"})
    source->SetValueForKey(key, *MakeValue(key));
  const std::size_t sourceBlocks = allocator.LiveBlocks() - 1; // less target's node
  allocator.FailNth(2);
  EXPECT_THROW(*target = *source, std::bad_alloc);
  allocator.Heal();
  EXPECT_EQ(target->Count(), 0u);
  EXPECT_EQ(old->RetainCount(), 1u);
  EXPECT_EQ(source->Count(), 3u);
  EXPECT_EQ(source->GetValueForKey("a").RetainCount(), 1u);
  EXPECT_EQ(allocator.LiveBlocks(), sourceBlocks);

  allocator.FailNth(1);
  EXPECT_THROW(target->SetDictionary(*source), std::bad_alloc);
  allocator.Heal();
  EXPECT_EQ(target->Count(), 0u);
  target->SetDictionary(*source);
  EXPECT_TRUE(*target == *source);
}

} // namespace
