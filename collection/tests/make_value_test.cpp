//===- make_value_test.cpp - Value factories ------------------------------===//

#include "support/CountingAllocator.h"
#include "support/Tracked.h"

#include <Collection/Collection.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;
using CollectionTest::CountingAllocator;
using CollectionTest::Tracked;
using Handle = Runtime::Ref<const Value>;
using Buffer = Container::basic_data<unsigned char>;

namespace {

const unsigned char kBytes[] = {0xde, 0xad, 0xbe, 0xef, 0x01};

// Which arguments MakeValue takes, asked without calling it: a call that
// would pick the refused overload is no call at all.
template <typename T, typename = void> struct Makes : std::false_type {};
template <typename T> struct Makes<T, std::void_t<decltype(MakeValue(std::declval<T>()))>> : std::true_type {};

// Pointers to const data other than char are refused (they would become a
// Boolean through bool); pointers to non-const data are bytes of a pointer;
// the given overloads all stay.
static_assert(!Makes<const int *>::value && !Makes<const void *>::value && !Makes<const double *>::value, "");
static_assert(!Makes<const unsigned char *>::value && !Makes<const signed char *>::value, "");
static_assert(!Makes<const Value *>::value && !Makes<const Runtime::Object *>::value, "");
static_assert(!Makes<const int *const &>::value && !Makes<int const *volatile>::value, "");
static_assert(Makes<const char *>::value && Makes<char *>::value && Makes<const char (&)[4]>::value, "");
static_assert(Makes<int *>::value && Makes<void *>::value && Makes<Value *>::value && Makes<const Value &>::value,
              "");
static_assert(Makes<bool>::value && Makes<short>::value && Makes<unsigned short>::value && Makes<int>::value &&
                  Makes<long>::value && Makes<unsigned int>::value && Makes<unsigned long>::value &&
                  Makes<float>::value && Makes<double>::value && Makes<const std::string &>::value &&
                  Makes<const Buffer &>::value && Makes<const Runtime::Object &>::value,
              "");

template <typename Kind> const Kind *As(const Handle &value) { return dynamic_cast<const Kind *>(value.Get()); }

struct Factory {
  const char *name;
  std::function<Handle()> make;
};

// One call of every overload. The arguments that own memory are made with
// the fixture, before a test installs its counting allocator, so that the
// calls allocate only for the values themselves.
class EveryFactoryTest : public ::testing::Test {
protected:
  int deaths = 0;
  Runtime::Ref<Tracked> object{new Tracked(&deaths)};
  const Buffer bytes{kBytes, sizeof kBytes};
  const std::string text = std::string(40, 'x');
  int pointee = 0;
  const std::vector<Factory> factories = {
      {"bool", [] { return MakeValue(true); }},
      {"short", [] { return MakeValue(static_cast<short>(-1)); }},
      {"unsigned short", [] { return MakeValue(static_cast<unsigned short>(65535)); }},
      {"int", [] { return MakeValue(-7); }},
      {"long", [] { return MakeValue(-1L); }},
      {"unsigned int", [] { return MakeValue(7u); }},
      {"unsigned long", [] { return MakeValue(7ul); }},
      {"float", [] { return MakeValue(0.5f); }},
      {"double", [] { return MakeValue(0.1); }},
      {"std::string", [this] { return MakeValue(text); }},
      {"const char*", [] { return MakeValue("a text longer than any short-string buffer"); }},
      {"basic_data", [this] { return MakeValue(bytes); }},
      {"void*", [this] { return MakeValue(static_cast<void *>(&pointee)); }},
      {"Runtime::Object", [this] { return MakeValue(*object); }},
  };
};

TEST_F(EveryFactoryTest, MakesANewValueWithOneReferenceInNativeMemoryEveryCall) {
  CountingAllocator allocator;
  for (const Factory &factory : factories) {
    SCOPED_TRACE(factory.name);
    Handle a = factory.make();
    Handle b = factory.make();
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_TRUE(*a == *b);
    EXPECT_EQ(a->RetainCount(), 1u);
    EXPECT_TRUE(allocator.Owns(dynamic_cast<const void *>(a.Get())));
    b.Reset();
    Handle second = a;
    a.Reset();
    EXPECT_GT(allocator.LiveBlocks(), 0u); // a handle is left
    second.Reset();
    EXPECT_EQ(allocator.LiveBlocks(), 0u);
  }
  EXPECT_EQ(object->RetainCount(), 1u);
}

TEST_F(EveryFactoryTest, AnswersAnEmptyHandleWhenTheValueGetsNoBlock) {
  CountingAllocator allocator;
  for (const Factory &factory : factories) {
    SCOPED_TRACE(factory.name);
    allocator.FailNth(1);
    Handle value;
    EXPECT_NO_THROW(value = factory.make());
    EXPECT_FALSE(value);
    EXPECT_EQ(allocator.LiveBlocks(), 0u);
  }
  EXPECT_EQ(allocator.Failures(), factories.size());
  EXPECT_EQ(object->RetainCount(), 1u); // the object was never wrapped
}

TEST(MakeValueTest, IntegersAndFloatingNumbersMakeTheNumberOfTheirKind) {
  const struct {
    const char *name;
    Handle value;
    Number::NumericType type;
    double expected;
  } numbers[] = {
      {"short", MakeValue(static_cast<short>(-32768)), Number::Int, -32768},
      {"unsigned short", MakeValue(static_cast<unsigned short>(65535)), Number::Int, 65535}, // signed Int
      {"int", MakeValue(-2147483647 - 1), Number::Int, -2147483648.0},
      {"long", MakeValue(2147483647L), Number::Int, 2147483647},
      {"unsigned int", MakeValue(4294967295u), Number::UnsignedInt, 4294967295.0},
      {"unsigned long", MakeValue(4294967295ul), Number::UnsignedInt, 4294967295.0},
      // Where long is 64 bits wide only the low 32 bits count.
      {"wide long", MakeValue(static_cast<long>(0x100000005LL)), Number::Int, 5},
      {"wide unsigned long", MakeValue(static_cast<unsigned long>(0x1FFFFFFFFULL)), Number::UnsignedInt,
       4294967295.0},
      {"float", MakeValue(0.1f), Number::Float, static_cast<double>(0.1f)},
      {"double", MakeValue(0.1), Number::Double, 0.1},
  };
  for (const auto &number : numbers) {
    SCOPED_TRACE(number.name);
    ASSERT_NE(As<Number>(number.value), nullptr);
    EXPECT_EQ(As<Number>(number.value)->Type(), number.type);
    EXPECT_EQ(number.value->DoubleValue(), number.expected);
  }
}

TEST(MakeValueTest, BooleansAreNewObjectsNotTheSharedOnes) {
  EXPECT_NE(MakeValue(true).Get(), static_cast<const Value *>(&Boolean::True()));
  EXPECT_NE(MakeValue(false).Get(), static_cast<const Value *>(&Boolean::False()));
  EXPECT_TRUE(*MakeValue(false) == Boolean::False());
}

TEST(MakeValueTest, TextsAreCopied) {
  std::string source = "apples";
  Handle fromString = MakeValue(source);
  source[0] = 'X';
  ASSERT_NE(As<String>(fromString), nullptr);
  EXPECT_EQ(fromString->StringValue(), "apples");
  EXPECT_EQ(MakeValue(std::string("a\0b", 3))->StringValue(), std::string("a\0b", 3));
  EXPECT_EQ(MakeValue("a\0b")->StringValue(), "a"); // up to the first zero byte
  EXPECT_NE(As<String>(MakeValue(std::string())), nullptr);
}

TEST(MakeValueTest, PointersAreStoredAsTheirOwnBytes) {
  int target = 0;
  for (void *pointer : {static_cast<void *>(&target), static_cast<void *>(nullptr)}) {
    Handle value = MakeValue(pointer);
    ASSERT_NE(As<Data>(value), nullptr);
    ASSERT_EQ(As<Data>(value)->Length(), sizeof(void *));
    EXPECT_EQ(std::memcmp(As<Data>(value)->Bytes(), &pointer, sizeof pointer), 0);
    EXPECT_EQ(value->PointerValue(), pointer);
    EXPECT_EQ(static_cast<void *>(*value), pointer);
  }
}

TEST(MakeValueTest, AFrameworkObjectIsWrappedWithOneReference) {
  int deaths = 0;
  Runtime::Ref<Tracked> object(new Tracked(&deaths));
  Handle value = MakeValue(*object);
  ASSERT_NE(As<Collection::Object>(value), nullptr);
  EXPECT_EQ(&value->ObjectValue(), object.Get());
  EXPECT_EQ(object->RetainCount(), 2u);
}

} // namespace
