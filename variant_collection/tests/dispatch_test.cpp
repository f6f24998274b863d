//===- dispatch_test.cpp - Late-bound calls through the type library ------===//
//
// Every member called late-bound, with arguments from script variables, is
// in the script suites (scripts/); here the name cache, the retries and the
// type library's loading.
//
//===----------------------------------------------------------------------===//

#include "DispIds.h"
#include "ServerModule.h"
#include "XCollection.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

using namespace ServerTest;

namespace {

class DispatchTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_collection = NewCollection();
    ASSERT_EQ(S_OK, m_collection.As(&m_dispatch));
    ClearError();
  }

  IDispatch *D() const { return m_dispatch.Get(); }

  DISPID IdOf(IDispatch *object, const wchar_t *name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << name;
    return id;
  }

  ComPtr<IXCollection> m_collection;
  ComPtr<IDispatch> m_dispatch;
};

TEST_F(DispatchTest, ReportsOneTypeInfoForEachInterface) {
  UINT count = 0;
  EXPECT_EQ(S_OK, D()->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);

  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, D()->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
  TYPEATTR *attributes = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
  // The default interface's, with every member, also through IXCollection.
  EXPECT_TRUE(IsEqualGUID(IID_IXCollection2, attributes->guid));
  EXPECT_EQ(TKIND_DISPATCH, attributes->typekind);
  info->ReleaseTypeAttr(attributes);
  ComPtr<ITypeInfo> throughFirst;
  ASSERT_EQ(S_OK, m_collection->GetTypeInfo(0, 0, &throughFirst));
  EXPECT_EQ(info.Get(), throughFirst.Get());

  AddOrFail(m_collection.Get(), Var::I4(1));
  ComPtr<IXItem> item = ItemOf(m_collection.Get(), Var::I4(1));
  ComPtr<ITypeInfo> itemInfo;
  ASSERT_EQ(S_OK, item->GetTypeInfo(0, 0, &itemInfo));
  ASSERT_EQ(S_OK, itemInfo->GetTypeAttr(&attributes));
  EXPECT_TRUE(IsEqualGUID(IID_IXItem, attributes->guid));
  itemInfo->ReleaseTypeAttr(attributes);
  ASSERT_EQ(S_OK, item->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
}

TEST_F(DispatchTest, ResolvesNamesThroughTheCacheAndPastIt) {
  EXPECT_EQ(1, IdOf(D(), L"Add"));
  EXPECT_EQ(3, IdOf(D(), L"Count"));
  EXPECT_EQ(DISPID_VALUE, IdOf(D(), L"Item"));
  EXPECT_EQ(2, IdOf(D(), L"Remove"));
  EXPECT_EQ(DISPID_NEWENUM, IdOf(D(), L"_NewEnum"));
  EXPECT_EQ(4, IdOf(D(), L"Exists"));
  EXPECT_EQ(5, IdOf(D(), L"Keys"));
  EXPECT_EQ(6, IdOf(D(), L"Items"));
  EXPECT_EQ(7, IdOf(D(), L"RemoveAll"));
  EXPECT_EQ(6, IdOf(D(), L"items"));
  // Another letter case misses the cache; the type information finds it.
  EXPECT_EQ(3, IdOf(D(), L"count"));
  EXPECT_EQ(1, IdOf(D(), L"ADD"));

  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Bogus")};
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, D()->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id));
  EXPECT_EQ(DISPID_UNKNOWN, id);

  // A member with its parameter names: parameters are numbered by place.
  LPOLESTR withParameters[] = {const_cast<LPOLESTR>(L"Add"), const_cast<LPOLESTR>(L"Key"),
                               const_cast<LPOLESTR>(L"Item")};
  DISPID ids[3] = {};
  ASSERT_EQ(S_OK, D()->GetIDsOfNames(IID_NULL, withParameters, 3, 0, ids));
  EXPECT_EQ(1, ids[0]);
  EXPECT_EQ(1, ids[1]);
  EXPECT_EQ(0, ids[2]);
  // A member name is not a parameter name.
  LPOLESTR notAParameter[] = {const_cast<LPOLESTR>(L"Remove"), const_cast<LPOLESTR>(L"Count")};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, D()->GetIDsOfNames(IID_NULL, notAParameter, 2, 0, ids));

  AddOrFail(m_collection.Get(), Var::I4(1));
  ComPtr<IXItem> item = ItemOf(m_collection.Get(), Var::I4(1));
  EXPECT_EQ(DISPID_VALUE, IdOf(item.Get(), L"Value"));
  EXPECT_EQ(DISPID_XITEM_KEY, IdOf(item.Get(), L"Key"));
  EXPECT_EQ(DISPID_XITEM_KEY, IdOf(item.Get(), L"key"));
}

// JScript enumerators and statement-style calls ("c.Item 1") invoke a
// property read with DISPATCH_METHOD alone.
TEST_F(DispatchTest, PropertyReadsWorkAsMethodCalls) {
  AddOrFail(m_collection.Get(), Var::I4(5), Var::Str(L"k"));
  Var count;
  ASSERT_EQ(S_OK, Call(D(), DISPID_XCOLLECTION_COUNT, DISPATCH_METHOD, {}, &count));
  EXPECT_EQ(1, V_I4(&count));
  Var item;
  ASSERT_EQ(S_OK, Call(D(), DISPID_VALUE, DISPATCH_METHOD, {Var::I4(1).Get()}, &item));
  EXPECT_EQ(VT_DISPATCH, item.Type());
  // Without a result the member handed out is released again.
  const LONG locks = VariantCollection::Module().ModuleLockCount();
  ASSERT_EQ(S_OK, Call(D(), DISPID_VALUE, DISPATCH_METHOD, {Var::I4(1).Get()}));
  EXPECT_EQ(locks, VariantCollection::Module().ModuleLockCount());
  // A method that does not exist stays unknown.
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(D(), 77, DISPATCH_METHOD, {}));
  // Other flags are not retried.
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(D(), DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYPUT, {Var::I4(1).Get()}));
}

TEST_F(DispatchTest, ReportedErrorsReachTheCallerAsExceptions) {
  EXCEPINFO exception{};
  Var item;
  EXPECT_EQ(DISP_E_EXCEPTION, Call(D(), DISPID_VALUE, DISPATCH_PROPERTYGET, {Var::I4(0).Get()}, &item, &exception));
  EXPECT_EQ(E_FAIL, exception.scode);
  EXPECT_STREQ(L"Subscript out of range", exception.bstrDescription);
  EXPECT_STREQ(L"Collection.XCollection.1", exception.bstrSource);
  ClearException(exception);
  PostedError error = TakeError();
  if (error.posted) { // the platform may leave the error object in place
    EXPECT_TRUE(IsEqualGUID(IID_IXCollection, error.guid));
  }

  ClearError();

  // A key that is not there is a plain failure: the caller sees its status
  // and no text.
  EXPECT_EQ(DISP_E_EXCEPTION,
            Call(D(), DISPID_XCOLLECTION_REMOVE, DISPATCH_METHOD, {Var::Str(L"none").Get()}, nullptr, &exception));
  EXPECT_EQ(E_INVALIDARG, exception.scode);
  EXPECT_EQ(nullptr, exception.bstrDescription);
  ClearException(exception);
}

// Without the registered type library the dispatch half fails with the
// load status, and works again once it is registered.
TEST_F(DispatchTest, FailsWithTheLoadStatusUntilTheTypeLibraryIsRegistered) {
  using Holder = VariantCollection::DualDispatch<IXCollection2>;
  Holder::TypeInfo().Unload();
  ASSERT_EQ(S_OK, UnregisterTypeLibrary());

  Var count;
  const HRESULT status = Call(D(), DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {}, &count);
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, status);
  ITypeInfo *info = reinterpret_cast<ITypeInfo *>(0x1234);
  EXPECT_EQ(status, D()->GetTypeInfo(0, 0, &info));
  EXPECT_EQ(nullptr, info);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Count")};
  DISPID id = 0;
  EXPECT_EQ(status, D()->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  UINT typeInfos = 0;
  EXPECT_EQ(S_OK, D()->GetTypeInfoCount(&typeInfos));
  EXPECT_EQ(1u, typeInfos);
  EXPECT_FALSE(Holder::TypeInfo().IsLoaded());

  ASSERT_EQ(S_OK, RegisterTypeLibrary());
  ASSERT_EQ(S_OK, Call(D(), DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {}, &count));
  EXPECT_EQ(0, V_I4(&count));
  EXPECT_TRUE(Holder::TypeInfo().IsLoaded());
}

TEST_F(DispatchTest, LoadsForNeutralAndOtherLocales) {
  using Holder = VariantCollection::DualDispatch<IXCollection2>;
  for (LCID lcid : {LCID(0), LCID(0x0409), LCID(0x0407), LCID(LOCALE_USER_DEFAULT)}) {
    Holder::TypeInfo().Unload();
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, D()->GetTypeInfo(0, lcid, &info)) << "lcid " << lcid;
  }
}

} // namespace
