//===- allocation_failure_test.cpp - Every failure point of the mutating operations -===//
//
// Each operation runs once per failure point: in trial k the k-th allocation
// attempt fails (native blocks, and standard ones such as key and text
// copies where the test's operator new reaches the library), until a trial
// meets no failure. After every trial the state is the one the operation's
// guarantee names, every reference count matches the holders that can be
// seen, and once the trial's values are released no block of either kind is
// left.
//
//===----------------------------------------------------------------------===//

#include "support/FailingAllocations.h"
#include "support/Shape.h"
#include "support/Tracked.h"
#include "support/ValueGraph.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::FailingAllocations;
using CollectionTest::Shape;
using Buffer = Container::basic_data<unsigned char>;
using Entries = std::map<std::string, const Value *>;
using Handle = Runtime::Ref<const Value>;

// Keys and texts beyond any short-string buffer, so that every copy allocates.
std::string Long(const char *name) { return std::string("beyond any short string buffer: ") + name; }

Entries EntriesOf(const Dictionary &dictionary) {
  Entries entries;
  CollectionTest::ForEachEntry(dictionary, [&entries](const std::string &key, const Value &value) {
    entries.emplace(key, &value);
    return true;
  });
  return entries;
}

std::vector<const Value *> ElementsOf(const Array &array) {
  std::vector<const Value *> elements;
  for (unsigned long i = 0; i < array.Count(); ++i)
    elements.push_back(&array.GetValueAtIndex(i));
  return elements;
}

// `entries` after storing the first `count` entries of `source` over them.
Entries WithEntries(Entries entries, const Entries &source, std::size_t count) {
  for (auto entry = source.begin(); count != 0; ++entry, --count)
    entries[entry->first] = entry->second;
  return entries;
}

// What one trial of an operation met.
struct Outcome {
  bool failed = false; // the armed allocation came and failed
  bool threw = false;  // the operation raised std::bad_alloc
};

// One trial of one operation: keeps the values its trial makes until the trial
// ends, and runs the operation once with the k-th allocation failing.
class Trial {
public:
  Trial(FailingAllocations &allocations, std::uint64_t k) : m_allocations(allocations), m_k(k) {}

  // Adopts a freshly made value, which must exist.
  template <typename Kind> Kind &Keep(Kind *fresh) {
    EXPECT_NE(fresh, nullptr);
    m_handles.emplace_back(fresh);
    return *fresh;
  }
  const Value &Keep(Handle fresh) { return Keep(fresh.Detach()); }

  // A dictionary holding a new number under each of `names` (made long).
  Dictionary &Numbers(std::initializer_list<const char *> names) {
    Dictionary &dictionary = Keep(new Dictionary);
    int n = 0;
    for (const char *name : names)
      dictionary.SetValueForKey(Long(name), Keep(MakeValue(++n)));
    return dictionary;
  }

  Outcome Attempt(const std::function<void()> &operation) {
    EXPECT_FALSE(m_attempted) << "a trial runs its operation once";
    m_attempted = true;
    m_allocations.FailNth(m_k);
    try {
      operation();
    } catch (const std::bad_alloc &) {
      m_outcome.threw = true;
    }
    m_outcome.failed = m_allocations.Heal();
    return m_outcome;
  }

  bool Attempted() const { return m_attempted; }
  const Outcome &Result() const { return m_outcome; }
  std::vector<const Value *> Handles() const {
    std::vector<const Value *> handles;
    for (const Handle &handle : m_handles)
      handles.push_back(handle.Get());
    return handles;
  }

private:
  FailingAllocations &m_allocations;
  std::uint64_t m_k;
  std::vector<Handle> m_handles;
  bool m_attempted = false;
  Outcome m_outcome;
};

struct Operation {
  std::string name;
  // Builds its values in the trial, calls Attempt once and checks the state.
  std::function<void(Trial &)> body;
};

void PrintTo(const Operation &operation, std::ostream *os) { *os << operation.name; }

// SetValueForKey: on failure the dictionary is unchanged. A key already in
// place takes the value without allocating anything.
Operation Storing(std::string name, const char *keyName) {
  return {std::move(name), [keyName](Trial &trial) {
            Dictionary &dictionary = trial.Numbers({"a", "c"});
            const Value &value = trial.Keep(MakeValue(7));
            const std::string key = Long(keyName);
            const Entries before = EntriesOf(dictionary);
            const Outcome outcome = trial.Attempt([&] { dictionary.SetValueForKey(key, value); });
            EXPECT_EQ(outcome.failed, outcome.threw);
            EXPECT_FALSE(outcome.failed && before.count(key) != 0) << "replacing a value allocates nothing";
            EXPECT_EQ(EntriesOf(dictionary), outcome.threw ? before : WithEntries(before, {{key, &value}}, 1));
          }};
}

// Dictionary operations that replace all entries: on failure the target is
// left empty and the source as it was.
Operation Replacing(std::string name, void (*replace)(Dictionary &, const Dictionary &)) {
  return {std::move(name), [replace](Trial &trial) {
            Dictionary &target = trial.Numbers({"x", "y"});
            const Dictionary &source = trial.Numbers({"a", "b", "c"});
            const Entries sourceBefore = EntriesOf(source);
            const Outcome outcome = trial.Attempt([&] { replace(target, source); });
            EXPECT_EQ(outcome.failed, outcome.threw);
            EXPECT_EQ(EntriesOf(target), outcome.threw ? Entries() : sourceBefore);
            EXPECT_EQ(EntriesOf(source), sourceBefore);
          }};
}

// Array operations that add one element: on failure the array is unchanged.
Operation Growing(std::string name, void (*add)(Array &, const Value &), std::size_t at) {
  return {std::move(name), [add, at](Trial &trial) {
            Array &array = trial.Keep(new Array);
            for (int n = 0; n < 4; ++n) // a full block of four: the next one moves the elements
              array.AddValue(trial.Keep(MakeValue(n)));
            const Value &value = trial.Keep(MakeValue("new"));
            std::vector<const Value *> expected = ElementsOf(array);
            const Outcome outcome = trial.Attempt([&] { add(array, value); });
            EXPECT_EQ(outcome.failed, outcome.threw);
            if (!outcome.threw)
              expected.insert(expected.begin() + at, &value);
            EXPECT_EQ(ElementsOf(array), expected);
          }};
}

// What the factories and constructors are given, made anew in each trial.
struct Arguments {
  std::string text = Long("text");
  Buffer bytes{reinterpret_cast<const unsigned char *>("sixteen bytes!!"), 16};
  Runtime::Ref<Data> data{new Data(bytes)};
  int target = 0;
  int deaths = 0;
  Runtime::Ref<CollectionTest::Tracked> object{new CollectionTest::Tracked(&deaths)};
};

// Makers of a new value: when the value's own block fails they answer null
// and raise nothing; when a copy inside it fails they raise std::bad_alloc
// and give the block back. Either way no value results and the object
// wrapped by `MakeValue(const Runtime::Object&)` keeps its count.
Operation Making(std::string name, std::function<const Value *(const Arguments &)> make) {
  return {std::move(name), [make](Trial &trial) {
            const Arguments arguments;
            Handle made;
            const Outcome outcome = trial.Attempt([&] { made = Handle(make(arguments)); });
            EXPECT_EQ(!made, outcome.failed);
            const bool wrapping = made && &made->ObjectValue() == arguments.object.Get();
            EXPECT_EQ(arguments.object->RetainCount(), wrapping ? 2u : 1u);
          }};
}

template <typename Argument>
Operation Factory(std::string name, std::function<Argument(const Arguments &)> argument) {
  return Making("MakeValueOf_" + name, [argument](const Arguments &arguments) {
    const Argument given = argument(arguments);
    return MakeValue(given).Detach();
  });
}

// Byte-buffer copies: on failure no copy results and the target buffer is
// unchanged.
Operation Copying(std::string name, std::function<Buffer(const Arguments &)> copy) {
  return {std::move(name), [copy](Trial &trial) {
            const Arguments arguments;
            std::optional<Buffer> result;
            const Outcome outcome = trial.Attempt([&] { result.emplace(copy(arguments)); });
            EXPECT_EQ(outcome.failed, outcome.threw);
            EXPECT_EQ(result.has_value(), !outcome.threw);
            if (result) {
              EXPECT_TRUE(*result == arguments.bytes);
            }
          }};
}

Dictionary &Nested(Trial &trial, std::initializer_list<std::pair<const char *, const Value *>> entries) {
  Dictionary &dictionary = trial.Keep(new Dictionary);
  for (const auto &[name, value] : entries)
    dictionary.SetValueForKey(Long(name), *value);
  return dictionary;
}

const Value *NumberIn(Trial &trial, int n) { return &trial.Keep(MakeValue(n)); }

std::vector<Operation> Operations() {
  std::vector<Operation> operations = {
      Storing("SetValueForKeyOfANewKey", "b"),
      Storing("SetValueForKeyOfAKeyInPlace", "a"),
      {"DictionaryCopyConstructor",
       [](Trial &trial) {
         const Dictionary &source = trial.Numbers({"a", "b", "c"});
         const Entries before = EntriesOf(source);
         Dictionary *copy = nullptr;
         const Outcome outcome = trial.Attempt([&] { copy = new Dictionary(source); });
         EXPECT_EQ(copy == nullptr, outcome.failed);
         if (copy != nullptr) {
           EXPECT_EQ(EntriesOf(trial.Keep(copy)), before);
         }
         EXPECT_EQ(EntriesOf(source), before);
       }},
      Replacing("DictionaryAssignment", [](Dictionary &target, const Dictionary &source) { target = source; }),
      Replacing("SetDictionary", [](Dictionary &target, const Dictionary &source) { target.SetDictionary(source); }),
      {"AddEntriesFromDictionary",
       [](Trial &trial) {
         Dictionary &target = trial.Numbers({"a", "x"});
         const Dictionary &source = trial.Numbers({"a", "b", "c"});
         const Entries before = EntriesOf(target);
         const Entries sourceBefore = EntriesOf(source);
         const Outcome outcome = trial.Attempt([&] { target.AddEntriesFromDictionary(source); });
         EXPECT_EQ(outcome.failed, outcome.threw);
         // What was stored before the failure stays; the failing entry is not there.
         const Entries after = EntriesOf(target);
         bool prefix = false;
         for (std::size_t count = outcome.threw ? 0 : sourceBefore.size(); count <= sourceBefore.size(); ++count)
           prefix = prefix || after == WithEntries(before, sourceBefore, count);
         EXPECT_TRUE(prefix);
         EXPECT_EQ(EntriesOf(source), sourceBefore);
       }},
      {"AddEntriesFromDictionaryHierarchically",
       [](Trial &trial) {
         // target {a: {x, y, n: {p}}, b: 5, d: {q}}; other {a: {y, z, n: {r}}, b: {k}, c: 7, d: 8, e: {w}}
         Dictionary &target = Nested(
             trial, {{"a", &Nested(trial, {{"x", NumberIn(trial, 1)},
                                       {"y", NumberIn(trial, 2)},
                                       {"n", &Nested(trial, {{"p", NumberIn(trial, 1)}})}})},
                   {"b", NumberIn(trial, 5)},
                   {"d", &Nested(trial, {{"q", NumberIn(trial, 1)}})}});
         const Dictionary &other = Nested(
             trial, {{"a", &Nested(trial, {{"y", NumberIn(trial, 3)},
                                       {"z", NumberIn(trial, 4)},
                                       {"n", &Nested(trial, {{"r", NumberIn(trial, 2)}})}})},
                   {"b", &Nested(trial, {{"k", NumberIn(trial, 0)}})},
                   {"c", NumberIn(trial, 7)},
                   {"d", NumberIn(trial, 8)},
                   {"e", &Nested(trial, {{"w", NumberIn(trial, 1)}})}});
         const std::vector<const Value *> handles = trial.Handles();
         const std::set<const Value *> existing(handles.begin(), handles.end());
         std::vector<Shape> before;
         for (const Value *value : handles)
           before.push_back(CollectionTest::ShapeOf(*value));
         const Shape targetBefore = CollectionTest::ShapeOf(target);
         const Shape otherBefore = CollectionTest::ShapeOf(other);
         const Outcome outcome = trial.Attempt([&] { target.AddEntriesFromDictionaryHierarchically(other); });
         EXPECT_EQ(outcome.failed, outcome.threw);
         // The entries merged before the failure stay merged, intact.
         const Shape after = CollectionTest::ShapeOf(target);
         bool prefix = false;
         for (std::size_t count = outcome.threw ? 0 : otherBefore.entries.size(); count <= otherBefore.entries.size();
              ++count)
           prefix = prefix || CollectionTest::Matches(after, CollectionTest::MergedShape(targetBefore, otherBefore, count), existing);
         EXPECT_TRUE(prefix);
         // No dictionary that existed before is written into, but the target.
         for (std::size_t i = 0; i < handles.size(); ++i) {
           if (handles[i] != &target) {
             EXPECT_TRUE(CollectionTest::Matches(CollectionTest::ShapeOf(*handles[i]), before[i], existing)) << i;
           }
         }
       }},
      Growing("AddValue", [](Array &array, const Value &value) { array.AddValue(value); }, 4),
      Growing("InsertValueAtIndex", [](Array &array, const Value &value) { array.InsertValueAtIndex(2, value); }, 2),
      Factory<bool>("bool", [](const Arguments &) { return true; }),
      Factory<short>("short", [](const Arguments &) { return short(-2); }),
      Factory<unsigned short>("unsigned_short", [](const Arguments &) { return static_cast<unsigned short>(2); }),
      Factory<int>("int", [](const Arguments &) { return -3; }),
      Factory<long>("long", [](const Arguments &) { return -4L; }),
      Factory<unsigned int>("unsigned_int", [](const Arguments &) { return 3u; }),
      Factory<unsigned long>("unsigned_long", [](const Arguments &) { return 4ul; }),
      Factory<float>("float", [](const Arguments &) { return 0.5f; }),
      Factory<double>("double", [](const Arguments &) { return 0.25; }),
      Factory<const std::string &>("std_string", [](const Arguments &arguments) -> const std::string & {
        return arguments.text;
      }),
      Factory<const char *>("const_char", [](const Arguments &arguments) { return arguments.text.c_str(); }),
      Factory<const Buffer &>("basic_data", [](const Arguments &arguments) -> const Buffer & { return arguments.bytes; }),
      Factory<void *>("void", [](const Arguments &arguments) { return const_cast<int *>(&arguments.target); }),
      Factory<const Runtime::Object &>("Object", [](const Arguments &arguments) -> const Runtime::Object & {
        return *arguments.object;
      }),
      Making("DataFromABuffer", [](const Arguments &arguments) { return new Data(arguments.bytes); }),
      Making("DataFromBytes",
             [](const Arguments &arguments) { return new Data(arguments.bytes.data(), arguments.bytes.size()); }),
      Copying("BufferCopyConstructor", [](const Arguments &arguments) { return Buffer(arguments.bytes); }),
      Copying("BufferFromBytes",
              [](const Arguments &arguments) { return Buffer(arguments.bytes.data(), arguments.bytes.size()); }),
      Copying("DataValue", [](const Arguments &arguments) { return arguments.data->DataValue(); }),
      {"BufferAssignment",
       [](Trial &trial) {
         const Arguments arguments;
         Buffer target(reinterpret_cast<const unsigned char *>("eight..."), 8);
         const Buffer before = target;
         const Outcome outcome = trial.Attempt([&] { target = arguments.bytes; });
         EXPECT_EQ(outcome.failed, outcome.threw);
         EXPECT_TRUE(target == (outcome.threw ? before : arguments.bytes));
       }},
  };
  return operations;
}

class AllocationFailureTest : public testing::TestWithParam<Operation> {};

TEST_P(AllocationFailureTest, EveryFailurePointLeavesTheGuaranteedState) {
  const Operation &operation = GetParam();
  FailingAllocations allocations;
  std::uint64_t points = 0;
  for (std::uint64_t k = 1;; ++k) {
    SCOPED_TRACE(testing::Message() << "allocation " << k << " fails");
    const std::size_t nativeBefore = allocations.LiveNativeBlocks();
    const long standardBefore = allocations.LiveStandardBlocks();
    bool failed = false;
    {
      Trial trial(allocations, k);
      operation.body(trial);
      ASSERT_TRUE(trial.Attempted());
      failed = trial.Result().failed;
      EXPECT_EQ(CollectionTest::MiscountedValues(trial.Handles()), "");
    }
    EXPECT_EQ(allocations.LiveNativeBlocks(), nativeBefore);
    if (CollectionTest::FailingNew::ReachesTheLibrary()) {
      EXPECT_EQ(allocations.LiveStandardBlocks(), standardBefore);
    }
    if (!failed || HasFailure())
      break;
    ++points;
    ASSERT_LT(k, 1000u) << "the operation never succeeds";
  }
  RecordProperty("failure_points", static_cast<int>(points));
  std::cout << operation.name << ": " << points << " failure points\n";
}

INSTANTIATE_TEST_SUITE_P(MutatingOperations, AllocationFailureTest, testing::ValuesIn(Operations()),
                         [](const testing::TestParamInfo<Operation> &tried) { return tried.param.name; });

} // namespace
