//===- early_bound_client_test.cpp - A client built against IXCollection --===//
//
// A client as it was written before the collection's interface was
// extended: it knows IXCollection alone, creates the registered server by
// its class identifier and calls every member through that vtable and
// through the IDispatch it reaches from it. Whatever the server adds must
// leave this client working unchanged.
//
//===----------------------------------------------------------------------===//

#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

using namespace ServerTest;

namespace {

ComPtr<IXCollection> CreateRegistered() {
  ComPtr<IXCollection> collection;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Collection, nullptr, CLSCTX_INPROC_SERVER, IID_IXCollection,
                                   reinterpret_cast<void **>(collection.GetAddressOf())));
  return collection;
}

TEST(EarlyBoundClient, UsesEveryMemberOfIXCollection) {
  ComPtr<IXCollection> collection = CreateRegistered();
  ASSERT_TRUE(collection);
  AddOrFail(collection.Get(), Var::Str(L"one"));
  AddOrFail(collection.Get(), Var::I4(2), Var::Str(L"two"));
  ASSERT_EQ(S_OK, collection->put_Item(Var::Str(L"three").Get(), Var::R8(3.5).Get()));
  EXPECT_EQ(3, CountOf(collection.Get()));
  EXPECT_EQ(L"one", ValueOf(ItemOf(collection.Get(), Var::I4(1)).Get()).Text());
  EXPECT_EQ(2, V_I4(&ValueOf(ItemOf(collection.Get(), Var::Str(L"two")).Get()).Get()));
  EXPECT_EQ(L"three", KeyOf(ItemOf(collection.Get(), Var::I2(3)).Get()).Text());

  ComPtr<IUnknown> unknown;
  ComPtr<IEnumVARIANT> enumerator;
  ASSERT_EQ(S_OK, collection->get__NewEnum(&unknown));
  ASSERT_EQ(S_OK, unknown.As(&enumerator));
  Var values[4];
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, enumerator->Next(4, &values[0].Get(), &fetched));
  EXPECT_EQ(3u, fetched);
  EXPECT_EQ(VT_R8, values[2].Type());

  ASSERT_EQ(S_OK, collection->Remove(Var::Str(L"two").Get()));
  ASSERT_EQ(S_OK, collection->Remove(Var::I4(1).Get()));
  EXPECT_EQ(1, CountOf(collection.Get()));
  ClearError();
  IXItem *untouched = nullptr;
  EXPECT_EQ(E_FAIL, collection->get_Item(Var::I4(5).Get(), &untouched));
  PostedError error = TakeError();
  EXPECT_EQ(L"Subscript out of range", error.description);
  EXPECT_TRUE(IsEqualGUID(IID_IXCollection, error.guid));

  // The interface it asks for is the one it gets, whichever way it asks.
  ComPtr<IXCollection> again;
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, collection.As(&dispatch));
  ASSERT_EQ(S_OK, dispatch.As(&again));
  EXPECT_EQ(collection.Get(), again.Get());
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, collection.As(&support));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IXCollection));
}

// Late-bound through the IDispatch that IXCollection derives from: the
// names and DISPIDs it was built with.
TEST(EarlyBoundClient, CallsThroughItsIDispatchByTheOldNamesAndIds) {
  ComPtr<IXCollection> collection = CreateRegistered();
  ASSERT_TRUE(collection);
  IDispatch *dispatch = collection.Get();
  const struct {
    const wchar_t *name;
    DISPID id;
  } members[] = {{L"Item", DISPID_VALUE}, {L"Add", 1}, {L"Remove", 2}, {L"Count", 3}, {L"_NewEnum", DISPID_NEWENUM}};
  for (const auto &member : members) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(member.name)};
    DISPID id = 12345;
    EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(member.id, id) << std::string(member.name, member.name + std::wcslen(member.name));
  }
  ASSERT_EQ(S_OK, Call(dispatch, 1, DISPATCH_METHOD, {Var::I4(7).Get(), Var::Str(L"k").Get()}));
  Var count;
  ASSERT_EQ(S_OK, Call(dispatch, 3, DISPATCH_PROPERTYGET, {}, &count));
  EXPECT_EQ(1, V_I4(&count.Get()));
  Var item;
  ASSERT_EQ(S_OK, Call(dispatch, DISPID_VALUE, DISPATCH_PROPERTYGET, {Var::Str(L"k").Get()}, &item));
  ASSERT_EQ(VT_DISPATCH, item.Type());
  ASSERT_EQ(S_OK, Call(dispatch, 2, DISPATCH_METHOD, {Var::I4(1).Get()}));
  EXPECT_EQ(0, CountOf(collection.Get()));
}

} // namespace
