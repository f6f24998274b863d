//===- read_json_test.cpp - JSON text into values -------------------------===//

#include <Collection/Collection.h>
#include <Collection/Json.h>

#include "support/FailingAllocations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

using namespace Zorbin::Tessel;
using namespace Zorbin::Tessel::Collection;

namespace {

const Number &AsNumber(const Value &value) {
  const Number *number = dynamic_cast<const Number *>(&value);
  EXPECT_NE(number, nullptr);
  static const Number zero(0L);
  return number != nullptr ? *number : zero;
}

struct NumberCase {
  const char *text;
  Number::NumericType type;
  double value;
};

TEST(ReadJsonTest, NumbersTakeTheirTypeFromTheLiteralAndRoundCorrectly) {
  const double min = std::numeric_limits<double>::denorm_min();
  const NumberCase cases[] = {
      {"0", Number::Int, 0},
      {"-0", Number::Int, 0},
      {"2147483647", Number::Int, 2147483647.0},
      {"-2147483648", Number::Int, -2147483648.0},
      {"2147483648", Number::UnsignedInt, 2147483648.0},
      {"4294967295", Number::UnsignedInt, 4294967295.0},
      {"4294967296", Number::Double, 4294967296.0},
      {"-2147483649", Number::Double, -2147483649.0},
      {"00000000001", Number::Double, 0}, // not JSON: checked below as an error
      {"1.0", Number::Double, 1.0},
      {"1e2", Number::Double, 100.0},
      {"-0.0", Number::Double, -0.0},
      {"0.1", Number::Double, 0.1},
      {"9007199254740993", Number::Double, 9007199254740992.0}, // tie to even
      {"9007199254740995", Number::Double, 9007199254740996.0}, // tie to even
      {"1.7976931348623157e308", Number::Double, 1.7976931348623157e308},
      {"4.9406564584124654e-324", Number::Double, min},
      {"2.4703282292062328e-324", Number::Double, min}, // just above half: rounds up
      {"2.4703282292062327e-324", Number::Double, 0.0}, // just below half: rounds to 0
      {"1e-400", Number::Double, 0.0},
      {"-1e-400", Number::Double, -0.0},
      {"0E38", Number::Double, 0.0},
      {"0e400", Number::Double, 0.0},
      {"0.0001e309", Number::Double, 1e305},
      {"128.74836467836484838364836483643636483648e-336", Number::Double, 0.0}, // below the least subnormal
      {"123456789012345678901234567890", Number::Double, 1.2345678901234568e29},
  };
  for (const NumberCase &c : cases) {
    SCOPED_TRACE(c.text);
    if (std::strcmp(c.text, "00000000001") == 0) {
      EXPECT_THROW(ReadJson(c.text), JsonError);
      continue;
    }
    Runtime::Ref<const Value> value = ReadJson(c.text);
    const Number &number = AsNumber(*value);
    EXPECT_EQ(number.Type(), c.type);
    EXPECT_EQ(number.DoubleValue(), c.value);
    EXPECT_EQ(std::signbit(number.DoubleValue()), std::signbit(c.value));
  }
}

TEST(ReadJsonTest, LongLiteralsAreConvertedExactly) {
  // 400 digits with an exponent that brings them back into range.
  std::string digits = "1" + std::string(399, '0');
  EXPECT_EQ(ReadJson("[" + digits + "e-300]")->GetValueAtIndex(0).DoubleValue(), 1e99);
  EXPECT_EQ(ReadJson("{\"a\":0." + std::string(400, '0') + "1e401, \"b\": 7}")->GetValueForKey("a").DoubleValue(),
            1.0);
  EXPECT_EQ(ReadJson(digits + "e-300 ")->DoubleValue(), 1e99);
}

TEST(ReadJsonTest, ScalarsStringsAndContainers) {
  EXPECT_EQ(ReadJson("null").Get(), &Value::Null());
  EXPECT_EQ(ReadJson(" true ").Get(), &Boolean::True());
  EXPECT_EQ(ReadJson("\tfalse\n").Get(), &Boolean::False());

  struct {
    const char *json;
    std::string bytes;
  } strings[] = {
      {"\"\"", ""},
      {"\"a\\\"b\\\\c\\/d\"", "a\"b\\c/d"},
      {"\"\\b\\f\\n\\r\\t\"", "\b\f\n\r\t"},
      {"\"x\\u0000y\"", std::string("x\0y", 3)},
      {"\"\\u00e9\\u20AC\"", "\xC3\xA9\xE2\x82\xAC"},
      {"\"\\uD83D\\uDE00\"", "\xF0\x9F\x98\x80"},
      {"\"\xF0\x9F\x98\x80 \xC3\xA9\"", "\xF0\x9F\x98\x80 \xC3\xA9"},
  };
  for (const auto &c : strings) {
    SCOPED_TRACE(c.json);
    Runtime::Ref<const Value> value = ReadJson(c.json);
    const String *string = dynamic_cast<const String *>(value.Get());
    ASSERT_NE(string, nullptr);
    EXPECT_EQ(string->Str(), c.bytes);
  }

  Runtime::Ref<const Value> tree = ReadJson("{\"b\":[1,2.5,\"x\",[],{}],\"a\":{\"k\":null},\"a\":{\"j\":true}}");
  const Dictionary *root = dynamic_cast<const Dictionary *>(tree.Get());
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Count(), 2u);
  EXPECT_TRUE(root->GetValueForKeyPath("a.j").BoolValue()) << "a key given twice keeps its last value";
  EXPECT_EQ(root->GetValueForKeyPath("a").Count(), 1u);
  const Value &list = root->GetValueForKey("b");
  ASSERT_NE(dynamic_cast<const Array *>(&list), nullptr);
  EXPECT_EQ(list.Count(), 5u);
  EXPECT_EQ(AsNumber(list.GetValueAtIndex(1)).Type(), Number::Double);
  EXPECT_NE(dynamic_cast<const Array *>(&list.GetValueAtIndex(3)), nullptr);
  EXPECT_NE(dynamic_cast<const Dictionary *>(&list.GetValueAtIndex(4)), nullptr);
}

TEST(ReadJsonTest, ByteOrderMarkIsSkippedAndCountsInOffsets) {
  EXPECT_EQ(ReadJson("\xEF\xBB\xBF{\"a\":1}")->GetValueForKey("a").IntValue(), 1);
  try {
    ReadJson("\xEF\xBB\xBF[x]");
    FAIL() << "no error";
  } catch (const JsonError &error) {
    EXPECT_EQ(error.Offset(), 4u);
    EXPECT_EQ(error.Column(), 5u);
  }
}

struct ErrorCase {
  std::string text;
  std::size_t line, column, offset;
  const char *path;
  const char *message;
};

TEST(ReadJsonTest, ErrorsTellWhereTheInputStoppedMakingSense) {
  const ErrorCase cases[] = {
      {"", 1, 1, 0, "", "line 1, column 1: no JSON value (the input is empty or only white space)"},
      {"  \n ", 2, 2, 4, "", "line 2, column 2: no JSON value (the input is empty or only white space)"},
      {"  \n  \n", 3, 1, 6, "", "line 3, column 1: no JSON value (the input is empty or only white space)"},
      {"{\n  \"a\": tru }", 2, 11, 12, "a", "line 2, column 11: invalid value"},
      {"[1, 2, x]", 1, 8, 7, "[2]", "line 1, column 8: invalid value"},
      {"{\"view\": {\"zoom\": 1e999}}", 1, 19, 18, "view.zoom", "line 1, column 19: number out of range"},
      {"{\"items\": [0, 1, 2, -1.5e400]}", 1, 21, 20, "items[3]", "line 1, column 21: number out of range"},
      {"[1] [2]", 1, 5, 4, "", "line 1, column 5: unexpected text after the JSON value"},
      {std::string("[1]\0", 4), 1, 4, 3, "", "line 1, column 4: unexpected text after the JSON value"},
      {"{\"a\" 1}", 1, 6, 5, "a", "line 1, column 6: expected ':' after the member name"},
      {"{\"a\":1,}", 1, 8, 7, "", "line 1, column 8: expected a member name in double quotes"},
      {"[1 2]", 1, 4, 3, "[1]", "line 1, column 4: expected ',' or ']' after the element"},
      {"\"a\nb\"", 1, 3, 2, "", "line 1, column 3: control character in a string (write it as an escape)"},
      {"[\"\xC3\x28\"]", 1, 3, 2, "[0]", "line 1, column 3: invalid UTF-8 in a string"},
      {"[\"\xED\xA0\x80\"]", 1, 3, 2, "[0]", "line 1, column 3: invalid UTF-8 in a string"},
      {"\"\\uD800\"", 1, 2, 1, "", "line 1, column 2: lone surrogate in a \\u escape"},
      {"\"\\uDC00\"", 1, 2, 1, "", "line 1, column 2: lone surrogate in a \\u escape"},
      {"{\"k\\\"\\\\\": [\"ab\\uD834\\uDD1E\\n\\uDFFF\"]}", 1, 29, 28, "[\"k\\\"\\\\\"][0]",
       "line 1, column 29: lone surrogate in a \\u escape"},
      {"{\"a.b\": {\"c[0]\": x}}", 1, 18, 17, "[\"a.b\"][\"c[0]\"]", "line 1, column 18: invalid value"},
      {"{\"\": [1, x]}", 1, 10, 9, "[\"\"][1]", "line 1, column 10: invalid value"},
      {"{\"a]\": {\"b\": {\"c\": x}}}", 1, 20, 19, "[\"a]\"].b.c", "line 1, column 20: invalid value"},
      {"\"abc", 1, 5, 4, "", "line 1, column 5: unterminated string"},
      {std::string("[\"a\0b\"]", 7), 1, 4, 3, "[0]",
       "line 1, column 4: control character in a string (write it as an escape)"},
      {std::string("{\"\0\":1}", 7), 1, 3, 2, "",
       "line 1, column 3: control character in a string (write it as an escape)"},
      {"01", 1, 2, 1, "", "line 1, column 2: unexpected text after the JSON value"},
      {"1.", 1, 3, 2, "", "line 1, column 3: expected digits after the decimal point"},
      {"NaN", 1, 1, 0, "", "line 1, column 1: invalid value"},
      {"\"ab\xF1", 1, 4, 3, "", "line 1, column 4: invalid UTF-8 in a string"}, // cut off by the end
  };
  for (const ErrorCase &c : cases) {
    SCOPED_TRACE(c.text);
    try {
      ReadJson(c.text);
      ADD_FAILURE() << "no error";
    } catch (const JsonError &error) {
      EXPECT_EQ(error.Line(), c.line);
      EXPECT_EQ(error.Column(), c.column);
      EXPECT_EQ(error.Offset(), c.offset);
      EXPECT_EQ(error.Path(), c.path);
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(ReadJsonTest, NestingIsLimitedToAThousandLevelsWithoutRecursion) {
  std::string deep = std::string(1000, '[') + std::string(1000, ']');
  EXPECT_EQ(ReadJson(deep)->Count(), 1u);
  std::string tooDeep = std::string(1001, '[') + std::string(1001, ']');
  try {
    ReadJson(tooDeep);
    FAIL() << "no error";
  } catch (const JsonError &error) {
    EXPECT_EQ(error.Offset(), 1000u);
    EXPECT_EQ(error.Path().substr(0, 9), "[0][0][0]");
    EXPECT_NE(std::string(error.what()).find("nesting deeper than 1000 levels"), std::string::npos);
  }
  // A million levels: an error, never a stack overflow.
  EXPECT_THROW(ReadJson(std::string(1000000, '[')), JsonError);
  EXPECT_THROW(ReadJson(std::string(1000000, '{')), JsonError);
}

// A stream buffer whose device fails at the first read.
class LostDevice : public std::streambuf {
protected:
  int_type underflow() override { throw std::runtime_error("device lost"); }
};

// What reading `in` gives: the value's compact text or the error's message.
std::string ReadOutcome(std::istream &in) {
  try {
    return WriteJson(*ReadJson(in));
  } catch (const JsonError &error) {
    return error.what();
  }
}

TEST(ReadJsonTest, StreamsAreReadToTheirEndWhateverTheirExceptionMask) {
  for (std::ios::iostate mask : {std::ios::goodbit, std::ios::failbit | std::ios::badbit,
                                 std::ios::eofbit | std::ios::failbit | std::ios::badbit}) {
    SCOPED_TRACE(mask);
    std::istringstream in("\n  {\"a\": [1, 2]}\n"), bad("{\n\"a\": }");
    LostDevice device;
    std::istream lost(&device);
    for (std::istream *stream : {static_cast<std::istream *>(&in), static_cast<std::istream *>(&bad), &lost})
      stream->exceptions(mask);
    EXPECT_EQ(ReadOutcome(in), "{\"a\":[1,2]}");
    EXPECT_FALSE(in.fail()) << "reaching the end is no failure";
    EXPECT_EQ(ReadOutcome(bad), "line 2, column 6: invalid value");
    EXPECT_EQ(ReadOutcome(lost), "cannot read the input stream");
    EXPECT_EQ(in.exceptions(), mask);
    EXPECT_EQ(lost.exceptions(), mask);
  }
  // A stream that failed before (a file that did not open) is no empty input.
  std::ifstream missing("read_json_test-no-such-file.json");
  EXPECT_EQ(ReadOutcome(missing), "cannot read the input stream");
}

TEST(ReadJsonTest, RunningOutOfMemoryAnywhereLeaksNothing) {
  const std::string text = "{\"name\":\"a string longer than any short string buffer\",\"list\":[1,2.5,"
                           "\"x\",{\"k\":[true,null]}],\"n\":4294967295}";
  bool completed = false;
  for (std::uint64_t k = 1; !completed && k < 1000; ++k) {
    CollectionTest::FailingAllocations allocations;
    allocations.FailNth(k);
    try {
      Runtime::Ref<const Value> value = ReadJson(text);
      completed = !allocations.Heal();
    } catch (const std::bad_alloc &) {
      allocations.Heal();
    }
    EXPECT_EQ(allocations.LiveNativeBlocks(), 0u) << "attempt " << k;
  }
  EXPECT_TRUE(completed);
}

} // namespace
