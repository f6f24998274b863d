//===- class_factory_test.cpp - Class objects and the module lock count ---===//

#include "ObjectMap.h"
#include "ServerModule.h"

#include "support/ServerTest.h"

#include <CollectionTesting/FailingNew.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace ServerTest;
using CollectionTest::FailingNew::FailingAttempt;
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
  ASSERT_EQ(S_OK,
            DllGetClassObject(CLSID_Collection, IID_IUnknown, reinterpret_cast<void **>(second.GetAddressOf())));
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

  // Released by every client, the object stays with the module.
  IClassFactory *kept = first.Get();
  first.Reset();
  second.Reset();
  again.Reset();
  EXPECT_EQ(kept, Factory().Get());
}

// How the class object and its instances keep the module is in module_test.cpp.

TEST_F(ClassFactoryTest, CreateInstanceRefusesAggregationAndUnknownInterfaces) {
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IXCollection> outer = NewCollection();
  const LONG locks = Module().ModuleLockCount();
  for (const IID *iid : {&IID_IUnknown, &IID_IXCollection, &IID_IXCollection2, &IID_IDispatch}) {
    void *object = reinterpret_cast<void *>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.Get(), *iid, &object));
    EXPECT_EQ(nullptr, object);
  }
  void *object = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IEnumVARIANT, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(locks, Module().ModuleLockCount());
}

TEST_F(ClassFactoryTest, FailsCleanlyWhenMemoryRunsOut) {
  {
    void *object = reinterpret_cast<void *>(1);
    FailingAttempt failing(1);
    EXPECT_EQ(E_OUTOFMEMORY, DllGetClassObject(CLSID_Collection, IID_IClassFactory, &object));
    EXPECT_TRUE(failing.Failed());
    EXPECT_EQ(nullptr, object);
  }
  EXPECT_EQ(0, Module().ModuleLockCount());
  ComPtr<IClassFactory> factory = Factory(); // made on the next request
  ASSERT_TRUE(factory);
  void *object = reinterpret_cast<void *>(1);
  FailingAttempt failing(1);
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
