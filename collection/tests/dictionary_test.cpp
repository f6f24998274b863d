//===- dictionary_test.cpp - Keyed containers -----------------------------===//

#include "support/CountingAllocator.h"
#include "support/Holder.h"
#include "support/LifeProbe.h"
#include "support/ValueGraph.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <iterator>
#include <type_traits>
#include <utility>
#include <string>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::CountingAllocator;
using CollectionTest::EntriesOf;
using CollectionTest::EntryMap;
using CollectionTest::LifeProbe;
using CollectionTest::Make;
using CollectionTest::MiscountedValues;

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

TEST(DictionaryTest, KeysAreOrderedByUnsignedBytesAndNeverNormalised) {
  auto d = Make<Dictionary>();
  const std::vector<std::string> inserted = {"b", "\xc3\xa9", "B", "z", "a", "\x80", "ab", "", "a.b", "a "};
  for (const std::string &key : inserted)
    d->SetValueForKey(key, *MakeValue(key));
  const std::vector<std::string> expected = {"", "B", "a", "a ", "a.b", "ab", "b", "z", "\x80", "\xc3\xa9"};
  EXPECT_EQ(KeysOf(*d), expected);
  // Apply walks in that order and stops when the applier asks.
  Recorder two(2);
  EXPECT_FALSE(d->Apply(two));
  EXPECT_EQ(two.keys, std::vector<std::string>({"", "B"}));
  Recorder none;
  EXPECT_TRUE(Make<Dictionary>()->Apply(none));
  EXPECT_TRUE(none.keys.empty());
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

// Range-for walks the stored entries in key order; the key binds as the
// stored std::string and the value as the stored value, both by reference,
// and so do `first` and `second`. Iterators stay valid while other entries
// come and go.
TEST(DictionaryTest, RangeForWalksTheEntriesInKeyOrder) {
  using Traits = std::iterator_traits<Dictionary::const_iterator>;
  static_assert(std::is_same<Traits::iterator_category, std::bidirectional_iterator_tag>::value, "");
  static_assert(std::is_same<Traits::value_type, std::pair<const std::string &, const Value &>>::value, "");
  auto d = Make<Dictionary>();
  for (const auto &entry : *d)
    ADD_FAILURE() << "an empty dictionary has entry " << entry.first;
  for (const char *key : {"b", "", "a.b", "\x80", "B"})
    d->SetValueForKey(key, *MakeValue(key));
  EntryMap walked;
  std::vector<std::string> order;
  for (const auto &[key, value] : *d) {
    static_assert(std::is_same<decltype(key), const std::string &>::value, "");
    static_assert(std::is_same<decltype(value), const Value &>::value, "");
    order.push_back(key);
    walked.emplace(key, &value);
  }
  EXPECT_EQ(order, KeysOf(*d));
  EXPECT_EQ(walked, EntriesOf(*d));
  Dictionary::const_iterator it = d->begin();
  EXPECT_EQ(it->first, "");
  EXPECT_EQ(&(*it).second, &d->GetValueForKey(""));
  EXPECT_EQ((++it)->first, "B");
  d->SetValueForKey("A", Boolean::True());
  d->RemoveValueForKey("b");
  EXPECT_EQ((*it).first, "B");
  EXPECT_EQ((++it)->first, "a.b");
  EXPECT_EQ((--it)->first, "B");
  EXPECT_EQ(std::distance(d->begin(), d->end()), 5);
  EXPECT_EQ(std::prev(d->end())->first, "\x80");
}

TEST(DictionaryTest, LookupsAnswerTheEntryTheDefaultOrNull) {
  auto d = Make<Dictionary>();
  auto fallback = MakeValue(7);
  auto present = MakeValue(1);
  d->SetValueForKey("0", *present);
  EXPECT_EQ(&d->GetValueForKeyWithDefault("missing", *fallback), fallback.Get());
  EXPECT_EQ(&d->GetValueForKeyWithDefault("0", *fallback), present.Get());
  EXPECT_EQ(&d->GetValueForKey("missing"), &Value::Null());
  EXPECT_EQ(&d->GetValueAtIndex(0), &Value::Null());
  EXPECT_EQ(&(*d)[0], &Value::Null());
}

// After each step the dictionary holds the listed entries, and every
// value's count is one per handle and one per entry that holds it.
TEST(DictionaryTest, EveryMutatorKeepsOneReferencePerEntry) {
  auto d = Make<Dictionary>();
  auto v = MakeValue(1);
  auto w = MakeValue(2);
  const Value *V = v.Get(), *W = w.Get();
  auto copy = Make<Dictionary>();
  copy->SetValueForKey("z", *v);
  const struct {
    const char *step;
    std::function<void()> apply;
    EntryMap expected;
  } steps[] = {
      {"set k", [&] { d->SetValueForKey("k", *v); }, {{"k", V}}},
      {"set k to the same value", [&] { d->SetValueForKey("k", *v); }, {{"k", V}}},
      {"replace k", [&] { d->SetValueForKey("k", *w); }, {{"k", W}}},
      {"set other", [&] { d->SetValueForKey("other", *w); }, {{"k", W}, {"other", W}}},
      {"remove a missing key", [&] { d->RemoveValueForKey("missing"); }, {{"k", W}, {"other", W}}},
      // A copy shares the values and has keys of its own.
      {"assign to a copy", [&] { *copy = *d; }, {{"k", W}, {"other", W}}},
      {"change the copy",
       [&] {
         EXPECT_EQ(EntriesOf(*copy), EntriesOf(*d));
         copy->SetValueForKey("c", *v);
         copy->RemoveValueForKey("k");
       },
       {{"k", W}, {"other", W}}},
      {"remove k", [&] { d->RemoveValueForKey("k"); }, {{"other", W}}},
      {"remove all", [&] { d->RemoveAllValues(); }, {}},
      {"remove all of none", [&] { d->RemoveAllValues(); }, {}},
      {"set k again", [&] { d->SetValueForKey("k", *v); }, {{"k", V}}},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.step);
    step.apply();
    EXPECT_EQ(EntriesOf(*d), step.expected);
    EXPECT_EQ(MiscountedValues({d.Get(), copy.Get(), V, W}), "");
  }
  EXPECT_EQ(EntriesOf(*copy), EntryMap({{"c", V}, {"other", W}}));
  d.Reset();
  copy.Reset();
  EXPECT_EQ(MiscountedValues({V, W}), "");
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

  // A key missing on the other side compares as null.
  auto onlyA = make("a", 0);
  auto onlyB = make("b", 0);
  onlyA->SetValueForKey("a", Value::Null());
  onlyB->SetValueForKey("b", Value::Null());
  EXPECT_TRUE(*onlyA == *onlyB);
  EXPECT_TRUE(static_cast<const Value &>(*onlyA) == *onlyB);
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

TEST(DictionaryMemoryTest, EntriesTakeOneNativeNodeAndApplyAndEqualityAllocateNothing) {
  CountingAllocator allocator;
  auto a = Make<Dictionary>();
  auto b = Make<Dictionary>();
  auto v = MakeValue(1);
  auto w = MakeValue(2);
  const std::string key = "a key longer than any short string buffer";
  const std::size_t before = allocator.LiveBlocks();
  a->SetValueForKey(key, *v);
  EXPECT_EQ(allocator.LiveBlocks(), before + 1); // the map node
  a->SetValueForKey(key, *w);
  a->SetValueForKey("b", *v);
  EXPECT_EQ(allocator.LiveBlocks(), before + 2);
  a->RemoveValueForKey("b");
  EXPECT_EQ(allocator.LiveBlocks(), before + 1);

  for (const char *name : {"x", "y"}) {
    a->SetValueForKey(name, *MakeValue(name));
    b->SetValueForKey(name, *MakeValue(name));
  }
  b->SetValueForKey(key, *w);
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

  a.Reset();
  b.Reset();
  v.Reset();
  w.Reset();
  EXPECT_EQ(allocator.LiveBlocks(), 0u);
}

} // namespace
