//===- container_ops_fuzzer.cpp - Dictionaries and arrays against std models -===//
//
// Random sequences of the mutating and reading operations of Dictionary and
// Array, run side by side with std::map and std::vector models of the same
// contents. Any operation may meet a failing native allocation; it must then
// leave the state its guarantee names. After every step the contents match
// the models object for object and every reference count matches the holders
// that can be seen; when everything is released, no native block is left.
//
//===----------------------------------------------------------------------===//

#include "FuzzCheck.h"

#include "support/CountingAllocator.h"

#include <Collection/MakeValue.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace CollectionFuzz;
using Collection::Array;
using Collection::Dictionary;
using Collection::MakeValue;
using Collection::Value;
using Handle = Runtime::Ref<const Value>;
using DictionaryModel = CollectionTest::EntryMap;
using CollectionTest::WithEntries;
using ArrayModel = std::vector<const Value *>;

const std::string kKeys[] = {"", "a", "b", "B", "ab", "a.b", "\x80", "a key longer than any short string buffer"};

class Session {
public:
  explicit Session(FuzzedDataProvider &input) : m_input(input) {
    m_pool.push_back(MakeValue(1));
    m_pool.push_back(MakeValue("text"));
    m_pool.push_back(MakeValue(2.5));
    m_pool.push_back(Handle(Value::Null()));
    auto *inner = new Dictionary;
    inner->SetValueForKey("a", *m_pool[0]);
    inner->SetValueForKey(kKeys[7], *m_pool[1]);
    m_inner = Runtime::Ref<const Dictionary>(inner);
    m_innerModel = CollectionTest::EntriesOf(*m_inner);
    m_pool.push_back(Handle(*m_inner));
    auto *numbers = new Array;
    numbers->AddValue(*m_pool[2]);
    m_pool.push_back(Handle(numbers));
    for (auto &dictionary : m_dictionaries)
      dictionary = Runtime::Ref<Dictionary>(new Dictionary);
    for (auto &array : m_arrays)
      array = Runtime::Ref<Array>(new Array);
  }

  void Step() {
    const bool failing = m_input.ConsumeIntegralInRange(0, 5) == 0;
    if (failing)
      m_allocator.FailNth(m_input.ConsumeIntegralInRange<std::uint64_t>(1, 3));
    m_threw = false;
    const int operation = m_input.ConsumeIntegralInRange(0, 17);
    try {
      Run(operation);
    } catch (const std::bad_alloc &) {
      m_threw = true;
    }
    m_allocator.Heal();
    if (m_threw)
      Recover(operation);
    Verify();
  }

  void Finish() {
    m_pool.clear();
    m_inner.Reset();
    for (auto &dictionary : m_dictionaries)
      dictionary.Reset();
    for (auto &array : m_arrays)
      array.Reset();
    FUZZ_CHECK(m_allocator.LiveBlocks() == 0);
  }

private:
  const std::string &Key() { return kKeys[m_input.ConsumeIntegralInRange<std::size_t>(0, 7)]; }
  const Value &Pooled() { return *m_pool[m_input.ConsumeIntegralInRange<std::size_t>(0, m_pool.size() - 1)]; }
  std::size_t Which(std::size_t count) { return m_input.ConsumeIntegralInRange<std::size_t>(0, count - 1); }

  // A dictionary to read from: one of those under test or the fixed inner one.
  const Dictionary &Source(std::size_t which) { return which < 3 ? *m_dictionaries[which] : *m_inner; }
  const DictionaryModel &SourceModel(std::size_t which) { return which < 3 ? m_models[which] : m_innerModel; }

  void Run(int operation) {
    m_target = Which(3);
    m_source = Which(4);
    Dictionary &d = *m_dictionaries[m_target];
    DictionaryModel &model = m_models[m_target];
    m_before = model;
    m_sourceBefore = SourceModel(m_source);
    Array &a = *m_arrays[m_target % 2];
    ArrayModel &list = m_lists[m_target % 2];
    m_listBefore = list;

    switch (operation) {
    case 0: {
      const std::string &key = Key();
      const Value &value = Pooled();
      d.SetValueForKey(key, value);
      model[key] = &value;
      break;
    }
    case 1: {
      const std::string &key = Key();
      d.RemoveValueForKey(key);
      model.erase(key);
      break;
    }
    case 2:
      d.RemoveAllValues();
      model.clear();
      break;
    case 3: {
      const std::string &key = Key();
      const Value &fallback = Pooled();
      auto found = model.find(key);
      FUZZ_CHECK(&d.GetValueForKey(key) == (found != model.end() ? found->second : &Value::Null()));
      FUZZ_CHECK(&d.GetValueForKeyWithDefault(key, fallback) == (found != model.end() ? found->second : &fallback));
      FUZZ_CHECK(&d[key.c_str()] == &d.GetValueForKey(key));
      break;
    }
    case 4:
      d = Source(m_source);
      model = m_sourceBefore;
      break;
    case 5:
      d.SetDictionary(Source(m_source));
      model = m_sourceBefore;
      break;
    case 6:
      d.AddEntriesFromDictionary(Source(m_source));
      model = WithEntries(model, m_sourceBefore, m_sourceBefore.size());
      break;
    case 7: {
      Runtime::Ref<Dictionary> copy(new Dictionary(Source(m_source)));
      if (copy) {
        m_dictionaries[m_target] = copy;
        model = m_sourceBefore;
      }
      break;
    }
    case 8: {
      const Dictionary &other = Source(m_source);
      // The virtual form lets the other side walk its entries.
      const bool equal = static_cast<const Value &>(d) == other;
      FUZZ_CHECK(equal == (other == d));
      if (model == m_sourceBefore)
        FUZZ_CHECK(equal);
      if (model.size() != m_sourceBefore.size())
        FUZZ_CHECK(!equal);
      FUZZ_CHECK(!(static_cast<const Value &>(d) == a));
      break;
    }
    case 9: {
      const std::size_t stop = Which(model.size() + 2);
      std::size_t calls = 0;
      auto expected = model.begin();
      const bool finished = ForEachEntry(d, [&](const std::string &key, const Value &value) {
        FUZZ_CHECK(expected != model.end() && key == expected->first && &value == expected->second);
        ++expected;
        return ++calls != stop;
      });
      FUZZ_CHECK(finished == (stop == 0 || stop > model.size()));
      FUZZ_CHECK(calls == (finished ? model.size() : stop));
      break;
    }
    case 10: {
      const Value &value = Pooled();
      a.AddValue(value);
      list.push_back(&value);
      break;
    }
    case 11: {
      const std::size_t index = Which(list.size() + 2);
      const Value &value = Pooled();
      a.InsertValueAtIndex(index, value);
      if (index <= list.size()) // beyond the end nothing happens
        list.insert(list.begin() + index, &value);
      break;
    }
    case 12:
      a.RemoveLastValue();
      if (!list.empty())
        list.pop_back();
      break;
    case 13: {
      const std::size_t index = Which(list.size() + 1);
      a.RemoveValueAtIndex(index);
      if (index < list.size())
        list.erase(list.begin() + index);
      break;
    }
    case 14: {
      const std::size_t index = Which(list.size() + 1);
      const Value &value = Pooled();
      a.ReplaceValueAtIndex(index, value);
      if (index < list.size())
        list[index] = &value;
      break;
    }
    case 15: {
      const std::size_t index = Which(list.size() + 2);
      FUZZ_CHECK(&a.GetValueAtIndex(index) == (index < list.size() ? list[index] : &Value::Null()));
      FUZZ_CHECK(&a[static_cast<int>(index)] == &a.GetValueAtIndex(index));
      FUZZ_CHECK(&a[-1] == &Value::Null());
      break;
    }
    case 16: {
      // The pool lets go of a value, which may now live only in containers.
      // A factory that gets no block answers an empty handle.
      Handle &slot = m_pool[Which(m_pool.size())];
      Handle fresh = m_input.ConsumeBool() ? MakeValue(m_input.ConsumeIntegral<int>()) : MakeValue(Key());
      if (fresh)
        slot = fresh;
      else
        FUZZ_CHECK(m_allocator.Failures() != 0);
      break;
    }
    default: {
      const Array &other = *m_arrays[(m_target + 1) % 2];
      const bool equal = static_cast<const Value &>(a) == other;
      FUZZ_CHECK(equal == (other == a));
      if (list == m_lists[(m_target + 1) % 2])
        FUZZ_CHECK(equal);
      if (list.size() != other.Count())
        FUZZ_CHECK(!equal);
      break;
    }
    }
  }

  // The state an operation that raised std::bad_alloc must leave.
  void Recover(int operation) {
    DictionaryModel &model = m_models[m_target];
    switch (operation) {
    case 0:
    case 7:
      model = m_before; // unchanged; a failed copy made no dictionary
      break;
    case 4:
    case 5:
      model.clear(); // emptied before the copy that failed
      break;
    case 6: {
      // The entries stored before the failure stay as they were made.
      const DictionaryModel actual = CollectionTest::EntriesOf(*m_dictionaries[m_target]);
      bool prefix = false;
      for (std::size_t count = 0; count <= m_sourceBefore.size() && !prefix; ++count)
        prefix = actual == WithEntries(m_before, m_sourceBefore, count);
      FUZZ_CHECK(prefix);
      model = actual;
      break;
    }
    case 10:
    case 11:
      m_lists[m_target % 2] = m_listBefore;
      break;
    default:
      FUZZ_CHECK(!"this operation allocates nothing that may fail");
    }
  }

  void Verify() {
    std::vector<const Value *> handles;
    for (const Handle &value : m_pool)
      handles.push_back(value.Get());
    handles.push_back(m_inner.Get());
    for (std::size_t i = 0; i < 3; ++i) {
      FUZZ_CHECK(CollectionTest::EntriesOf(*m_dictionaries[i]) == m_models[i]);
      FUZZ_CHECK(m_dictionaries[i]->Count() == m_models[i].size());
      handles.push_back(m_dictionaries[i].Get());
    }
    for (std::size_t i = 0; i < 2; ++i) {
      FUZZ_CHECK(CollectionTest::ElementsOf(*m_arrays[i]) == m_lists[i]);
      handles.push_back(m_arrays[i].Get());
    }
    FUZZ_CHECK(CollectionTest::EntriesOf(*m_inner) == m_innerModel);
    CheckReferenceCounts(handles);
  }

  FuzzedDataProvider &m_input;
  CollectionTest::CountingAllocator m_allocator; // installed before any value is made
  std::vector<Handle> m_pool;
  Runtime::Ref<const Dictionary> m_inner;
  DictionaryModel m_innerModel;
  Runtime::Ref<Dictionary> m_dictionaries[3];
  DictionaryModel m_models[3];
  Runtime::Ref<Array> m_arrays[2];
  ArrayModel m_lists[2];

  // The operation under way: its operands and the models before it.
  std::size_t m_target = 0;
  std::size_t m_source = 0;
  bool m_threw = false;
  DictionaryModel m_before;
  DictionaryModel m_sourceBefore;
  ArrayModel m_listBefore;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Session session(input);
  while (input.remaining_bytes() != 0)
    session.Step();
  session.Finish();
  return 0;
}
