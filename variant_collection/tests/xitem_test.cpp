//===- xitem_test.cpp - One member of a variant collection ----------------===//

#include "DispIds.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

using namespace ServerTest;

namespace {

TEST(XItem, AnswersItsInterfacesAndNoOthers) {
  ComPtr<IXCollection> collection = NewCollection();
  AddOrFail(collection.Get(), Var::I4(7));
  ComPtr<IXItem> item = ItemOf(collection.Get(), Var::I4(1));
  ASSERT_TRUE(item);

  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  ComPtr<IXItem> again;
  ASSERT_EQ(S_OK, item.As(&unknown));
  ASSERT_EQ(S_OK, item.As(&dispatch));
  ASSERT_EQ(S_OK, item.As(&again));
  EXPECT_EQ(static_cast<IUnknown *>(item.Get()), unknown.Get());
  EXPECT_EQ(static_cast<IDispatch *>(item.Get()), dispatch.Get());

  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, item.As(&support));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IXItem));
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IXCollection));
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));
  // The error-info interface leads back to the same object.
  ComPtr<IUnknown> viaSupport;
  ASSERT_EQ(S_OK, support.As(&viaSupport));
  EXPECT_EQ(unknown.Get(), viaSupport.Get());

  void *none = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, item->QueryInterface(IID_IEnumVARIANT, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(E_NOINTERFACE, item->QueryInterface(IID_IXCollection, &none));
}

TEST(XItem, EveryReadIsAnIndependentCopy) {
  ComPtr<IXCollection> collection = NewCollection();
  AddOrFail(collection.Get(), Var::Str(L"text"), Var::Str(L"key"));
  ComPtr<IXItem> item = ItemOf(collection.Get(), Var::Str(L"key"));
  Var first = ValueOf(item.Get());
  Var second = ValueOf(item.Get());
  ASSERT_EQ(VT_BSTR, first.Type());
  EXPECT_NE(V_BSTR(&first), V_BSTR(&second));
  V_BSTR(&first)[0] = L'T'; // the caller owns its copy
  EXPECT_EQ(L"text", ValueOf(item.Get()).Text());
  Var key = KeyOf(item.Get());
  Var otherKey = KeyOf(item.Get());
  EXPECT_EQ(L"key", key.Text());
  EXPECT_NE(V_BSTR(&key), V_BSTR(&otherKey));

  // The destination is cleared before it is written.
  Var reused = Var::Str(L"old");
  EXPECT_EQ(S_OK, item->get_Value(&reused));
  EXPECT_EQ(L"text", reused.Text());
}

DISPID IdOf(IDispatch *object, const wchar_t *name, HRESULT expected = S_OK) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 12345;
  EXPECT_EQ(expected, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << name;
  return id;
}

// Late-bound, an item whose value is an object stands for that object:
// names it lacks, enumeration and its default member called with
// arguments reach the value, with the value's own results and errors.
TEST(XItem, StandsForItsObjectValueInLateBoundCalls) {
  ComPtr<IXCollection> tags = NewCollection();
  AddOrFail(tags.Get(), Var::Str(L"x"));
  AddOrFail(tags.Get(), Var::Str(L"y"));
  ComPtr<IXCollection> outer = NewCollection();
  Var value;
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = tags.Get();
  tags->AddRef();
  AddOrFail(outer.Get(), value, Var::Str(L"tags"));
  AddOrFail(outer.Get(), Var::I4(3), Var::Str(L"n"));
  ComPtr<IXItem> item = ItemOf(outer.Get(), Var::Str(L"tags"));

  EXPECT_EQ(DISPID_XCOLLECTION_COUNT, IdOf(item.Get(), L"count"));
  Var count;
  ASSERT_EQ(S_OK, Call(item.Get(), DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {}, &count));
  EXPECT_EQ(2, V_I4(&count.Get()));
  Var second;
  ASSERT_EQ(S_OK,
            Call(item.Get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Var::I4(2).Get()}, &second));
  ComPtr<IXItem> secondItem;
  ASSERT_EQ(VT_DISPATCH, second.Type());
  ASSERT_EQ(S_OK,
            V_DISPATCH(&second)->QueryInterface(IID_IXItem, reinterpret_cast<void **>(secondItem.GetAddressOf())));
  EXPECT_EQ(L"y", ValueOf(secondItem.Get()).Text());
  Var enumerator;
  ASSERT_EQ(S_OK, Call(item.Get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &enumerator));
  ComPtr<IEnumVARIANT> walk;
  ASSERT_EQ(S_OK,
            V_UNKNOWN(&enumerator)->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void **>(walk.GetAddressOf())));
  Var first;
  EXPECT_EQ(S_OK, walk->Next(1, &first, nullptr));
  EXPECT_EQ(L"x", first.Text());

  // The value's failure, with its error object, reaches the caller.
  EXCEPINFO exception{};
  EXPECT_EQ(DISP_E_EXCEPTION, Call(item.Get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                   {Var::I4(9).Get()}, nullptr, &exception));
  EXPECT_STREQ(L"Subscript out of range", exception.bstrDescription);
  EXPECT_STREQ(L"Collection.XCollection.1", exception.bstrSource);
  ClearException(exception);

  // Value and Key keep their meaning; early binding is the item's alone.
  EXPECT_EQ(DISPID_XITEM_KEY, IdOf(item.Get(), L"KEY"));
  Var key, itself;
  ASSERT_EQ(S_OK, Call(item.Get(), DISPID_XITEM_KEY, DISPATCH_PROPERTYGET, {}, &key));
  EXPECT_EQ(L"tags", key.Text());
  ASSERT_EQ(S_OK, Call(item.Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {}, &itself));
  EXPECT_EQ(V_DISPATCH(&value), V_DISPATCH(&itself));
  ComPtr<IXCollection> notACollection;
  EXPECT_EQ(E_NOINTERFACE, item.As(&notACollection));

  // An item whose value is no object has only its own members.
  ComPtr<IXItem> number = ItemOf(outer.Get(), Var::Str(L"n"));
  IdOf(number.Get(), L"Count", DISP_E_UNKNOWNNAME);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(number.Get(), DISPID_XCOLLECTION_COUNT, DISPATCH_PROPERTYGET, {}, nullptr));
}

} // namespace
