//===- apartment_test.cpp - The registered server from other apartments ---===//
//
// A C++ client on a multithreaded-apartment thread and one on a second
// single-threaded-apartment thread create the registered server by its
// class id, while this thread (the main apartment, where the class without
// a threading model lives) pumps messages. They reach it through the
// platform's proxies, which the type library registered under the neutral
// locale describes; every call through them answers what it answers in the
// object's own apartment, and once the clients let go nothing of theirs is
// left in the server: a client object of this apartment, stored in the
// collection and handed out again by its items and enumerators, is
// released by all of them.
//
//===----------------------------------------------------------------------===//

#include "support/ClientObjects.h"
#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <thread>

using namespace ServerTest;

namespace {

/// Runs `work` on a thread of its own, pumping this thread's messages
/// until it ends.
template <class Work> void RunWhilePumping(Work work) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, done);
  std::thread client([&] {
    work();
    SetEvent(done);
  });
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0)
      break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  client.join();
  CloseHandle(done);
}

/// The client's work through vtables: members added with and without keys,
/// read by key and by position with their values and keys, removed, counted
/// and enumerated; each call's status as documented.
void UseThroughProxies(IStream *sentinelStream) {
  ComPtr<IDispatch> sentinel;
  ASSERT_EQ(S_OK, CoGetInterfaceAndReleaseStream(sentinelStream, IID_IDispatch,
                                                 reinterpret_cast<void **>(sentinel.GetAddressOf())));
  ComPtr<IXCollection> collection;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_XCollection, nullptr, CLSCTX_INPROC_SERVER, IID_IXCollection,
                                   reinterpret_cast<void **>(collection.GetAddressOf())));
  EXPECT_EQ(S_OK, collection->Add(Var::I4(1).Get(), Var::Str(L"one").Get()));
  EXPECT_EQ(S_OK, collection->Add(Var::Str(L"two").Get(), Var::Missing().Get()));
  EXPECT_EQ(S_OK, collection->Add(Var::R8(3.5).Get(), Var::Str(L"three").Get()));
  EXPECT_EQ(E_FAIL, collection->Add(Var::I4(4).Get(), Var::I4(4).Get())); // a key must be a string
  EXPECT_EQ(3, CountOf(collection.Get()));
  Var object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = sentinel.Detach();
  EXPECT_EQ(S_OK, collection->Add(object.Get(), Var::Str(L"object").Get()));
  ComPtr<IXItem> holding = ItemOf(collection.Get(), Var::Str(L"object"));
  ASSERT_TRUE(holding);
  EXPECT_EQ(VT_DISPATCH, ValueOf(holding.Get()).Type());
  EXPECT_EQ(S_OK, collection->Remove(Var::Str(L"object").Get())); // the item still holds it
  ComPtr<IXCollection> other;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Collection, nullptr, CLSCTX_INPROC_SERVER, IID_IXCollection,
                                   reinterpret_cast<void **>(other.GetAddressOf())));
  EXPECT_EQ(S_OK, other->Add(object.Get(), Var::Missing().Get()));
  ComPtr<IUnknown> otherWalk;
  EXPECT_EQ(S_OK, other->get__NewEnum(&otherWalk)); // its snapshot holds it too

  ComPtr<IXItem> one = ItemOf(collection.Get(), Var::Str(L"one"));
  ASSERT_TRUE(one);
  Var value = ValueOf(one.Get());
  ASSERT_EQ(VT_I4, value.Type());
  EXPECT_EQ(1, V_I4(&value.Get()));
  EXPECT_EQ(L"one", KeyOf(one.Get()).Text());
  ComPtr<IXItem> two = ItemOf(collection.Get(), Var::I4(2));
  ASSERT_TRUE(two);
  EXPECT_EQ(L"two", ValueOf(two.Get()).Text());
  EXPECT_EQ(VT_EMPTY, KeyOf(two.Get()).Type());

  IXItem *none = nullptr;
  EXPECT_EQ(E_INVALIDARG, collection->get_Item(Var::Str(L"nokey").Get(), &none));
  EXPECT_EQ(E_FAIL, collection->get_Item(Var::I4(9).Get(), &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(S_OK, collection->Remove(Var::Str(L"three").Get()));
  EXPECT_EQ(E_INVALIDARG, collection->Remove(Var::Str(L"three").Get()));
  EXPECT_EQ(2, CountOf(collection.Get()));

  ComPtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, collection->get__NewEnum(&unknown));
  ComPtr<IEnumVARIANT> walk;
  ASSERT_EQ(S_OK, unknown.As(&walk));
  Var first;
  ULONG fetched = 0;
  EXPECT_EQ(S_OK, walk->Next(1, &first, &fetched));
  EXPECT_EQ(1u, fetched);
  EXPECT_EQ(VT_I4, first.Type());
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(S_OK, walk->Clone(&clone));
  EXPECT_EQ(S_OK, clone->Skip(1));
  Var beyond[2];
  EXPECT_EQ(S_FALSE, clone->Next(2, &beyond[0], &fetched));
  EXPECT_EQ(0u, fetched);
  Var second[2];
  EXPECT_EQ(S_FALSE, walk->Next(2, &second[0], &fetched));
  EXPECT_EQ(1u, fetched);
  EXPECT_EQ(L"two", second[0].Text());
  EXPECT_EQ(S_FALSE, walk->Skip(1));

  // The late-bound view of the same object leads back to the early-bound one.
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(S_OK, collection.As(&dispatch));
  ComPtr<IXCollection> again;
  EXPECT_EQ(S_OK, dispatch.As(&again));
}

/// Pumps this thread's messages until `done` holds, for at most two seconds.
template <class Condition> bool PumpUntil(Condition done) {
  for (int round = 0; !done() && round < 100; ++round) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
    Sleep(20);
  }
  return done();
}

class Apartments : public ::testing::TestWithParam<DWORD> {};

TEST_P(Apartments, AClientOfAnotherApartmentUsesTheServerThroughProxies) {
  const long liveBefore = ClientObject::Live();
  ClientObject *sentinel = ClientObject::Create(77);
  IStream *stream = nullptr;
  ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IDispatch, sentinel, &stream));
  RunWhilePumping([model = GetParam(), stream] {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, model)));
    UseThroughProxies(stream);
    if (model == COINIT_APARTMENTTHREADED) { // a single-threaded apartment handles its messages
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    }
    CoUninitialize();
  });
  sentinel->Release();
  EXPECT_TRUE(PumpUntil([&] { return ClientObject::Live() == liveBefore; }))
      << "objects of the main apartment still hold the client's object";
}

INSTANTIATE_TEST_SUITE_P(Server, Apartments,
                         ::testing::Values(static_cast<DWORD>(COINIT_MULTITHREADED),
                                           static_cast<DWORD>(COINIT_APARTMENTTHREADED)),
                         [](const ::testing::TestParamInfo<DWORD> &model) {
                           return model.param == COINIT_MULTITHREADED ? std::string("Multithreaded")
                                                                      : std::string("SecondSingleThreaded");
                         });

} // namespace
