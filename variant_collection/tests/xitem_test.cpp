//===- xitem_test.cpp - One member of a variant collection ----------------===//

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

} // namespace
