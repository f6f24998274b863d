//===- value_test.cpp - The root interface and what every kind answers ----===//
//
// One table of values of every kind, with what the accessors answer for each
// and how each prints, checked against the rules that hold across kinds:
// the root's defaults, equality only within a kind, Print that leaves the
// caller's stream flags alone, ToString and Log with the Print text.
//
//===----------------------------------------------------------------------===//

#include "support/Holder.h"
#include "support/Tracked.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <typeinfo>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::Make;
using Handle = Runtime::Ref<const Value>;
using Buffer = Container::basic_data<unsigned char>;

namespace {

// A kind that overrides nothing: every answer is the root's default.
class Plain : public Value {
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

// A value of some kind, with what the accessors answer and how it prints.
struct Sample {
  const char *name;
  std::function<Handle()> make; // an equal value on every call
  bool truth;
  long integer;
  unsigned long natural;
  double real;
  std::string text;    // StringValue
  std::size_t bytes;   // DataValue().size()
  unsigned long count; // Count
  std::string printed; // Print into a stream set to hex, showbase, uppercase, fixed, precision 2
  std::string shown;   // ToString
};

class ValueKindsTest : public ::testing::Test {
protected:
  // Every sample differs from every other one, in kind or in content.
  std::vector<Sample> Samples() const {
    const std::string tracked = std::string("<") + typeid(CollectionTest::Tracked).name() + ">";
    const std::string number = std::string("<") + typeid(Number).name() + ">";
    return {
        {"null", [] { return Handle(Value::Null()); }, false, 0, 0, 0.0, "", 0, 0, "(null)", "(null)"},
        {"plain", [this] { return plain; }, false, 0, 0, 0.0, "", 0, 0, "(value)", "(value)"},
        {"another plain", [this] { return otherPlain; }, false, 0, 0, 0.0, "", 0, 0, "(value)", "(value)"},
        {"true", [] { return MakeValue(true); }, true, 1, 1, 1.0, "true", 0, 0, "true", "true"},
        {"false", [] { return Handle(Boolean::False()); }, false, 0, 0, 0.0, "false", 0, 0, "false", "false"},
        {"255", [] { return MakeValue(255); }, true, 255, 255, 255.0, "255", 0, 0, "0XFF", "255"},
        {"-1", [] { return MakeValue(-1L); }, true, -1, 4294967295ul, -1.0, "-1", 0, 0, "0XFFFFFFFF", "-1"},
        {"4294967295", [] { return MakeValue(4294967295ul); }, true, -1, 4294967295ul, 4294967295.0, "4294967295", 0,
         0, "0XFFFFFFFF", "4294967295"},
        {"pi", [] { return MakeValue(3.14159265); }, true, 3, 3, 3.14159265, "3.14159", 0, 0, "3.14", "3.14159"},
        {"text", [] { return MakeValue(" 42 apples"); }, true, 42, 42, 42.0, " 42 apples", 0, 0, " 42 apples",
         " 42 apples"},
        {"text 255", [] { return MakeValue("255"); }, true, 255, 255, 255.0, "255", 0, 0, "255", "255"},
        {"text true", [] { return MakeValue("true"); }, true, 0, 0, 0.0, "true", 0, 0, "true", "true"},
        {"empty text", [] { return MakeValue(""); }, false, 0, 0, 0.0, "", 0, 0, "", ""},
        {"bytes 255", [] { return MakeValue(Buffer(reinterpret_cast<const unsigned char *>("255"), 3)); }, false, 0,
         0, 0.0, "", 3, 0, "<0X3 bytes>", "<3 bytes>"},
        {"no bytes", [] { return MakeValue(Buffer()); }, false, 0, 0, 0.0, "", 0, 0, "<0 bytes>", "<0 bytes>"},
        {"object", [this] { return MakeValue(*object); }, false, 0, 0, 0.0, "", 0, 0, tracked, tracked},
        {"wrapped 255", [this] { return MakeValue(static_cast<const Runtime::Object &>(*n255)); }, false, 0, 0, 0.0,
         "", 0, 0, number, number},
        {"empty array", [] { return Handle(Make<Array>()); }, false, 0, 0, 0.0, "", 0, 0, "{ }", "{ }"},
        {"empty dictionary", [] { return Handle(Make<Dictionary>()); }, false, 0, 0, 0.0, "", 0, 0, "{ }", "{ }"},
        // Elements print straight into the caller's stream; entries print
        // through their own ToString.
        {"array",
         [] {
           auto array = Make<Array>();
           auto inner = Make<Dictionary>();
           inner->SetValueForKey("n", *MakeValue(255));
           array->AddValue(*inner);
           array->AddValue(*MakeValue(255));
           array->AddValue(*MakeValue("a"));
           array->AddValue(*Make<Array>());
           return Handle(array);
         },
         false, 0, 0, 0.0, "", 0, 4, "{ { 'n' = 255,\n},\n0XFF,\na,\n{ },\n}",
         "{ { 'n' = 255,\n},\n255,\na,\n{ },\n}"},
        {"dictionary",
         [] {
           auto dictionary = Make<Dictionary>();
           auto inner = Make<Dictionary>();
           inner->SetValueForKey("x", *MakeValue("y"));
           inner->SetValueForKey("it's", Value::Null());
           dictionary->SetValueForKey("n", *MakeValue(255));
           dictionary->SetValueForKey("f", *MakeValue(0.5));
           dictionary->SetValueForKey("in", *inner);
           return Handle(dictionary);
         },
         false, 0, 0, 0.0, "", 0, 3, "{ 'f' = 0.5,\n'in' = { 'it's' = (null),\n'x' = y,\n},\n'n' = 255,\n}",
         "{ 'f' = 0.5,\n'in' = { 'it's' = (null),\n'x' = y,\n},\n'n' = 255,\n}"},
    };
  }

  int deaths = 0;
  Runtime::Ref<CollectionTest::Tracked> object{new CollectionTest::Tracked(&deaths)};
  Handle n255 = MakeValue(255);
  Handle plain = Make<Plain>();
  Handle otherPlain = Make<Plain>(); // the root's equality is identity
};

TEST_F(ValueKindsTest, AccessorsConvertWhereTheyCanAndAnswerTheDefaultsElsewhere) {
  for (const Sample &sample : Samples()) {
    SCOPED_TRACE(sample.name);
    const Handle value = sample.make();
    const Value &v = *value;
    EXPECT_EQ(v.IsNull(), &v == &Value::Null());
    EXPECT_EQ(v.BoolValue(), sample.truth);
    EXPECT_EQ(!v, !sample.truth);
    EXPECT_EQ(v.IntValue(), sample.integer);
    EXPECT_EQ(v.UnsignedIntValue(), sample.natural);
    EXPECT_EQ(v.FloatValue(), static_cast<float>(sample.real));
    EXPECT_EQ(v.DoubleValue(), sample.real);
    EXPECT_EQ(v.StringValue(), sample.text);
    EXPECT_EQ(static_cast<std::string>(v), sample.text);
    EXPECT_EQ(v.DataValue().size(), sample.bytes);
    if (dynamic_cast<const Data *>(&v) == nullptr) {
      EXPECT_EQ(v.DataValue().data(), nullptr);
    }
    EXPECT_EQ(v.PointerValue(), nullptr);
    EXPECT_EQ(v.Count(), sample.count);
    if (sample.count == 0) {
      for (const Value *found : {&v[0], &v[-1], &v["a.b"], &v.GetValueAtIndex(7), &v.GetValueForKey("")})
        EXPECT_EQ(found, &Value::Null());
    }
    if (dynamic_cast<const Collection::Object *>(&v) == nullptr) {
      EXPECT_EQ(&v.ObjectValue(), static_cast<const Runtime::Object *>(&v));
    }
  }
}

TEST_F(ValueKindsTest, AValueEqualsOnlyValuesOfItsKindWithTheSameContent) {
  const std::vector<Sample> samples = Samples();
  std::vector<Handle> values, twins;
  for (const Sample &sample : samples) {
    values.push_back(sample.make());
    twins.push_back(sample.make());
  }
  for (std::size_t i = 0; i < samples.size(); ++i) {
    for (std::size_t j = 0; j < samples.size(); ++j) {
      SCOPED_TRACE(std::string(samples[i].name) + " against " + samples[j].name);
      EXPECT_EQ(*values[i] == *twins[j], i == j);
      EXPECT_EQ(*values[i] != *twins[j], i != j);
    }
  }
}

TEST_F(ValueKindsTest, PrintWritesTheTextWithTheCallersFlagsAndLeavesThem) {
  for (const Sample &sample : Samples()) {
    SCOPED_TRACE(sample.name);
    const Handle value = sample.make();
    std::ostringstream os;
    os << std::hex << std::showbase << std::uppercase << std::fixed << std::setprecision(2);
    const auto flags = os.flags();
    value->Print(os);
    EXPECT_EQ(os.str(), sample.printed);
    EXPECT_EQ(os.flags(), flags);
    EXPECT_EQ(os.precision(), 2);
    // ToString starts from a default-formatted stream.
    EXPECT_EQ(value->ToString(), sample.shown);
    std::ostringstream defaultStream;
    value->Print(defaultStream);
    EXPECT_EQ(defaultStream.str(), sample.shown);
    // Insertion is Print, flags and all.
    std::ostringstream inserted;
    inserted << std::hex << std::showbase << std::uppercase << std::fixed << std::setprecision(2);
    inserted << *value << '|';
    EXPECT_EQ(inserted.str(), sample.printed + "|");

    std::ostringstream captured;
    std::streambuf *saved = std::cerr.rdbuf(captured.rdbuf());
    value->Log();
    std::cerr.rdbuf(saved);
    EXPECT_EQ(captured.str(), sample.shown + "\n");
  }
}

// Insertion is chosen over the conversion operators for the root and for
// every kind, whether named by its own class or through a handle.
template <typename Kind> std::string Inserted(const Kind &value) {
  std::ostringstream os;
  os << value;
  return os.str();
}

TEST(InsertionTest, EveryKindInsertsItsPrintText) {
  const Number number(7);
  EXPECT_EQ(Inserted(number), "7");
  EXPECT_EQ(Inserted(Boolean::True()), "true");
  EXPECT_EQ(Inserted(*Make<String>("s")), "s");
  EXPECT_EQ(Inserted(*Make<Data>("ab", 2ul)), "<2 bytes>");
  EXPECT_EQ(Inserted(*Make<Array>()), "{ }");
  EXPECT_EQ(Inserted(*Make<Dictionary>()), "{ }");
  EXPECT_EQ(Inserted(Value::Null()), "(null)");
  const Runtime::Ref<const Number> handle(new Number(2.5));
  EXPECT_EQ(Inserted(*handle), "2.5");
  std::ostringstream chained;
  chained << Number(1) << ',' << *MakeValue("x") << std::endl;
  EXPECT_EQ(chained.str(), "1,x\n");
}

// The kinds that never change after construction can be copied where the
// interface allows it, but not assigned.
static_assert(!std::is_copy_assignable<Number>::value && !std::is_move_assignable<Number>::value, "");
static_assert(!std::is_copy_assignable<Boolean>::value && !std::is_move_assignable<Boolean>::value, "");
static_assert(!std::is_copy_assignable<String>::value && !std::is_move_assignable<String>::value, "");
static_assert(std::is_copy_constructible<Number>::value, "");

// Eight threads read one shared tree of settings at once, each copying
// handles on the shared values and dropping them again. Every reader must see
// the tree as it was built; run under ThreadSanitizer, no race may show.
TEST(ValueThreadTest, ManyReadersShareOneTree) {
  auto settings = Make<Dictionary>();
  auto list = Make<Array>();
  for (int i = 0; i < 64; ++i) {
    auto inner = Make<Dictionary>();
    inner->SetValueForKey("n", *MakeValue(i));
    inner->SetValueForKey("text", *MakeValue(std::to_string(i)));
    inner->SetValueForKey("on", i % 2 ? Boolean::True() : Boolean::False());
    settings->SetValueForKey("k" + std::to_string(i), *inner);
    list->AddValue(*inner);
  }
  settings->SetValueForKey("list", *list);
  const std::string expected = settings->ToString();
  auto walk = [&] {
    long sum = 0;
    for (const auto &[name, value] : *settings)
      sum += static_cast<long>(name.size()) + static_cast<long>(value.Count());
    for (const Value &entry : *list)
      sum += entry["n"].IntValue();
    return sum;
  };
  const long expectedSum = walk();

  std::atomic<bool> stop(false);
  std::atomic<long> failures(0), rounds(0);
  auto reader = [&](int seed) {
    std::vector<Handle> kept;
    for (unsigned long round = seed; !stop.load(std::memory_order_relaxed); ++round) {
      const int i = static_cast<int>(round % 64);
      const std::string key = "k" + std::to_string(i);
      const Value &n = settings->GetValueForKeyPath(key + ".n");
      const long sum = walk();
      kept.emplace_back(settings->GetValueForKey(key));
      kept.emplace_back(list->GetValueAtIndex(i));
      Handle copy(new Dictionary(*settings));
      if (n.IntValue() != i || (*list)[i]["text"].StringValue() != std::to_string(i) || sum != expectedSum ||
          !(*copy == *settings) || (round % 97 == 0 && settings->ToString() != expected))
        failures.fetch_add(1);
      if (kept.size() > 256)
        kept.clear();
      rounds.fetch_add(1, std::memory_order_relaxed);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back(reader, t * 1000);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  stop = true;
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(rounds.load(), 8);
  EXPECT_EQ(settings->RetainCount(), 1ul);
  EXPECT_EQ(settings->GetValueForKey("k5").RetainCount(), 2ul); // the dictionary and the array
}

TEST(StaticValuesTest, SurviveAnyNumberOfRetainReleasePairs) {
  for (const Value *value : {&Value::Null(), static_cast<const Value *>(&Boolean::True()),
                             static_cast<const Value *>(&Boolean::False())}) {
    const unsigned long before = value->RetainCount();
    for (int i = 0; i < 100; ++i) {
      value->Retain();
      value->Release();
    }
    {
      Handle a(*value);
      Handle b = a;
      a = b;
    }
    EXPECT_EQ(value->RetainCount(), before);
  }
  EXPECT_TRUE(Value::Null().IsNull());
  EXPECT_TRUE(Boolean::True().BoolValue());
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

} // namespace
