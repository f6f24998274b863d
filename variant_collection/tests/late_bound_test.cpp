//===- late_bound_test.cpp - Late-bound calls made without the type library ===//
//
// The collection and its items make their frequent late-bound calls
// themselves instead of through the type information. Every such call must
// give what the platform's ITypeInfo::Invoke gives: each case below makes
// one call on two collections built alike, once through the object's
// IDispatch and once through the type information itself (with the
// server's second try of a property read made as a method), and compares
// the status, the result, the exception information, the posted error
// object and the two collections afterwards. A put by reference of the
// collection's Item, which the type information does not declare, is
// compared with its put.
//
//===----------------------------------------------------------------------===//

#include "DispIds.h"
#include "LateBound.h"
#include "ServerModule.h"

#include "support/ClientObjects.h"
#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ServerTest;
namespace LateBound = VariantCollection::LateBound;

namespace {

/// A VARIANT shown as text with its type, for comparing results: an item
/// object by its key and value, a client object by its number.
std::wstring Shown(const VARIANT &value) {
  std::wstring text = std::to_wstring(V_VT(&value)) + L":";
  if (V_VT(&value) == VT_DISPATCH && V_DISPATCH(&value) != nullptr) {
    ComPtr<IXItem> item;
    if (SUCCEEDED(V_DISPATCH(&value)->QueryInterface(IID_IXItem, reinterpret_cast<void **>(item.GetAddressOf()))))
      return text + L"item(" + Shown(KeyOf(item.Get()).Get()) + L"=" + Shown(ValueOf(item.Get()).Get()) + L")";
    return text + L"client " + std::to_wstring(static_cast<ClientObject *>(V_DISPATCH(&value))->Id());
  }
  if (V_VT(&value) == VT_DISPATCH)
    return text + L"null";
  Var shown;
  if (SUCCEEDED(VariantChangeType(&shown, const_cast<VARIANT *>(&value), 0, VT_BSTR)))
    return text + shown.Text();
  return text + L"?";
}

/// Every member of `collection` in order, as "key=value" texts.
std::wstring Members(IXCollection *collection) {
  std::wstring text;
  const LONG count = CountOf(collection);
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IXItem> item = ItemOf(collection, Var::I4(i));
    text += Shown(KeyOf(item.Get()).Get()) + L"=" + Shown(ValueOf(item.Get()).Get()) + L"; ";
  }
  return text;
}

/// All that a late-bound call leaves behind for its caller.
struct Outcome {
  HRESULT status = S_OK;
  std::wstring result;
  SCODE scode = 0;
  std::wstring description;
  std::wstring source;
  UINT argumentError = 0;
  PostedError error;
  std::wstring members;
};

/// One late-bound call: the member, the flags and the arguments in the
/// caller's order; the first `names.size()` arguments of DISPPARAMS (the
/// last ones given) carry those names.
struct LateCall {
  const char *what;
  DISPID member;
  WORD flags;
  std::vector<Var> arguments;
  bool wantsResult = true;
  std::vector<DISPID> names = {};
  /// The flags of the call through the type information, when not `flags`.
  WORD platformFlags = 0;
};

class LateBoundCalls : public ::testing::Test {
protected:
  void SetUp() override {
    m_client = ClientObject::Create(42);
    m_locks = VariantCollection::Module().ModuleLockCount();
  }

  void TearDown() override {
    m_client->Release();
    EXPECT_EQ(m_locks, VariantCollection::Module().ModuleLockCount());
    EXPECT_EQ(0, ClientObject::Live());
  }

  /// A collection holding 1 under "a", "x" without a key, 2.5 under "b"
  /// and the client object under "obj".
  ComPtr<IXCollection> Sample() {
    ComPtr<IXCollection> collection = NewCollection();
    AddOrFail(collection.Get(), Var::I4(1), Var::Str(L"a"));
    AddOrFail(collection.Get(), Var::Str(L"x"));
    AddOrFail(collection.Get(), Var::R8(2.5), Var::Str(L"b"));
    AddOrFail(collection.Get(), Client(), Var::Str(L"obj"));
    return collection;
  }

  /// Makes `call` on `target` (a collection or one of its items), through
  /// the object's own IDispatch when `info` is null, otherwise through
  /// `info`, and reports what the caller sees, with the members of
  /// `collection` afterwards.
  static Outcome Make(const LateCall &call, IDispatch *target, ITypeInfo *info, IXCollection *collection) {
    std::vector<VARIANT> reversed;
    for (auto argument = call.arguments.rbegin(); argument != call.arguments.rend(); ++argument)
      reversed.push_back(argument->Get()); // shallow: the call's arguments own them
    std::vector<DISPID> names = call.names;
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    params.rgdispidNamedArgs = names.empty() ? nullptr : names.data();
    params.cNamedArgs = static_cast<UINT>(names.size());
    // A result the call must leave alone or overwrite without clearing.
    Var result = Var::I4(12345);
    EXCEPINFO exception{};
    Outcome outcome;
    ClearError();
    VARIANT *wanted = call.wantsResult ? &result : nullptr;
    if (info == nullptr) {
      outcome.status = target->Invoke(call.member, IID_NULL, LOCALE_USER_DEFAULT, call.flags, &params, wanted,
                                      &exception, &outcome.argumentError);
    } else {
      // With the server's second try of a property read made as a method.
      const WORD flags = call.platformFlags != 0 ? call.platformFlags : call.flags;
      outcome.status = info->Invoke(target, call.member, flags, &params, wanted, &exception, &outcome.argumentError);
      if (outcome.status == DISP_E_MEMBERNOTFOUND && call.flags == DISPATCH_METHOD)
        outcome.status = info->Invoke(target, call.member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, wanted,
                                      &exception, &outcome.argumentError);
    }
    outcome.error = TakeError();
    outcome.result = Shown(result.Get());
    outcome.scode = exception.scode;
    outcome.description = exception.bstrDescription != nullptr ? exception.bstrDescription : L"";
    outcome.source = exception.bstrSource != nullptr ? exception.bstrSource : L"";
    ClearException(exception);
    outcome.members = Members(collection);
    return outcome;
  }

  /// Makes `call` on the collection (or on the item of its member at
  /// `itemPosition`, when not 0) both ways and expects the same outcome.
  void ExpectSameBothWays(const LateCall &call, LONG itemPosition = 0) {
    SCOPED_TRACE(call.what);
    ComPtr<IXCollection> direct = Sample();
    ComPtr<IXCollection> throughTypeInfo = Sample();
    ComPtr<IDispatch> directTarget = Target(direct.Get(), itemPosition);
    ComPtr<IDispatch> typeInfoTarget = Target(throughTypeInfo.Get(), itemPosition);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, typeInfoTarget->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));

    const Outcome mine = Make(call, directTarget.Get(), nullptr, direct.Get());
    const Outcome platform = Make(call, typeInfoTarget.Get(), info.Get(), throughTypeInfo.Get());
    EXPECT_EQ(platform.status, mine.status);
    EXPECT_EQ(platform.result, mine.result);
    EXPECT_EQ(platform.scode, mine.scode);
    EXPECT_EQ(platform.description, mine.description);
    EXPECT_EQ(platform.source, mine.source);
    EXPECT_EQ(platform.argumentError, mine.argumentError);
    EXPECT_EQ(platform.error.posted, mine.error.posted);
    EXPECT_EQ(platform.error.description, mine.error.description);
    EXPECT_EQ(platform.error.source, mine.error.source);
    EXPECT_TRUE(IsEqualGUID(platform.error.guid, mine.error.guid));
    EXPECT_EQ(platform.members, mine.members);
  }

  static ComPtr<IDispatch> Target(IXCollection *collection, LONG itemPosition) {
    ComPtr<IDispatch> target;
    if (itemPosition != 0)
      EXPECT_EQ(S_OK, ItemOf(collection, Var::I4(itemPosition)).As(&target));
    else
      EXPECT_EQ(S_OK, collection->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(target.GetAddressOf())));
    return target;
  }

  /// A VT_DISPATCH of the client object.
  Var Client() const {
    Var object;
    V_VT(&object) = VT_DISPATCH;
    V_DISPATCH(&object) = m_client;
    m_client->AddRef();
    return object;
  }

  ClientObject *m_client = nullptr;
  LONG m_locks = 0;
};

/// VT_BYREF | `type` pointing at `target`'s value.
Var RefOf(VARTYPE type, void *target) {
  Var reference;
  V_VT(&reference) = static_cast<VARTYPE>(VT_BYREF | type);
  V_BYREF(&reference) = target;
  return reference;
}

Var ErrorCode(SCODE code) {
  Var error;
  V_VT(&error) = VT_ERROR;
  V_ERROR(&error) = code;
  return error;
}

Var Bool(bool value) {
  Var flag;
  V_VT(&flag) = VT_BOOL;
  V_BOOL(&flag) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return flag;
}

TEST_F(LateBoundCalls, AddGivesWhatTheTypeInformationGives) {
  Var variable = Var::Str(L"from a variable");
  Var nullReference = RefOf(VT_I4, nullptr);
  Var keyVariable = Var::Str(L"v");
  BSTR keyText = SysAllocString(L"t");
  LONG number = 77;
  Var array;
  V_VT(&array) = VT_ARRAY | VT_I4;
  V_ARRAY(&array) = SafeArrayCreateVector(VT_I4, 0, 2);
  const WORD method = DISPATCH_METHOD;
  const WORD asScriptsCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

  const std::vector<LateCall> calls = {
      {"value and key", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var::Str(L"k")}},
      {"value and a key present", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var::Str(L"a")}},
      {"value alone", DISPID_XCOLLECTION_ADD, method, {Var::I2(3)}},
      {"key missing", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var::Missing()}},
      {"key another error code", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), ErrorCode(E_FAIL)}},
      {"key a number", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var::I4(5)}},
      {"key empty", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var()}},
      {"key a null string", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var::NullStr()}},
      {"key with an odd byte length", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var::Bytes("abc", 3)}},
      {"as scripts call", DISPID_XCOLLECTION_ADD, asScriptsCall, {Var::R8(0.5), Var::Str(L"k")}},
      {"without a result", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), Var::Str(L"k")}, false},
      {"variables by reference", DISPID_XCOLLECTION_ADD, method, {Var::RefTo(&variable), Var::RefTo(&keyVariable)}},
      {"typed references", DISPID_XCOLLECTION_ADD, method, {RefOf(VT_I4, &number), RefOf(VT_BSTR, &keyText)}},
      {"a variable holding a null reference", DISPID_XCOLLECTION_ADD, method, {Var::RefTo(&nullReference)}},
      {"a null reference as key", DISPID_XCOLLECTION_ADD, method, {Var::I4(9), RefOf(VT_BSTR, nullptr)}},
      {"a boolean, and an error code as key", DISPID_XCOLLECTION_ADD, method, {Bool(true), ErrorCode(S_OK)}},
      {"an object", DISPID_XCOLLECTION_ADD, method, {Client(), Var::Str(L"o")}},
      {"an array", DISPID_XCOLLECTION_ADD, method, {array, Var::Str(L"k")}},
      {"no arguments", DISPID_XCOLLECTION_ADD, method, {}},
      {"three arguments", DISPID_XCOLLECTION_ADD, method, {Var::I4(1), Var::Str(L"k"), Var::I4(2)}},
      {"a named argument", DISPID_XCOLLECTION_ADD, method, {Var::I4(1), Var::Str(L"k")}, true, {1}},
      {"as a property read", DISPID_XCOLLECTION_ADD, DISPATCH_PROPERTYGET, {Var::I4(1), Var::Str(L"k")}},
      {"as a method and a put",
       DISPID_XCOLLECTION_ADD,
       DISPATCH_METHOD | DISPATCH_PROPERTYPUT,
       {Var::I4(1), Var::Str(L"k")}},
      {"as a method and a put by reference",
       DISPID_XCOLLECTION_ADD,
       DISPATCH_METHOD | DISPATCH_PROPERTYPUTREF,
       {Var::I4(1), Var::Str(L"k")}},
  };
  for (const LateCall &call : calls)
    ExpectSameBothWays(call);
  SysFreeString(keyText);
}

TEST_F(LateBoundCalls, ItemGivesWhatTheTypeInformationGives) {
  Var keyVariable = Var::Str(L"b");
  BSTR keyText = SysAllocString(L"obj");
  LONG position = 2;
  SHORT shortPosition = 3;
  const WORD get = DISPATCH_PROPERTYGET;
  const WORD asScriptsCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  const WORD put = DISPATCH_PROPERTYPUT;
  const WORD putRef = DISPATCH_PROPERTYPUTREF;
  const std::vector<DISPID> named = {DISPID_PROPERTYPUT};

  const std::vector<LateCall> calls = {
      {"by key", DISPID_XCOLLECTION_ITEM, get, {Var::Str(L"a")}},
      {"by a key not there", DISPID_XCOLLECTION_ITEM, get, {Var::Str(L"zz")}},
      {"by a key in another case", DISPID_XCOLLECTION_ITEM, get, {Var::Str(L"A")}},
      {"by position", DISPID_XCOLLECTION_ITEM, asScriptsCall, {Var::I4(2)}},
      {"by a 16-bit position", DISPID_XCOLLECTION_ITEM, get, {Var::I2(4)}},
      {"by position 0", DISPID_XCOLLECTION_ITEM, get, {Var::I4(0)}},
      {"past the end", DISPID_XCOLLECTION_ITEM, get, {Var::I4(5)}},
      {"by a number of another type", DISPID_XCOLLECTION_ITEM, get, {Var::R8(1)}},
      {"by nothing", DISPID_XCOLLECTION_ITEM, get, {Var()}},
      {"by a variable", DISPID_XCOLLECTION_ITEM, asScriptsCall, {Var::RefTo(&keyVariable)}},
      {"by typed references", DISPID_XCOLLECTION_ITEM, get, {RefOf(VT_BSTR, &keyText)}},
      {"by a typed reference to a position", DISPID_XCOLLECTION_ITEM, get, {RefOf(VT_I4, &position)}},
      {"by a typed reference to a 16-bit position", DISPID_XCOLLECTION_ITEM, get, {RefOf(VT_I2, &shortPosition)}},
      {"by a null reference", DISPID_XCOLLECTION_ITEM, asScriptsCall, {RefOf(VT_I4, nullptr)}},
      {"without a result", DISPID_XCOLLECTION_ITEM, get, {Var::Str(L"a")}, false},
      {"as a method", DISPID_XCOLLECTION_ITEM, DISPATCH_METHOD, {Var::I4(1)}},
      {"without a selector", DISPID_XCOLLECTION_ITEM, get, {}},
      {"with two selectors", DISPID_XCOLLECTION_ITEM, get, {Var::I4(1), Var::I4(2)}},
      {"as a put",
       DISPID_XCOLLECTION_ITEM,
       DISPATCH_PROPERTYPUT,
       {Var::Str(L"n"), Var::I4(8)},
       true,
       {DISPID_PROPERTYPUT}},
      // A put by reference is the put.
      {"put by reference", DISPID_XCOLLECTION_ITEM, putRef, {Var::Str(L"n"), Client()}, true, named, put},
      {"put by reference, number key", DISPID_XCOLLECTION_ITEM, putRef, {Var::I4(2), Client()}, true, named, put},
      {"put by reference, unnamed", DISPID_XCOLLECTION_ITEM, putRef, {Var::Str(L"n"), Client()}, true, {}, put},
  };
  for (const LateCall &call : calls)
    ExpectSameBothWays(call);
  SysFreeString(keyText);
}

TEST_F(LateBoundCalls, RemoveAndCountGiveWhatTheTypeInformationGives) {
  Var keyVariable = Var::Str(L"a");
  const std::vector<LateCall> calls = {
      {"remove by key", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {Var::Str(L"b")}},
      {"remove a key not there", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {Var::Str(L"zz")}},
      {"remove by position", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {Var::I4(1)}, false},
      {"remove past the end", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {Var::I4(9)}},
      {"remove by a variable", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {Var::RefTo(&keyVariable)}},
      {"remove by nothing", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {Var()}},
      {"remove by a null reference", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {RefOf(VT_VARIANT, nullptr)}},
      {"remove without a selector", DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {}},
      {"count", DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {}},
      {"count as scripts read it", DISPID_XCOLLECTION_COUNT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}},
      {"count as a method", DISPID_XCOLLECTION_COUNT, DISPATCH_METHOD, {}},
      {"count without a result", DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {}, false},
      {"count with an argument", DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {Var::I4(1)}},
      {"count put by reference", 3, DISPATCH_PROPERTYPUTREF, {Var::I4(1)}, true, {DISPID_PROPERTYPUT}},
  };
  for (const LateCall &call : calls)
    ExpectSameBothWays(call);
}

TEST_F(LateBoundCalls, ExistsGivesWhatTheTypeInformationGives) {
  Var keyVariable = Var::Str(L"obj");
  BSTR keyText = SysAllocString(L"b");
  const WORD asScriptsCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  const std::vector<LateCall> calls = {
      {"a key present", 4, DISPATCH_METHOD, {Var::Str(L"a")}},
      {"a key not there", 4, asScriptsCall, {Var::Str(L"zz")}},
      {"a key in another case", 4, DISPATCH_METHOD, {Var::Str(L"A")}},
      {"by a variable", 4, asScriptsCall, {Var::RefTo(&keyVariable)}},
      {"by a typed reference", 4, DISPATCH_METHOD, {RefOf(VT_BSTR, &keyText)}},
      {"a number", 4, DISPATCH_METHOD, {Var::I4(1)}},
      {"nothing", 4, DISPATCH_METHOD, {Var()}},
      {"an omitted key", 4, DISPATCH_METHOD, {Var::Missing()}},
      {"without a result", 4, DISPATCH_METHOD, {Var::Str(L"a")}, false},
      {"without a key", 4, DISPATCH_METHOD, {}},
      {"with two keys", 4, DISPATCH_METHOD, {Var::Str(L"a"), Var::Str(L"b")}},
      {"a named argument", 4, DISPATCH_METHOD, {Var::Str(L"a")}, true, {0}},
      {"as a property read", 4, DISPATCH_PROPERTYGET, {Var::Str(L"a")}},
      {"remove all", 7, DISPATCH_METHOD, {}},
      {"keys", 5, asScriptsCall, {}},
      {"items", 6, DISPATCH_METHOD, {}},
  };
  for (const LateCall &call : calls)
    ExpectSameBothWays(call);
  SysFreeString(keyText);
}

TEST_F(LateBoundCalls, ItemReadsGiveWhatTheTypeInformationGives) {
  const std::vector<LateCall> calls = {
      {"value", DISPID_XITEM_VALUE, DISPATCH_PROPERTYGET, {}},
      {"value as scripts read it", DISPID_XITEM_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}},
      {"value as a method", DISPID_XITEM_VALUE, DISPATCH_METHOD, {}},
      {"value without a result", DISPID_XITEM_VALUE, DISPATCH_PROPERTYGET, {}, false},
      {"value with an argument", DISPID_XITEM_VALUE, DISPATCH_PROPERTYGET, {Var::I4(1)}},
      {"key", DISPID_XITEM_KEY, DISPATCH_PROPERTYGET, {}},
      {"key as a method", DISPID_XITEM_KEY, DISPATCH_METHOD, {}},
  };
  // Members holding a number under a key, a string without one, and a
  // client object. An item whose value is an object stands for it when
  // its default member is called with arguments: that call is the
  // object's, which answers E_NOTIMPL.
  for (LONG position : {1, 2, 4})
    for (const LateCall &call : calls)
      if (position != 4 || call.arguments.empty())
        ExpectSameBothWays(call, position);
  ComPtr<IXCollection> sample = Sample();
  Var result = Var::I4(12345);
  EXPECT_EQ(E_NOTIMPL, Call(Target(sample.Get(), 4).Get(), DISPID_XITEM_VALUE, DISPATCH_PROPERTYGET,
                            {Var::I4(1).Get()}, &result));
}

TEST(LateBound, PassesOnUnchangedOnlyWhatThePlatformCopiesPlainly) {
  LONG number = 1;
  VARIANT variant;
  VariantInit(&variant);
  const auto passes = [](VARTYPE type, void *target) {
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = type;
    V_BYREF(&argument) = target;
    return LateBound::PassesUnchanged(argument);
  };
  for (VARTYPE type : {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH, VT_ERROR,
                       VT_BOOL, VT_UNKNOWN, VT_DECIMAL, VT_I1, VT_UI1, VT_UI8, VT_UINT})
    EXPECT_TRUE(passes(type, nullptr)) << type;
  for (VARTYPE type : {VT_I4, VT_BSTR, VT_VARIANT, VT_DISPATCH})
    EXPECT_TRUE(passes(static_cast<VARTYPE>(VT_BYREF | type), &number)) << type;
  // Arrays and records are copied by code that may fail; the rest the
  // platform refuses to copy at all.
  for (VARTYPE type : {VARTYPE(VT_ARRAY | VT_I4), VARTYPE(VT_BYREF | VT_ARRAY | VT_I4), VARTYPE(VT_RECORD),
                       VARTYPE(VT_BYREF | VT_RECORD), VARTYPE(VT_VARIANT), VARTYPE(VT_BYREF | VT_EMPTY),
                       VARTYPE(VT_BYREF | VT_NULL), VARTYPE(15), VARTYPE(VT_LPSTR), VARTYPE(VT_LPWSTR),
                       VARTYPE(VT_VOID), VARTYPE(VT_CLSID), VARTYPE(VT_VECTOR | VT_I4)})
    EXPECT_FALSE(passes(type, &variant)) << type;

  VARIANT arguments[2];
  V_VT(&arguments[0]) = VT_I4;
  V_VT(&arguments[1]) = VT_ARRAY | VT_I4;
  DISPPARAMS params = {arguments, nullptr, 1, 0};
  EXPECT_TRUE(LateBound::PassesArgumentsUnchanged(params));
  params.cArgs = 2;
  EXPECT_FALSE(LateBound::PassesArgumentsUnchanged(params));
  DISPID named = 0;
  params = {arguments, &named, 1, 1};
  EXPECT_FALSE(LateBound::PassesArgumentsUnchanged(params));
}

TEST(LateBound, SelectsMembersAsTheTypeInformationMatchesFlags) {
  EXPECT_TRUE(LateBound::SelectsMethod(DISPATCH_METHOD));
  EXPECT_TRUE(LateBound::SelectsMethod(DISPATCH_METHOD | DISPATCH_PROPERTYGET));
  EXPECT_FALSE(LateBound::SelectsMethod(DISPATCH_PROPERTYGET));
  EXPECT_TRUE(LateBound::SelectsPropertyGet(DISPATCH_PROPERTYGET));
  EXPECT_TRUE(LateBound::SelectsPropertyGet(DISPATCH_METHOD | DISPATCH_PROPERTYGET));
  EXPECT_FALSE(LateBound::SelectsPropertyGet(DISPATCH_METHOD));
  // A put accessor under the same DISPID comes first.
  EXPECT_FALSE(LateBound::SelectsPropertyGet(DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT));
  EXPECT_FALSE(LateBound::SelectsPropertyGet(DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUTREF));
}

TEST(LateBound, ReturnsIntoTheResultOrClearsTheValue) {
  VARIANT value;
  V_VT(&value) = VT_BSTR;
  V_BSTR(&value) = SysAllocString(L"v");
  Var result = Var::I4(3);
  LateBound::Return(&result, value);
  EXPECT_EQ(L"v", result.Text());
  EXPECT_EQ(VT_EMPTY, V_VT(&value));

  ClientObject *client = ClientObject::Create(1);
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = client;
  LateBound::Return(nullptr, value); // releases the only reference
  EXPECT_EQ(0, ClientObject::Live());
  EXPECT_EQ(VT_EMPTY, V_VT(&value));

  VARIANT missing = LateBound::MissingArgument();
  EXPECT_EQ(VT_ERROR, V_VT(&missing));
  EXPECT_EQ(DISP_E_PARAMNOTFOUND, V_ERROR(&missing));
}

} // namespace
