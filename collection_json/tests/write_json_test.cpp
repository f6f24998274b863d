//===- write_json_test.cpp - Values into JSON text, and back --------------===//

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;

namespace {

Runtime::Ref<Dictionary> NewDictionary() { return Runtime::Ref<Dictionary>(new Dictionary()); }
Runtime::Ref<Array> NewArray() { return Runtime::Ref<Array>(new Array()); }

TEST(WriteJsonTest, ScalarsHaveTheirExactForms) {
  const float tenth = 0.1f;
  struct {
    Runtime::Ref<const Value> value;
    const char *json;
  } cases[] = {
      {Runtime::Ref<const Value>(Value::Null()), "null"},
      {Runtime::Ref<const Value>(Boolean::True()), "true"},
      {MakeValue(false), "false"},
      {MakeValue(0), "0"},
      {MakeValue(-2147483647L - 1), "-2147483648"},
      {MakeValue(4294967295UL), "4294967295"},
      {MakeValue(3.0), "3.0"},
      {MakeValue(-0.0), "-0.0"},
      {MakeValue(2.5), "2.5"},
      {MakeValue(0.1), "0.1"},
      {MakeValue(1e300), "1e+300"},
      {MakeValue(1e21), "1e+21"},
      {MakeValue(123456789012345680000.0), "123456789012345683968.0"},
      {MakeValue(5e-324), "5e-324"},
      {MakeValue(1.0f), "1.0"},
      {MakeValue(tenth), "0.10000000149011612"},
      {MakeValue(std::string("q\"b\\s/\b\f\n\r\t\x01\x1F\x7F\xC3\xA9", 16)),
       "\"q\\\"b\\\\s/\\b\\f\\n\\r\\t\\u0001\\u001F\x7F\xC3\xA9\""},
      {MakeValue(std::string("a\0b", 3)), "\"a\\u0000b\""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(WriteJson(*c.value), c.json);
    EXPECT_EQ(WriteJson(*c.value, JsonWriteOptions{2}), c.json);
  }
}

TEST(WriteJsonTest, CompactAndPrettyLayouts) {
  Runtime::Ref<const Value> tree = ReadJson("{\"a\":true,\"b\":[1,2.5,\"x\"],\"c\":null}");
  EXPECT_EQ(WriteJson(*tree), "{\"a\":true,\"b\":[1,2.5,\"x\"],\"c\":null}");
  Runtime::Ref<const Value> nested = ReadJson("{\"b\":{},\"a\":[1,2],\"c\":[[],{\"d\":[]}]}");
  EXPECT_EQ(WriteJson(*nested, JsonWriteOptions{2}), "{\n"
                                                     "  \"a\": [\n"
                                                     "    1,\n"
                                                     "    2\n"
                                                     "  ],\n"
                                                     "  \"b\": {},\n"
                                                     "  \"c\": [\n"
                                                     "    [],\n"
                                                     "    {\n"
                                                     "      \"d\": []\n"
                                                     "    }\n"
                                                     "  ]\n"
                                                     "}");
  EXPECT_EQ(WriteJson(*ReadJson("[1]"), JsonWriteOptions{4}), "[\n    1\n]");
  EXPECT_EQ(WriteJson(*ReadJson("{}"), JsonWriteOptions{4}), "{}");
  std::ostringstream out;
  WriteJson(*tree, out, JsonWriteOptions{1});
  EXPECT_EQ(out.str(), WriteJson(*tree, JsonWriteOptions{1}));
}

// A stream buffer with no room: every byte is refused.
class FullDevice : public std::streambuf {
protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(WriteJsonTest, AStreamThatFailsIsAJsonErrorWhateverItsExceptionMask) {
  for (std::ios::iostate mask : {std::ios::goodbit, std::ios::badbit, std::ios::failbit | std::ios::badbit}) {
    SCOPED_TRACE(mask);
    FullDevice device;
    std::ostream full(&device);
    full.exceptions(mask);
    for (int attempt = 0; attempt < 2; ++attempt) { // failing, then failed before
      try {
        WriteJson(*MakeValue(1), full);
        ADD_FAILURE() << "no error";
      } catch (const JsonError &error) {
        EXPECT_STREQ(error.what(), "cannot write the output stream");
      }
    }
    EXPECT_EQ(full.exceptions(), mask);
  }
}

// A dictionary whose entries come from its own walk, and an array that
// answers through the virtual accessors only.
class Doubling : public Array {
public:
  unsigned long Count() const override { return 3; }
  const Value &GetValueAtIndex(unsigned long index) const override { return *m_values[index]; }

private:
  Runtime::Ref<const Value> m_values[3] = {MakeValue(2), MakeValue(4), MakeValue(6)};
};

class Probe : public Runtime::Object {
protected:
  ~Probe() override = default;
};

std::string ErrorOf(const Value &value) {
  try {
    WriteJson(value);
  } catch (const JsonError &error) {
    EXPECT_EQ(error.Line(), 0u);
    EXPECT_EQ(error.Offset(), 0u);
    return error.Path() + " | " + error.what();
  }
  return "no error";
}

TEST(WriteJsonTest, DerivedContainersAreReadThroughTheirVirtualAccessors) {
  Runtime::Ref<Array> derived(new Doubling());
  EXPECT_EQ(WriteJson(*derived), "[2,4,6]");
}

TEST(WriteJsonTest, ValuesWithoutJsonFormAreErrorsNamingTheirPath) {
  Runtime::Ref<Dictionary> root = NewDictionary();
  Runtime::Ref<Dictionary> view = NewDictionary();
  root->SetValueForKey("view", *view);
  view->SetValueForKey("zoom", *MakeValue(std::nan("")));
  EXPECT_EQ(ErrorOf(*root), "view.zoom | view.zoom: NaN has no JSON form");
  view->SetValueForKey("zoom", *MakeValue(-std::numeric_limits<float>::infinity()));
  EXPECT_EQ(ErrorOf(*root), "view.zoom | view.zoom: -infinity has no JSON form");
  view->RemoveValueForKey("zoom");
  Runtime::Ref<Dictionary> odd = NewDictionary();
  root->SetValueForKey("a.b", *odd);
  odd->SetValueForKey("", *MakeValue(std::nan("")));
  EXPECT_EQ(ErrorOf(*root), "[\"a.b\"][\"\"] | [\"a.b\"][\"\"]: NaN has no JSON form");
  root->RemoveValueForKey("a.b");

  Runtime::Ref<Array> items = NewArray();
  root->SetValueForKey("items", *items);
  items->AddValue(*MakeValue(1));
  // Not UTF-8: cut short (at the very end of a long text too), overlong,
  // a surrogate, beyond U+10FFFF, a stray continuation byte.
  for (const std::string &bad :
       {std::string("\xC3"), std::string(40, 'a') + "\xF1", std::string("\xC0\x80"), std::string("\xED\xA0\x80"),
        std::string("\xF4\x90\x80\x80"), std::string("a\x80")}) {
    items->AddValue(*MakeValue(bad));
    EXPECT_EQ(ErrorOf(*root), "items[1] | items[1]: text that is not valid UTF-8 has no JSON form");
    items->RemoveLastValue();
  }
  items->AddValue(*MakeValue(std::string("\xF4\x8F\xBF\xBF\xEF\xBF\xBF\xDF\xBF")));
  EXPECT_EQ(ErrorOf(*root), "no error");
  items->RemoveLastValue();
  const unsigned char bytes[] = {1, 2};
  items->AddValue(*MakeValue(Container::basic_data<unsigned char>(bytes, 2)));
  EXPECT_EQ(ErrorOf(*root), "items[1] | items[1]: a Data value (bytes) has no JSON form");
  items->RemoveLastValue();
  Runtime::Ref<Probe> probe(new Probe());
  items->AddValue(*MakeValue(*probe));
  EXPECT_EQ(ErrorOf(*root), "items[1] | items[1]: an Object value (a wrapped framework object) has no JSON form");
  items->RemoveLastValue();
  root->SetValueForKey(std::string("\xFF"), *MakeValue(1));
  EXPECT_EQ(ErrorOf(*root), "\xFF | \xFF: a member name that is not valid UTF-8 has no JSON form");
  root->RemoveValueForKey(std::string("\xFF"));
  EXPECT_EQ(ErrorOf(*MakeValue(std::numeric_limits<double>::infinity())), " | infinity has no JSON form");
  EXPECT_EQ(WriteJson(*root), "{\"items\":[1],\"view\":{}}");

  // Nothing reaches the stream when the value has no JSON form.
  std::ostringstream out;
  items->AddValue(*MakeValue(std::nan("")));
  EXPECT_THROW(WriteJson(*root, out), JsonError);
  EXPECT_EQ(out.str(), "");
}

TEST(WriteJsonTest, NestingEndsAtAThousandLevelsEvenForADictionaryHoldingItself) {
  Runtime::Ref<const Value> deep = ReadJson(std::string(1000, '[') + std::string(1000, ']'));
  EXPECT_EQ(WriteJson(*deep).size(), 2000u);
  Runtime::Ref<Array> deeper(new Array());
  deeper->AddValue(*deep);
  EXPECT_NE(ErrorOf(*deeper).find("nesting deeper than 1000 levels"), std::string::npos);

  Runtime::Ref<Dictionary> self = NewDictionary();
  self->SetValueForKey("me", *self);
  std::string error = ErrorOf(*self);
  EXPECT_EQ(error.substr(0, 6), "me.me.");
  EXPECT_NE(error.find("nesting deeper than 1000 levels"), std::string::npos);
  self->RemoveValueForKey("me"); // breaks the cycle
}

TEST(WriteJsonTest, WhatIsReadWritesAndReadsBackEqualWithTheSameTypes) {
  const char *documents[] = {
      "[0,-1,2147483647,-2147483648,2147483648,4294967295,4294967296,-2147483649]",
      "[0.0,-0.0,1.5,1e300,1e-300,5e-324,2.2250738585072014e-308,1.7976931348623157e308,0.1,123456789.125]",
      "{\"\":\"\",\"a.b\":{\"c\":[\"\\u0000\\u001f\\\"\\\\\",\"\\ud834\\udd1e\"]},\"z\":[[],{},[null,true,false]]}",
      "\"top\"",
      "17",
      "null",
  };
  for (const char *document : documents) {
    SCOPED_TRACE(document);
    Runtime::Ref<const Value> first = ReadJson(document);
    for (unsigned indent : {0u, 3u}) {
      Runtime::Ref<const Value> second = ReadJson(WriteJson(*first, JsonWriteOptions{indent}));
      EXPECT_TRUE(*first == *second);
      EXPECT_EQ(WriteJson(*second), WriteJson(*first));
    }
  }
  // Numbers keep their types through a round trip.
  Runtime::Ref<const Value> numbers = ReadJson(WriteJson(*ReadJson("[1,4294967295,1.0,1e40]")));
  const Number::NumericType types[] = {Number::Int, Number::UnsignedInt, Number::Double, Number::Double};
  for (unsigned long i = 0; i < 4; ++i)
    EXPECT_EQ(dynamic_cast<const Number &>(numbers->GetValueAtIndex(i)).Type(), types[i]);
  // A float reads back as a double equal to it.
  for (float f : {0.1f, 1.0f / 3.0f, 3.4028235e38f, 1e-45f, -0.0f}) {
    Runtime::Ref<const Value> value = MakeValue(f);
    Runtime::Ref<const Value> back = ReadJson(WriteJson(*value));
    EXPECT_TRUE(*value == *back) << f;
  }
}

} // namespace
