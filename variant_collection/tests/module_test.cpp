//===- module_test.cpp - Process-wide state of the server -----------------===//

#include "ObjectMap.h"
#include "ServerModule.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <vector>

using namespace ServerTest;
using VariantCollection::Module;
using VariantCollection::ServerModule;

namespace {

// The module counts one lock for every live collection, item and
// enumerator, for each outstanding LockServer(TRUE), and for the class object
// while any client holds it. DllCanUnloadNow answers S_OK only without any.
TEST(ServerModule, CountsEveryReasonNotToUnload) {
  VariantCollection::ReleaseClassObjects(); // no client holds the class object
  const auto expectLocks = [](LONG locks, const char *when) {
    EXPECT_EQ(locks, Module().ModuleLockCount()) << when;
    EXPECT_EQ(locks == 0 ? S_OK : S_FALSE, DllCanUnloadNow()) << when;
  };
  expectLocks(0, "at the start");
  ComPtr<IClassFactory> first, second;
  ASSERT_EQ(S_OK,
            DllGetClassObject(CLSID_Collection, IID_IClassFactory, reinterpret_cast<void **>(first.GetAddressOf())));
  ASSERT_EQ(S_OK,
            DllGetClassObject(CLSID_Collection, IID_IClassFactory, reinterpret_cast<void **>(second.GetAddressOf())));
  ComPtr<IClassFactory> third = first;
  expectLocks(1, "the class object held three times");
  EXPECT_EQ(S_OK, first->LockServer(TRUE));
  EXPECT_EQ(S_OK, first->LockServer(TRUE));
  EXPECT_EQ(S_OK, first->LockServer(FALSE));
  expectLocks(2, "and one lock");

  ComPtr<IXCollection> collection;
  ComPtr<IDispatch> other;
  ASSERT_EQ(S_OK,
            first->CreateInstance(nullptr, IID_IXCollection, reinterpret_cast<void **>(collection.GetAddressOf())));
  ASSERT_EQ(S_OK, first->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void **>(other.GetAddressOf())));
  EXPECT_NE(static_cast<IDispatch *>(collection.Get()), other.Get());
  AddOrFail(collection.Get(), Var::I4(1));
  AddOrFail(collection.Get(), Var::I4(2), Var::Str(L"k"));
  AddOrFail(collection.Get(), Var::I4(3), Var::Str(L"k"));
  expectLocks(6, "and two collections, one with two members, one replaced");
  ComPtr<IXItem> item = ItemOf(collection.Get(), Var::I4(1));
  ASSERT_EQ(S_OK, collection->Remove(Var::I4(1).Get()));
  expectLocks(6, "a removed member still held");
  item.Reset();
  expectLocks(5, "the removed member let go");
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, collection->get__NewEnum(&unknown));
  expectLocks(6, "and an enumerator");

  IClassFactory *factory = first.Get();
  first.Reset();
  second.Reset();
  third.Reset();
  other.Reset();
  expectLocks(4, "the class object and the other collection let go");
  // An interface handed out holds its object as well; the enumerator holds
  // the member it walks.
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, collection.As(&support));
  collection.Reset();
  expectLocks(4, "the collection held through another interface");
  support.Reset();
  expectLocks(3, "the collection let go");
  unknown.Reset();
  expectLocks(1, "the enumerator let go");
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  expectLocks(0, "unlocked");
  VariantCollection::ReleaseClassObjects();
}

TEST(ServerModule, RunsEveryTerminationOnceNewestFirst) {
  static std::vector<int> ran;
  ran.clear();
  int arguments[3] = {1, 2, 3};
  {
    ServerModule module;
    module.Initialize(nullptr);
    for (int &argument : arguments)
      ASSERT_EQ(S_OK, module.AddTermination([](void *p) { ran.push_back(*static_cast<int *>(p)); }, &argument));
    EXPECT_TRUE(ran.empty());
    module.Terminate();
    EXPECT_EQ((std::vector<int>{3, 2, 1}), ran);
    module.Terminate();
  }
  EXPECT_EQ((std::vector<int>{3, 2, 1}), ran);
}

} // namespace
