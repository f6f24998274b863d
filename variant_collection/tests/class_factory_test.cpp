//===- class_factory_test.cpp - Class objects and the module lock count ---===//

#include "ObjectMap.h"
#include "ServerModule.h"

#include "support/FailingNew.h"
#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace ServerTest;
using VariantCollection::Module;

namespace {

class ClassFactoryTest : public ::testing::Test {
protected:
  // Every case starts before the first request for the class object.
  void SetUp() override { VariantCollection::ReleaseClassObjects(); }
  void TearDown() override {
    VariantCollection::ReleaseClassObjects();
    EXPECT_EQ(0, Module().ModuleLockCount());
  }

  static ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, DllGetClassObject(CLSID_Collection, IID_IClassFactory,
                                      reinterpret_cast<void **>(factory.GetAddressOf())));
    return factory;
  }
};

TEST_F(ClassFactoryTest, ServesOnlyTheCollection) {
  EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_Collection, IID_IClassFactory, nullptr));
  for (const CLSID *clsid : {&CLSID_XItem, &CLSID_CXEnumVARIANT, &IID_IXCollection}) {
    void *object = reinterpret_cast<void *>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(*clsid, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
  }
  void *object = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_Collection, IID_IXCollection, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(0, Module().ModuleLockCount());
}

TEST_F(ClassFactoryTest, EveryRequestAnswersTheSameObjectWhichTheModuleKeeps) {
  ComPtr<IClassFactory> first = Factory();
  ComPtr<IUnknown> second;
  ASSERT_EQ(S_OK, DllGetClassObject(CLSID_Collection, IID_IUnknown,
                                    reinterpret_cast<void **>(second.GetAddressOf())));
  EXPECT_EQ(static_cast<IUnknown *>(first.Get()), second.Get());
  // The module's own reference and the two of this test.
  EXPECT_EQ(4u, first->AddRef());
  EXPECT_EQ(3u, first->Release());

  ComPtr<IClassFactory> again;
  ASSERT_EQ(S_OK, second.As(&again));
  EXPECT_EQ(first.Get(), again.Get());
  void *other = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, first->QueryInterface(IID_IDispatch, &other));
  EXPECT_EQ(nullptr, other);
  EXPECT_EQ(E_POINTER, first->QueryInterface(IID_IUnknown, nullptr));

  // Released by every client, the object stays with the module.
  IClassFactory *kept = first.Get();
  first.Reset();
  second.Reset();
  again.Reset();
  EXPECT_EQ(kept, Factory().Get());
}

TEST_F(ClassFactoryTest, HoldingTheFactoryKeepsTheModuleOnce) {
  EXPECT_EQ(S_OK, DllCanUnloadNow());
  ComPtr<IClassFactory> first = Factory();
  EXPECT_EQ(1, Module().ModuleLockCount());
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  ComPtr<IClassFactory> second = Factory();
  ComPtr<IClassFactory> third = first;
  EXPECT_EQ(1, Module().ModuleLockCount());
  first.Reset();
  second.Reset();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  third.Reset();
  EXPECT_EQ(0, Module().ModuleLockCount());
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, LockServerCountsEveryLock) {
  ComPtr<IClassFactory> factory = Factory();
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  EXPECT_EQ(2, Module().ModuleLockCount());
  // A lock outlasts the client's hold on the factory.
  IClassFactory *kept = factory.Get();
  factory.Reset();
  EXPECT_EQ(S_FALSE, DllCanUnloadNow());
  EXPECT_EQ(S_OK, kept->LockServer(FALSE));
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, InstancesKeepTheModuleAfterTheFactoryGoes) {
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IXCollection> collection;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IXCollection,
                                          reinterpret_cast<void **>(collection.GetAddressOf())));
  AddOrFail(collection.Get(), Var::I4(1));
  EXPECT_EQ(1, CountOf(collection.Get()));
  ComPtr<IDispatch> other;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch,
                                          reinterpret_cast<void **>(other.GetAddressOf())));
  EXPECT_NE(static_cast<IDispatch *>(collection.Get()), other.Get());
  EXPECT_EQ(4, Module().ModuleLockCount()); // factory, two collections, one item
  factory.Reset();
  other.Reset();
  EXPECT_EQ(2, Module().ModuleLockCount());
  collection.Reset();
  EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, CreateInstanceRefusesAggregationAndUnknownInterfaces) {
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IXCollection> outer = NewCollection();
  const LONG locks = Module().ModuleLockCount();
  for (const IID *iid : {&IID_IUnknown, &IID_IXCollection, &IID_IDispatch}) {
    void *object = reinterpret_cast<void *>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), *iid, &object));
    EXPECT_EQ(nullptr, object);
  }
  void *object = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IEnumVARIANT, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
  EXPECT_EQ(locks, Module().ModuleLockCount());
}

TEST_F(ClassFactoryTest, FailsCleanlyWhenMemoryRunsOut) {
  {
    void *object = reinterpret_cast<void *>(1);
    FailingNew failing(1);
    EXPECT_EQ(E_OUTOFMEMORY, DllGetClassObject(CLSID_Collection, IID_IClassFactory, &object));
    EXPECT_TRUE(failing.Failed());
    EXPECT_EQ(nullptr, object);
  }
  EXPECT_EQ(0, Module().ModuleLockCount());
  ComPtr<IClassFactory> factory = Factory(); // made on the next request
  ASSERT_TRUE(factory);
  void *object = reinterpret_cast<void *>(1);
  FailingNew failing(1);
  EXPECT_EQ(E_OUTOFMEMORY, factory->CreateInstance(nullptr, IID_IUnknown, &object));
  EXPECT_TRUE(failing.Failed());
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(1, Module().ModuleLockCount());
}

TEST_F(ClassFactoryTest, ThreadsRequestingAtOnceShareOneObject) {
  constexpr int kThreads = 8;
  std::vector<IClassFactory *> factories(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&factories, i] {
      DllGetClassObject(CLSID_Collection, IID_IClassFactory, reinterpret_cast<void **>(&factories[i]));
    });
  for (std::thread &thread : threads)
    thread.join();
  for (IClassFactory *factory : factories)
    EXPECT_EQ(factories[0], factory);
  EXPECT_EQ(1, Module().ModuleLockCount());
  for (IClassFactory *factory : factories)
    factory->Release();
  EXPECT_EQ(0, Module().ModuleLockCount());
}

} // namespace
