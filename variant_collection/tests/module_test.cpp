//===- module_test.cpp - Process-wide state of the server -----------------===//

#include "ServerModule.h"

#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <vector>

using namespace ServerTest;
using VariantCollection::Module;
using VariantCollection::ServerModule;

namespace {

TEST(ServerModule, CanUnloadOnlyWhileNoCollectionItemOrReferenceLives) {
  ASSERT_EQ(0, Module().ModuleLockCount());
  EXPECT_EQ(S_OK, DllCanUnloadNow());

  ComPtr<IXItem> kept;
  {
    ComPtr<IXCollection> collection = NewCollection();
    EXPECT_EQ(1, Module().ModuleLockCount());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    AddOrFail(collection.Get(), Var::I4(1));
    AddOrFail(collection.Get(), Var::I4(2), Var::Str(L"two"));
    EXPECT_EQ(3, Module().ModuleLockCount());
    kept = ItemOf(collection.Get(), Var::Str(L"two"));

    // Interfaces handed out count as the object's references.
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, collection.As(&support));
    collection.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  }
  // The collection is gone; the item a client still holds keeps the module.
  EXPECT_EQ(1, Module().ModuleLockCount());
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  EXPECT_EQ(L"two", KeyOf(kept.Get()).Text());
  kept.Reset();
  EXPECT_EQ(0, Module().ModuleLockCount());
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST(ServerModule, RemovedAndReplacedItemsGiveTheirLockBack) {
  ComPtr<IXCollection> collection = NewCollection();
  AddOrFail(collection.Get(), Var::I4(1), Var::Str(L"k"));
  AddOrFail(collection.Get(), Var::I4(2), Var::Str(L"k"));
  EXPECT_EQ(2, Module().ModuleLockCount());
  EXPECT_EQ(S_OK, collection->Remove(Var::I4(1).Get()));
  EXPECT_EQ(1, Module().ModuleLockCount());
  collection.Reset();
  EXPECT_EQ(S_OK, DllCanUnloadNow());
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

// The built server itself: it loads, answers DllCanUnloadNow by name and
// unloads, needing nothing beside it.
TEST(ServerModule, BuiltServerLoadsAndExportsDllCanUnloadNow) {
  HMODULE server = LoadLibraryW(ServerPath().c_str());
  ASSERT_NE(nullptr, server) << "error " << GetLastError();
  using CanUnloadNow = HRESULT(STDAPICALLTYPE *)();
  auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
      reinterpret_cast<void *>(GetProcAddress(server, "DllCanUnloadNow")));
  ASSERT_NE(nullptr, canUnloadNow);
  EXPECT_EQ(S_OK, canUnloadNow());
  EXPECT_TRUE(FreeLibrary(server));
}

} // namespace
