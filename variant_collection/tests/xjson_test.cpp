//===- xjson_test.cpp - JSON for script authors ---------------------------===//
//
// XJson through its vtable: the mapping both ways, the exact output forms
// (expected texts made once with node's JSON.stringify), errors with their
// positions, nesting, cycles, mixed collections, dictionaries and arrays,
// files in every encoding with atomic replacement, and allocation failure.
//
//===----------------------------------------------------------------------===//

#include "ServerModule.h"

#include "support/ClientObjects.h"
#include "support/ServerTest.h"
#include "support/TaskMemory.h"

#include <CollectionTesting/FailingNew.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

using namespace ServerTest;
using CollectionTest::FailingNew::FailingAttempt;

namespace {

/// A JSON text, the indent, and what node's JSON.stringify(JSON.parse(text),
/// null, indent) writes.
struct NodeCase {
  const wchar_t *text;
  int indent;
  const wchar_t *expected;
};

// Made with node 20.
const NodeCase kNodeCases[] = {
    {L"[0, -0, -0.0, 1, -1, 100, 1e2, 1E+2, 0.1e1, 2147483647, 2147483648, -2147483648, -2147483649]", 0,
     L"[0,0,0,1,-1,100,100,100,1,2147483647,2147483648,-2147483648,-2147483649]"},
    {L"[1e21, 1e20, 123456789012345680000, 1.5e-7, 1e-7, 0.000001, 0.0000015, 123e-20, 1.7976931348623157e308]", 0,
     L"[1e+21,100000000000000000000,123456789012345680000,1.5e-7,1e-7,0.000001,0.0000015,1.23e-18,1."
     L"7976931348623157e+308]"},
    {L"[5e-324, 2.2250738585072014e-308, 0.1, 0.30000000000000004, 9007199254740993, 12345678901234567890, 1e-400]",
     0, L"[5e-324,2.2250738585072014e-308,0.1,0.30000000000000004,9007199254740992,12345678901234567000,0]"},
    {L"[3.0, 3.14159, -2.5e+10, 1.25e+21, 4.35e-6, 1e+300, 0.5, 100.25]", 0,
     L"[3,3.14159,-25000000000,1.25e+21,0.00000435,1e+300,0.5,100.25]"},
    {L"[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\", \"\\u0000\\u0001\\u001f\\u0020\\u007f\", \"\\u00e9\\u20ac\\ud83d\\ude00\", "
     L"\"\u00E9\u20AC\U0001F600\u2028\"]",
     0,
     L"[\"\\\"\\\\/\\b\\f\\n\\r\\t\",\"\\u0000\\u0001\\u001f "
     L"\177\",\"\u00E9\u20AC\U0001F600\",\"\u00E9\u20AC\U0001F600\u2028\"]"},
    {L"[\"\\ud800\", \"\\udfff\", \"a\\ud800b\", \"\\udc00\\ud800\", \"\\uDBFF\\uDFFF\", \"\\uD834\"]", 0,
     L"[\"\\ud800\",\"\\udfff\",\"a\\ud800b\",\"\\udc00\\ud800\",\"\U0010FFFF\",\"\\ud834\"]"},
    {L"{\"a\": [], \"b\": {}, \"c\": [{}], \"d\": [[]], \"\": 1, \"e\": {\"f\": null}}", 0,
     L"{\"a\":[],\"b\":{},\"c\":[{}],\"d\":[[]],\"\":1,\"e\":{\"f\":null}}"},
    {L"{\"a\": [], \"b\": {}, \"c\": [{}], \"d\": [[]], \"\": 1, \"e\": {\"f\": null}}", 2,
     L"{\n  \"a\": [],\n  \"b\": {},\n  \"c\": [\n    {}\n  ],\n  \"d\": [\n    []\n  ],\n  \"\": 1,\n  \"e\": {\n   "
     L" \"f\": null\n  }\n}"},
    {L"[1, [2, [3, {\"x\": true, \"y\": false}]], \"s\"]", 1,
     L"[\n 1,\n [\n  2,\n  [\n   3,\n   {\n    \"x\": true,\n    \"y\": false\n   }\n  ]\n ],\n \"s\"\n]"},
    {L"[1, [2, [3, {\"x\": true, \"y\": false}]], \"s\"]", 4,
     L"[\n    1,\n    [\n        2,\n        [\n            3,\n            {\n                \"x\": true,\n        "
     L"        \"y\": false\n            }\n        ]\n    ],\n    \"s\"\n]"},
    {L"{\"deep\": {\"er\": [10, {\"est\": [null]}]}}", 10,
     L"{\n          \"deep\": {\n                    \"er\": [\n                              10,\n                  "
     L"            {\n                                        \"est\": [\n                                           "
     L"       null\n                                        ]\n                              }\n                    "
     L"]\n          }\n}"},
    {L"{\"a\": 1, \"b\": 2, \"a\": 3, \"c\": 4, \"b\": 5}", 0, L"{\"a\":3,\"b\":5,\"c\":4}"},
    {L"{}", 3, L"{}"},
    {L"[]", 3, L"[]"},
    {L"\"text\"", 2, L"\"text\""},
    {L"true", 0, L"true"},
    {L"null", 5, L"null"},
    {L"-12.5e-3", 0, L"-0.0125"},
};

/// SHA-256 of node's JSON.stringify(JSON.parse(file), null, indent), in
/// UTF-8, and its size.
struct DocumentCase {
  const wchar_t *file;
  int indent;
  std::size_t size;
  const char *sha256;
};

const DocumentCase kDocuments[] = {
    {L"twitter.json", 0, 466906, "584c28f40d3e00dd6aed43b80cec9f8df9e5c2c9967320f9c41c881fd02c4392"},
    {L"twitter.json", 2, 631514, "a08b769f32b95f426cbc3abafcec65c1a19d3eb544d4ddf320eae142c99efc5d"},
    {L"citm_catalog.json", 0, 500299, "831f4a8f271d6650d49b87c3af6b6adaaea122e563dd85fa03dc62b03c3ab7ef"},
    {L"citm_catalog.json", 2, 1151920, "8adb7c2c456fcf4d42ef11cddea34d45b68bc6f97dfa8a07af8adc02c7e27bfb"},
    {L"canada.json", 0, 2090234, "bd4f364718711da4bca3c40ee737ef7f0eef3d3f9303067269581be73d65546d"},
    {L"canada.json", 2, 5212421, "6c0029b893671d6582d5448361d76ff97232fa5359c39363720e02611beb2464"},
};

std::string Sha256(const std::string &bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[32] = {};
  EXPECT_EQ(0, BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
  EXPECT_EQ(0, BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  EXPECT_EQ(0, BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char *>(bytes.data())),
                              static_cast<ULONG>(bytes.size()), 0));
  EXPECT_EQ(0, BCryptFinishHash(hash, digest, sizeof digest, 0));
  BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  std::string text;
  for (unsigned char byte : digest) {
    static const char kHex[] = "0123456789abcdef";
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

std::string Utf8(const std::wstring &text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr, nullptr);
  return bytes;
}

std::string FileBytes(const std::wstring &path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring &path, const std::string &bytes) {
  std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// The names of the files in `folder`.
std::vector<std::wstring> FilesIn(const std::wstring &folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return names;
  do {
    if (std::wstring(found.cFileName) != L"." && std::wstring(found.cFileName) != L"..")
      names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

Var Object(IUnknown *object) {
  Var v;
  V_VT(&v) = VT_DISPATCH;
  object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&V_DISPATCH(&v)));
  return v;
}

Var Text(const std::wstring &text) {
  Var v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

class XJsonTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_json = NewJson();
    ClearError();
  }

  /// Parse's value, expecting success.
  Var Parse(const std::wstring &text) {
    Var input = Text(text);
    Var value;
    EXPECT_EQ(S_OK, m_json->Parse(V_BSTR(&input), &value)) << testing::PrintToString(TakeError().description);
    return value;
  }

  /// Stringify's text, expecting success.
  std::wstring Stringify(const VARIANT &value, const Var &indent = Var::Missing()) {
    BSTR text = nullptr;
    EXPECT_EQ(S_OK, m_json->Stringify(value, indent.Get(), &text)) << testing::PrintToString(TakeError().description);
    std::wstring result(text != nullptr ? text : L"", SysStringLen(text));
    SysFreeString(text);
    return result;
  }

  /// Expects `status` to be `expected` with XJson's error object carrying
  /// `description`.
  static void ExpectReported(HRESULT status, HRESULT expected, const std::wstring &description) {
    EXPECT_EQ(expected, status);
    const PostedError error = TakeError();
    EXPECT_TRUE(error.posted);
    EXPECT_EQ(description, error.description);
    EXPECT_EQ(L"Collection.XJson.1", error.source);
    EXPECT_TRUE(IsEqualGUID(IID_IXJson, error.guid));
  }

  /// Stringify's failure description, expecting E_FAIL and no text.
  std::wstring StringifyFailure(const VARIANT &value) {
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(E_FAIL, m_json->Stringify(value, Var::Missing().Get(), &text));
    EXPECT_EQ(nullptr, text);
    const PostedError error = TakeError();
    EXPECT_EQ(L"Collection.XJson.1", error.source);
    return error.description;
  }

  ComPtr<IXJson> m_json;
};

ComPtr<IXCollection> CollectionOf(const VARIANT &value) {
  ComPtr<IXCollection> collection;
  EXPECT_EQ(VT_DISPATCH, V_VT(&value));
  if (V_VT(&value) == VT_DISPATCH) {
    EXPECT_EQ(S_OK, V_DISPATCH(&value)->QueryInterface(IID_IXCollection,
                                                       reinterpret_cast<void **>(collection.GetAddressOf())));
  }
  return collection;
}

TEST_F(XJsonTest, ReadsEveryKindOfValue) {
  Var value = Parse(L" {\"s\": \"x\", \"i\": -2147483648, \"u\": 2147483648, \"d\": 0.5, \"t\": true, \"f\": false,"
                    L" \"n\": null, \"a\": [1, \"2\"], \"o\": {}, \"\": \"a\\u0000b\"} ");
  ComPtr<IXCollection> object = CollectionOf(value.Get());
  ASSERT_TRUE(object);
  EXPECT_EQ(10, CountOf(object.Get()));
  const struct {
    const wchar_t *key;
    VARTYPE type;
  } members[] = {{L"s", VT_BSTR}, {L"i", VT_I4},   {L"u", VT_R8},       {L"d", VT_R8},       {L"t", VT_BOOL},
                 {L"f", VT_BOOL}, {L"n", VT_NULL}, {L"a", VT_DISPATCH}, {L"o", VT_DISPATCH}, {L"", VT_BSTR}};
  LONG position = 0;
  for (const auto &member : members) {
    ComPtr<IXItem> item = ItemOf(object.Get(), Var::I4(++position));
    ASSERT_TRUE(item) << position;
    EXPECT_EQ(member.key, KeyOf(item.Get()).Text());
    EXPECT_EQ(member.type, ValueOf(item.Get()).Type()) << position;
  }
  EXPECT_EQ(-2147483647 - 1, V_I4(&ValueOf(ItemOf(object.Get(), Var::Str(L"i")).Get())));
  EXPECT_EQ(2147483648.0, V_R8(&ValueOf(ItemOf(object.Get(), Var::Str(L"u")).Get())));
  EXPECT_EQ(VARIANT_FALSE, V_BOOL(&ValueOf(ItemOf(object.Get(), Var::Str(L"f")).Get())));
  EXPECT_EQ(std::wstring(L"a\0b", 3), ValueOf(ItemOf(object.Get(), Var::Str(L"")).Get()).Text());
  // An array: unkeyed members in order.
  ComPtr<IXCollection> elements = CollectionOf(ValueOf(ItemOf(object.Get(), Var::Str(L"a")).Get()).Get());
  ASSERT_TRUE(elements);
  EXPECT_EQ(VT_EMPTY, KeyOf(ItemOf(elements.Get(), Var::I4(1)).Get()).Type());
  EXPECT_EQ(L"2", ValueOf(ItemOf(elements.Get(), Var::I4(2)).Get()).Text());

  EXPECT_EQ(L"x", Parse(L"\"x\"").Text());
  EXPECT_EQ(VT_NULL, Parse(L"null").Type());
  EXPECT_EQ(VT_R8, Parse(L"1.0").Type());
  EXPECT_EQ(std::wstring(1, wchar_t(0xD800)), Parse(L"\"\\ud800\"").Text());
}

TEST_F(XJsonTest, WritesWhatNodeWrites) {
  for (const NodeCase &c : kNodeCases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    EXPECT_EQ(c.expected, Stringify(Parse(c.text).Get(), Var::I4(c.indent)));
  }
}

TEST_F(XJsonTest, WritesTheStandardDocumentsAsNodeDoes) {
  for (const DocumentCase &c : kDocuments) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.file)));
    Var path = Text(BesideProgram(VARIANT_COLLECTION_JSON_DATA_FROM_TESTS) + c.file);
    Var value;
    ASSERT_EQ(S_OK, m_json->ReadFile(V_BSTR(&path), &value)) << testing::PrintToString(TakeError().description);
    const std::string written = Utf8(Stringify(value.Get(), Var::I4(c.indent)));
    EXPECT_EQ(c.size, written.size());
    EXPECT_EQ(c.sha256, Sha256(written));
  }
}

TEST_F(XJsonTest, ErrorsSayWhereAndWhy) {
  const struct {
    const wchar_t *text;
    const wchar_t *description;
  } cases[] = {
      {L"", L"line 1, column 1: the text is empty"},
      {L" \n ", L"line 2, column 2: expected a value"},
      {L"{\n  \"a\": 1\n  \"b\": 2}", L"line 3, column 3: expected ',' or '}' after the member"},
      {L"[1 2]", L"line 1, column 4: expected ',' or ']' after the element"},
      {L"{\"a\" 1}", L"line 1, column 6: expected ':' after the member name"},
      {L"{,}", L"line 1, column 2: expected a member name in double quotes"},
      {L"{\"a\":1,}", L"line 1, column 8: expected a member name in double quotes"},
      {L"[1,]", L"line 1, column 4: expected a value"},
      {L"tru", L"line 1, column 1: expected a value"},
      {L"1 2", L"line 1, column 3: unexpected text after the value"},
      {L"\"a\tb\"", L"line 1, column 3: control character in a string (write it as an escape)"},
      {L"[\"\\x\"]", L"line 1, column 3: invalid escape"},
      {L"\"\\u12g4\"", L"line 1, column 2: invalid escape: \\u needs four hexadecimal digits"},
      {L"[\"abc", L"line 1, column 2: unterminated string"},
      {L"01", L"line 1, column 1: invalid number"},
      {L"[-]", L"line 1, column 2: invalid number"},
      {L"1.e5", L"line 1, column 1: invalid number"},
      {L"[1e309]", L"line 1, column 2: number out of range"},
      {L"-1e400", L"line 1, column 1: number out of range"},
      // Columns count characters: a surrogate pair is one.
      {L"\"\U0001F600\" x", L"line 1, column 5: unexpected text after the value"},
      // Lines end at a line feed, a carriage return or both.
      {L"[1,\r\n2,\r3 x]", L"line 3, column 3: expected ',' or ']' after the element"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    Var text = Var::Str(c.text);
    Var value = Var::I4(5);
    ExpectReported(m_json->Parse(V_BSTR(&text), &value), E_FAIL, c.description);
    EXPECT_EQ(VT_EMPTY, value.Type());
  }
}

TEST_F(XJsonTest, NestingIsLimitedBothWays) {
  EXPECT_EQ(VT_DISPATCH, Parse(std::wstring(1000, L'[') + std::wstring(1000, L']')).Type());
  for (std::size_t depth : {1001u, 100000u}) {
    Var text = Text(std::wstring(depth, L'['));
    Var value;
    ExpectReported(m_json->Parse(V_BSTR(&text), &value), E_FAIL,
                   L"line 1, column 1001: nesting deeper than 1000 levels");
  }
  // 1000 collections, each inside the one before, and an array inside
  // the innermost.
  ComPtr<IXCollection> outer = NewCollection();
  ComPtr<IXCollection> inner = outer;
  for (int i = 1; i < 1000; ++i) {
    ComPtr<IXCollection> next = NewCollection();
    AddOrFail(inner.Get(), Object(next.Get()));
    inner = next;
  }
  EXPECT_EQ(std::wstring(999, L'[') + L"[]" + std::wstring(999, L']'), Stringify(Object(outer.Get()).Get()));
  Var array;
  V_VT(&array) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&array) = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  AddOrFail(inner.Get(), array);
  const std::wstring failure = StringifyFailure(Object(outer.Get()).Get());
  EXPECT_EQ(std::wstring(L"[1]: nesting deeper than 1000 levels"), failure.substr(failure.size() - 36));
}

TEST_F(XJsonTest, WritesScalarsOfEveryType) {
  const auto typed = [](VARTYPE type, auto set) {
    Var v;
    set(v.Get());
    V_VT(&v) = type; // after the value: a DECIMAL covers the type's field
    return v;
  };
  DECIMAL largest{};
  largest.Hi32 = 0xFFFFFFFF;
  largest.Lo64 = 0xFFFFFFFFFFFFFFFFull;
  DECIMAL tiny{};
  tiny.scale = 28;
  tiny.sign = DECIMAL_NEG;
  tiny.Lo64 = 1;
  DECIMAL twelveFifty{};
  twelveFifty.scale = 3;
  twelveFifty.Lo64 = 12500;
  SYSTEMTIME time{2026, 12, 2, 8, 17, 30, 5, 0};
  DATE date = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&time, &date));
  LONG referenced = -7;
  Var inner = Var::Str(L"through");
  const struct {
    Var value;
    const wchar_t *expected;
  } cases[] = {
      {typed(VT_I1, [](VARIANT &v) { V_I1(&v) = -5; }), L"-5"},
      {typed(VT_UI1, [](VARIANT &v) { V_UI1(&v) = 200; }), L"200"},
      {typed(VT_I2, [](VARIANT &v) { V_I2(&v) = -32768; }), L"-32768"},
      {typed(VT_UI2, [](VARIANT &v) { V_UI2(&v) = 65535; }), L"65535"},
      {typed(VT_INT, [](VARIANT &v) { V_INT(&v) = -1; }), L"-1"},
      {typed(VT_UINT, [](VARIANT &v) { V_UINT(&v) = 4294967295u; }), L"4294967295"},
      {typed(VT_I8, [](VARIANT &v) { V_I8(&v) = std::numeric_limits<LONGLONG>::min(); }), L"-9223372036854775808"},
      {typed(VT_UI8, [](VARIANT &v) { V_UI8(&v) = std::numeric_limits<ULONGLONG>::max(); }), L"18446744073709551615"},
      {typed(VT_R4, [](VARIANT &v) { V_R4(&v) = 0.1f; }), L"0.10000000149011612"},
      {typed(VT_R8, [](VARIANT &v) { V_R8(&v) = -0.0; }), L"0"},
      {typed(VT_CY, [](VARIANT &v) { V_CY(&v).int64 = 125000; }), L"12.5"},
      {typed(VT_CY, [](VARIANT &v) { V_CY(&v).int64 = -1; }), L"-0.0001"},
      {typed(VT_CY, [](VARIANT &v) { V_CY(&v).int64 = std::numeric_limits<LONGLONG>::min(); }),
       L"-922337203685477.5808"},
      {typed(VT_DECIMAL, [&](VARIANT &v) { V_DECIMAL(&v) = largest; }), L"79228162514264337593543950335"},
      {typed(VT_DECIMAL, [&](VARIANT &v) { V_DECIMAL(&v) = tiny; }), L"-0.0000000000000000000000000001"},
      {typed(VT_DECIMAL, [&](VARIANT &v) { V_DECIMAL(&v) = twelveFifty; }), L"12.5"},
      {typed(VT_DATE, [&](VARIANT &v) { V_DATE(&v) = date; }), L"\"2026-12-08T17:30:05\""},
      {typed(VT_BOOL, [](VARIANT &v) { V_BOOL(&v) = VARIANT_TRUE; }), L"true"},
      {typed(VT_NULL, [](VARIANT &) {}), L"null"},
      {Var::Empty(), L"null"},
      {typed(VT_DISPATCH, [](VARIANT &v) { V_DISPATCH(&v) = nullptr; }), L"null"},
      {typed(VT_BYREF | VT_I4, [&](VARIANT &v) { V_I4REF(&v) = &referenced; }), L"-7"},
      {Var::RefTo(&inner.Get()), L"\"through\""},
      {Var::NullStr(), L"\"\""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value.Type());
    EXPECT_EQ(c.expected, Stringify(c.value.Get()));
  }
  for (double notFinite : {std::nan(""), HUGE_VAL, -HUGE_VAL})
    EXPECT_EQ(L"NaN or an infinity, which JSON cannot hold", StringifyFailure(Var::R8(notFinite).Get()));
  EXPECT_EQ(L"a value with no JSON form (VARTYPE 0x000A)", StringifyFailure(Var::Missing().Get()));
}

TEST_F(XJsonTest, IndentIsAWholeNumberFromZeroToTen) {
  Var value = Parse(L"[1]");
  LONG two = 2;
  Var byReference;
  V_VT(&byReference) = VT_BYREF | VT_I4;
  V_I4REF(&byReference) = &two;
  EXPECT_EQ(L"[1]", Stringify(value.Get(), Var::Empty()));
  EXPECT_EQ(L"[1]", Stringify(value.Get(), Var::I2(0)));
  EXPECT_EQ(L"[\n  1\n]", Stringify(value.Get(), byReference));
  EXPECT_EQ(L"[\n          1\n]", Stringify(value.Get(), Var::R8(10.0)));
  Var null;
  V_VT(&null) = VT_NULL;
  for (const Var &wrongType : {Var::Str(L"2"), null, Object(NewCollection().Get())}) {
    BSTR text = nullptr;
    ExpectReported(m_json->Stringify(value.Get(), wrongType.Get(), &text), DISP_E_TYPEMISMATCH, L"Type mismatch");
  }
  for (const Var &outOfRange : {Var::I4(11), Var::I2(-1), Var::R8(2.5)}) {
    BSTR text = nullptr;
    ExpectReported(m_json->Stringify(value.Get(), outOfRange.Get(), &text), E_INVALIDARG,
                   L"Invalid procedure call or argument");
  }
}

/// A Scripting.Dictionary holding `pairs` (keys and values in turn).
ComPtr<IDispatch> Dictionary(std::initializer_list<Var> pairs) {
  ComPtr<IDispatch> dictionary;
  CLSID clsid;
  EXPECT_EQ(S_OK, CLSIDFromProgID(L"Scripting.Dictionary", &clsid));
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void **>(dictionary.GetAddressOf())));
  LPOLESTR name = const_cast<LPOLESTR>(L"Add");
  DISPID add = 0;
  EXPECT_EQ(S_OK, dictionary->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &add));
  for (auto pair = pairs.begin(); pair != pairs.end(); pair += 2)
    EXPECT_EQ(S_OK, Call(dictionary.Get(), add, DISPATCH_METHOD, {pair[0].Get(), pair[1].Get()}));
  return dictionary;
}

TEST_F(XJsonTest, WritesCollectionsDictionariesArraysAndItems) {
  // A collection's members, an item and dictionaries inside.
  ComPtr<IXCollection> outer = NewCollection();
  ComPtr<IXCollection> tags = NewCollection();
  AddOrFail(tags.Get(), Var::Str(L"x"));
  AddOrFail(outer.Get(), Object(tags.Get()), Var::Str(L"tags"));
  AddOrFail(outer.Get(), Object(ItemOf(tags.Get(), Var::I4(1)).Get()), Var::Str(L"item"));
  AddOrFail(outer.Get(), Object(Dictionary({Var::Str(L"k"), Var::I4(1), Var::I4(2), Var::R8(0.5)}).Get()),
            Var::Str(L"dictionary"));
  AddOrFail(outer.Get(), Object(Dictionary({}).Get()), Var::Str(L"empty"));
  EXPECT_EQ(L"{\"tags\":[\"x\"],\"item\":\"x\",\"dictionary\":{\"k\":1,\"2\":0.5},\"empty\":{}}",
            Stringify(Object(outer.Get()).Get()));

  // Arrays of one and two dimensions (rows first), also by reference.
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};
  SAFEARRAY *grid = SafeArrayCreate(VT_VARIANT, 2, bounds);
  LONG lower = -1;
  ASSERT_EQ(S_OK, SafeArrayGetLBound(grid, 1, &lower));
  for (LONG row = lower; row < lower + 2; ++row)
    for (LONG column = 0; column < 3; ++column) {
      LONG indexes[2] = {row, column};
      Var cell = Var::I4(row * 10 + column);
      ASSERT_EQ(S_OK, SafeArrayPutElement(grid, indexes, &cell));
    }
  Var gridValue;
  V_VT(&gridValue) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&gridValue) = grid;
  EXPECT_EQ(L"[[10,11,12],[20,21,22]]", Stringify(gridValue.Get()));
  Var reference;
  V_VT(&reference) = VT_BYREF | VT_ARRAY | VT_VARIANT;
  V_ARRAYREF(&reference) = &V_ARRAY(&gridValue);
  EXPECT_EQ(L"[\n [\n  10,\n  11,\n  12\n ],\n [\n  20,\n  21,\n  22\n ]\n]", Stringify(reference.Get(), Var::I4(1)));
  Var empty;
  V_VT(&empty) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&empty) = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  EXPECT_EQ(L"[]", Stringify(empty.Get()));

  // What has no JSON form is named by its place: keys, positions.
  ComPtr<IXCollection> user = NewCollection();
  ComPtr<IXCollection> list = NewCollection();
  AddOrFail(list.Get(), Var::I4(1));
  ClientObject *client = ClientObject::Create(1);
  AddOrFail(list.Get(), Object(client));
  client->Release();
  AddOrFail(user.Get(), Object(list.Get()), Var::Str(L"tags"));
  ComPtr<IXCollection> root = NewCollection();
  AddOrFail(root.Get(), Object(user.Get()), Var::Str(L"user"));
  EXPECT_EQ(L"user.tags[2]: an object with no JSON form", StringifyFailure(Object(root.Get()).Get()));
  EXPECT_EQ(S_OK, list->Remove(Var::I4(2).Get()));
  AddOrFail(user.Get(), Object(Dictionary({Var::Str(L"q\""), Var::Missing()}).Get()), Var::Str(L"a b"));
  EXPECT_EQ(L"user[\"a b\"][\"q\\\"\"]: a value with no JSON form (VARTYPE 0x000A)",
            StringifyFailure(Object(root.Get()).Get()));

  // Mixed members, and a collection that holds itself.
  ComPtr<IXCollection> mixed = NewCollection();
  AddOrFail(mixed.Get(), Var::I4(1), Var::Str(L"a"));
  AddOrFail(mixed.Get(), Var::I4(2));
  EXPECT_EQ(L"a collection that mixes members with and without keys (member 2 has no key)",
            StringifyFailure(Object(mixed.Get()).Get()));
  EXPECT_EQ(S_OK, mixed->Remove(Var::Str(L"a").Get()));
  AddOrFail(mixed.Get(), Var::I4(3), Var::Str(L"b"));
  EXPECT_EQ(L"a collection that mixes members with and without keys (member 1 has no key)",
            StringifyFailure(Object(mixed.Get()).Get()));
  ComPtr<IXCollection> cycle = NewCollection();
  AddOrFail(cycle.Get(), Var::I4(0));
  AddOrFail(cycle.Get(), Object(cycle.Get()));
  EXPECT_EQ(L"[2]: a collection that holds itself", StringifyFailure(Object(cycle.Get()).Get()));
  EXPECT_EQ(S_OK, cycle->Remove(Var::I4(2).Get())); // breaks the cycle

  // A collection read from `{}` writes `{}` while nothing is added to it.
  Var fromObject = Parse(L"{}");
  ComPtr<IXCollection> emptyObject = CollectionOf(fromObject.Get());
  ASSERT_TRUE(emptyObject);
  EXPECT_EQ(L"{}", Stringify(fromObject.Get()));
  AddOrFail(emptyObject.Get(), Var::I4(1), Var::Str(L"k"));
  EXPECT_EQ(S_OK, emptyObject->Remove(Var::Str(L"k").Get()));
  EXPECT_EQ(L"[]", Stringify(fromObject.Get()));
}

class XJsonFileTest : public XJsonTest {
protected:
  void SetUp() override {
    XJsonTest::SetUp();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_folder = std::wstring(temp) + L"xjson_test_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(m_folder.c_str(), nullptr);
  }
  void TearDown() override {
    for (const std::wstring &name : FilesIn(m_folder))
      if (!DeleteFileW((m_folder + L"\\" + name).c_str()))
        RemoveDirectoryW((m_folder + L"\\" + name).c_str());
    RemoveDirectoryW(m_folder.c_str());
  }
  std::wstring PathOf(const wchar_t *name) const { return m_folder + L"\\" + name; }

  /// ReadFile's status, value and posted description.
  HRESULT Read(const std::wstring &path, Var &value, std::wstring &description) {
    Var name = Text(path);
    const HRESULT status = m_json->ReadFile(V_BSTR(&name), &value);
    description = TakeError().description;
    return status;
  }
  HRESULT Write(const VARIANT &value, const std::wstring &path, const Var &indent = Var::Missing()) {
    Var name = Text(path);
    return m_json->WriteFile(value, V_BSTR(&name), indent.Get());
  }

  std::wstring m_folder;
};

TEST_F(XJsonFileTest, ReadsUtf8AndUtf16WithTheirMarks) {
  const std::wstring expected = L"{\"\u00E9\":[\"\U0001F600\",1]}";
  const std::string utf8 = "{ \"\xC3\xA9\" : [\"\xF0\x9F\x98\x80\", 1] }";
  std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
  for (wchar_t c : std::wstring(L"{ \"\u00E9\" : [\"\U0001F600\", 1] }")) {
    utf16le += static_cast<char>(c & 0xFF);
    utf16le += static_cast<char>(c >> 8);
    utf16be += static_cast<char>(c >> 8);
    utf16be += static_cast<char>(c & 0xFF);
  }
  for (const std::string &bytes : {utf8, "\xEF\xBB\xBF" + utf8, utf16le, utf16be}) {
    WriteBytes(PathOf(L"in.json"), bytes);
    Var value;
    std::wstring description;
    ASSERT_EQ(S_OK, Read(PathOf(L"in.json"), value, description)) << testing::PrintToString(description);
    EXPECT_EQ(expected, Stringify(value.Get()));
  }
  const struct {
    std::string bytes;
    const wchar_t *description;
  } broken[] = {
      {"[\"\xC3\xA9\",\n \"\xC3\x28\"]", L"line 2, column 3: invalid UTF-8"},
      {"[\"\xED\xA0\x80\"]", L"line 1, column 3: invalid UTF-8"}, // an encoded surrogate
      {"\xEF\xBB\xBF", L"line 1, column 1: the text is empty"},
      {std::string("\xFF\xFE[\x00]", 5), L"invalid UTF-16: the file ends in the middle of a character"},
  };
  for (const auto &c : broken) {
    WriteBytes(PathOf(L"in.json"), c.bytes);
    Var value;
    std::wstring description;
    EXPECT_EQ(E_FAIL, Read(PathOf(L"in.json"), value, description));
    EXPECT_EQ(c.description, description);
    EXPECT_EQ(VT_EMPTY, value.Type());
  }
  Var value;
  std::wstring description;
  const std::wstring missing = PathOf(L"missing.json");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Read(missing, value, description));
  EXPECT_EQ(L"cannot open " + missing + L": ", description.substr(0, missing.size() + 14));
  EXPECT_GT(description.size(), missing.size() + 14) << "the system's message";
}

TEST_F(XJsonFileTest, WriteFileReplacesAtomicallyOrLeavesTheFileAsItWas) {
  const std::wstring target = PathOf(L"out.json");
  Var value = Parse(L"{\"name\": \"\u00E9\U0001F600\", \"list\": [1, 2]}");
  ASSERT_EQ(S_OK, Write(value.Get(), target, Var::I4(2)));
  EXPECT_EQ(Utf8(Stringify(value.Get(), Var::I4(2))) + "\n", FileBytes(target));
  ASSERT_EQ(S_OK, Write(Parse(L"[true]").Get(), target));
  EXPECT_EQ("[true]\n", FileBytes(target));

  // Failures: a value with no JSON form, a folder in the way, a missing
  // folder. The file stays as it was and nothing is left beside it.
  EXPECT_EQ(E_FAIL, Write(Var::R8(HUGE_VAL).Get(), target));
  TakeError();
  const std::wstring folder = PathOf(L"folder.json");
  CreateDirectoryW(folder.c_str(), nullptr);
  EXPECT_TRUE(FAILED(Write(value.Get(), folder)));
  EXPECT_EQ(L"cannot write " + folder + L": ", TakeError().description.substr(0, folder.size() + 15));
  const std::wstring nowhere = PathOf(L"no such folder\\out.json");
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Write(value.Get(), nowhere));
  EXPECT_EQ(L"cannot write " + nowhere + L": ", TakeError().description.substr(0, nowhere.size() + 15));
  EXPECT_EQ("[true]\n", FileBytes(target));
  std::vector<std::wstring> files = FilesIn(m_folder);
  std::sort(files.begin(), files.end());
  EXPECT_EQ((std::vector<std::wstring>{L"folder.json", L"out.json"}), files);
}

TEST_F(XJsonFileTest, WritesAnyNameTheFolderTakesAndMeetsReadersOfTheFile) {
  // The temporary file's name is short: the longest name a folder takes
  // can be written.
  const std::wstring longest = PathOf((std::wstring(250, L'n') + L".json").c_str());
  ASSERT_EQ(S_OK, Write(Parse(L"[1]").Get(), longest));
  EXPECT_EQ("[1]\n", FileBytes(longest));

  // A reader in another thread while the file is replaced again and again:
  // reads open it so that a replacement may proceed, and the two take
  // turns; neither fails, and nothing is left beside the file.
  const std::wstring target = PathOf(L"shared.json");
  const Var value = Parse(L"{\"list\": [1, 2, 3]}");
  ASSERT_EQ(S_OK, Write(value.Get(), target));
  std::atomic<bool> writing{true};
  std::atomic<int> reads{0}, failedReads{0};
  std::thread reader([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (writing) {
      Var read;
      Var name = Text(target);
      ++(SUCCEEDED(m_json->ReadFile(V_BSTR(&name), &read)) ? reads : failedReads);
    }
    CoUninitialize();
  });
  int failedWrites = 0;
  for (int i = 0; i < 100; ++i)
    failedWrites += FAILED(Write(value.Get(), target)) ? 1 : 0;
  writing = false;
  reader.join();
  EXPECT_EQ(0, failedWrites);
  EXPECT_EQ(0, failedReads.load()) << "of " << reads.load() + failedReads.load() << " reads";
  std::vector<std::wstring> files = FilesIn(m_folder);
  std::sort(files.begin(), files.end());
  EXPECT_EQ((std::vector<std::wstring>{std::wstring(250, L'n') + L".json", L"shared.json"}), files);
}

// Every allocation of a reading or a writing may fail: the call answers
// E_OUTOFMEMORY, hands out nothing and keeps nothing alive.
TEST_F(XJsonTest, AllocationFailureLeavesNothingBehind) {
  ASSERT_TRUE(CountTaskMemory());
  const wchar_t text[] = L"{\"a\": [1, \"two\", {\"b\": null}], \"a\": {}, \"c\": \"\\u00e9\"}";
  Var input = Var::Str(text);
  Var parsed = Parse(text);
  int failures = 0;
  for (unsigned long long nth = 1;; ++nth) {
    const LONG locks = VariantCollection::Module().ModuleLockCount();
    const long memory = LiveTaskMemoryBlocks();
    Var value;
    BSTR written = nullptr;
    HRESULT parse, stringify;
    bool failed;
    {
      FailingAttempt failing(nth);
      parse = m_json->Parse(V_BSTR(&input), &value);
      stringify = m_json->Stringify(parsed.Get(), Var::I4(1).Get(), &written);
      failed = failing.Failed();
    }
    SysFreeString(written);
    if (!failed) {
      EXPECT_EQ(S_OK, parse);
      EXPECT_EQ(S_OK, stringify);
      break;
    }
    ++failures;
    EXPECT_TRUE(parse == E_OUTOFMEMORY || stringify == E_OUTOFMEMORY) << nth;
    if (parse == E_OUTOFMEMORY) {
      EXPECT_EQ(VT_EMPTY, value.Type());
      EXPECT_EQ(locks, VariantCollection::Module().ModuleLockCount());
      EXPECT_EQ(memory, LiveTaskMemoryBlocks());
    }
  }
  EXPECT_GT(failures, 10);
}

} // namespace
