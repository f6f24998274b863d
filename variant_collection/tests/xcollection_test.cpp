//===- xcollection_test.cpp - Ordered collection of VARIANT values --------===//

#include "ServerModule.h"
#include "XCollection.h"

#include "support/ClientObjects.h"
#include "support/ServerTest.h"

#include <CollectionTesting/FailingNew.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace ServerTest;
using CollectionTest::FailingNew::FailingAttempt;

namespace {

class XCollectionTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_collection = NewCollection();
    ClearError();
  }

  IXCollection *C() const { return m_collection.Get(); }
  /// The same collection through IXCollection2.
  IXCollection2 *C2() {
    if (!m_second) {
      EXPECT_EQ(S_OK, m_collection.As(&m_second));
    }
    return m_second.Get();
  }

  /// Expects `status` to be E_FAIL with the collection's error object
  /// carrying `description`.
  static void ExpectReported(HRESULT status, const wchar_t *description) {
    EXPECT_EQ(E_FAIL, status);
    PostedError error = TakeError();
    EXPECT_TRUE(error.posted);
    EXPECT_EQ(description, error.description);
    EXPECT_EQ(L"Collection.XCollection.1", error.source);
    EXPECT_TRUE(IsEqualGUID(IID_IXCollection, error.guid));
  }

  ComPtr<IXCollection> m_collection;
  ComPtr<IXCollection2> m_second;
};

TEST_F(XCollectionTest, AnswersItsInterfacesAndNoOthers) {
  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, m_collection.As(&unknown));
  ASSERT_EQ(S_OK, m_collection.As(&dispatch));
  ASSERT_EQ(S_OK, m_collection.As(&support));
  EXPECT_EQ(static_cast<IUnknown *>(C()), unknown.Get());
  EXPECT_EQ(static_cast<IDispatch *>(C()), dispatch.Get());
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IXCollection));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IXCollection2));
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IXItem));
  ComPtr<IXCollection> back;
  ASSERT_EQ(S_OK, support.As(&back));
  EXPECT_EQ(C(), back.Get());
  // IXCollection2 extends the same vtable: one pointer for both.
  ComPtr<IXCollection2> second;
  ASSERT_EQ(S_OK, m_collection.As(&second));
  EXPECT_EQ(static_cast<IXCollection *>(second.Get()), C());

  void *none = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, C()->QueryInterface(IID_IEnumVARIANT, &none));
  EXPECT_EQ(nullptr, none);
  void *object = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, VariantCollection::XCollection::Create(IID_IXItem, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, VariantCollection::XCollection::Create(IID_IUnknown, nullptr));
}

/// The members' values and keys, in order, as text: "value=key;", the key
/// "-" for a member without one.
std::wstring Contents(IXCollection *collection) {
  std::wstring text;
  for (LONG p = 1; p <= CountOf(collection); ++p) {
    ComPtr<IXItem> item = ItemOf(collection, Var::I4(p));
    Var value = ValueOf(item.Get());
    Var key = KeyOf(item.Get());
    EXPECT_EQ(S_OK, VariantChangeType(&value, &value, 0, VT_BSTR));
    text += value.Text() + L"=" + (key.Type() == VT_EMPTY ? L"-" : key.Text()) + L";";
  }
  return text;
}

// After each step the collection holds the listed members in order.
TEST_F(XCollectionTest, AddsReplacesAndRemovesInOrder) {
  const struct {
    const char *step;
    std::function<HRESULT(IXCollection *)> apply;
    const wchar_t *expected;
  } steps[] = {
      {"add without a key", [](IXCollection *c) { return c->Add(Var::I4(1).Get(), Var::Missing().Get()); }, L"1=-;"},
      {"add under k", [](IXCollection *c) { return c->Add(Var::I4(2).Get(), Var::Str(L"k").Get()); }, L"1=-;2=k;"},
      // Keys are exact strings: another case, a trailing blank, the empty string.
      {"add under K", [](IXCollection *c) { return c->Add(Var::I4(3).Get(), Var::Str(L"K").Get()); },
       L"1=-;2=k;3=K;"},
      {"add under 'k '", [](IXCollection *c) { return c->Add(Var::I4(4).Get(), Var::Str(L"k ").Get()); },
       L"1=-;2=k;3=K;4=k ;"},
      {"add under ''", [](IXCollection *c) { return c->Add(Var::I4(5).Get(), Var::Str(L"").Get()); },
       L"1=-;2=k;3=K;4=k ;5=;"},
      // An existing key replaces the member and moves the key to the end.
      {"add under the null string", [](IXCollection *c) { return c->Add(Var::I4(6).Get(), Var::NullStr().Get()); },
       L"1=-;2=k;3=K;4=k ;6=;"},
      {"add under k again", [](IXCollection *c) { return c->Add(Var::I2(7).Get(), Var::Str(L"k").Get()); },
       L"1=-;3=K;4=k ;6=;7=k;"},
      {"Item put adds", [](IXCollection *c) { return c->put_Item(Var::Str(L"j").Get(), Var::I4(8).Get()); },
       L"1=-;3=K;4=k ;6=;7=k;8=j;"},
      {"Item put replaces", [](IXCollection *c) { return c->put_Item(Var::Str(L"K").Get(), Var::I4(9).Get()); },
       L"1=-;4=k ;6=;7=k;8=j;9=K;"},
      {"remove by key", [](IXCollection *c) { return c->Remove(Var::Str(L"k ").Get()); }, L"1=-;6=;7=k;8=j;9=K;"},
      {"remove by 16-bit position", [](IXCollection *c) { return c->Remove(Var::I2(1).Get()); }, L"6=;7=k;8=j;9=K;"},
      {"remove the last", [](IXCollection *c) { return c->Remove(Var::I4(4).Get()); }, L"6=;7=k;8=j;"},
      {"a removed key again", [](IXCollection *c) { return c->Add(Var::I4(10).Get(), Var::Str(L"k ").Get()); },
       L"6=;7=k;8=j;10=k ;"},
  };
  EXPECT_EQ(0, CountOf(C()));
  for (const auto &step : steps) {
    SCOPED_TRACE(step.step);
    EXPECT_EQ(S_OK, step.apply(C()));
    EXPECT_EQ(step.expected, Contents(C()));
  }
  // Item hands out the member itself, by key and by either kind of position.
  ComPtr<IXItem> byKey = ItemOf(C(), Var::Str(L"k"));
  EXPECT_EQ(byKey.Get(), ItemOf(C(), Var::I4(2)).Get());
  EXPECT_EQ(byKey.Get(), ItemOf(C(), Var::I2(2)).Get());
  EXPECT_EQ(ItemOf(C(), Var::Str(L"")).Get(), ItemOf(C(), Var::NullStr()).Get());
  EXPECT_FALSE(TakeError().posted);
}

// Every failure leaves the collection and the out-parameter as they were;
// only the failures a script user should read post an error object. (Every
// VARTYPE in every argument is tried in hostile_input_test.cpp.)
TEST_F(XCollectionTest, ReportsEveryFailureOfTheTable) {
  Var inner = Var::I4(1);
  Var middle = Var::RefTo(&inner.Get());
  const Var referenceToReference = Var::RefTo(&middle.Get()); // malformed
  const struct {
    const char *name;
    bool empty; // on an empty collection rather than one holding 1 under "one"
    std::function<HRESULT(IXCollection *, IXItem **)> call;
    HRESULT status;
    const wchar_t *description; // of the error object; none without
  } failures[] = {
      {"Item of an unknown key", false,
       [](IXCollection *c, IXItem **out) { return c->get_Item(Var::Str(L"two").Get(), out); }, E_INVALIDARG, nullptr},
      {"Remove of an unknown key", false,
       [](IXCollection *c, IXItem **) { return c->Remove(Var::Str(L"two").Get()); }, E_INVALIDARG, nullptr},
      {"Item 0", false, [](IXCollection *c, IXItem **out) { return c->get_Item(Var::I4(0).Get(), out); }, E_FAIL,
       L"Subscript out of range"},
      {"Item past the end", false, [](IXCollection *c, IXItem **out) { return c->get_Item(Var::I2(2).Get(), out); },
       E_FAIL, L"Subscript out of range"},
      {"Remove past the end", false, [](IXCollection *c, IXItem **) { return c->Remove(Var::I4(2).Get()); }, E_FAIL,
       L"Subscript out of range"},
      {"Item 1 of none", true, [](IXCollection *c, IXItem **out) { return c->get_Item(Var::I4(1).Get(), out); },
       E_FAIL, L"Subscript out of range"},
      {"Remove 1 of none", true, [](IXCollection *c, IXItem **) { return c->Remove(Var::I2(1).Get()); }, E_FAIL,
       L"Subscript out of range"},
      {"Add with a number for a key", false,
       [](IXCollection *c, IXItem **) { return c->Add(Var::I4(2).Get(), Var::I4(5).Get()); }, E_FAIL,
       L"Type mismatch"},
      {"Item put with a number for a key", false,
       [](IXCollection *c, IXItem **) { return c->put_Item(Var::I4(5).Get(), Var::I4(2).Get()); }, E_FAIL,
       L"Type mismatch"},
      {"Remove of an omitted selector", false,
       [](IXCollection *c, IXItem **) { return c->Remove(Var::Missing().Get()); }, E_FAIL, L"Type mismatch"},
      {"Item through a reference to a reference", false,
       [&](IXCollection *c, IXItem **out) { return c->get_Item(referenceToReference.Get(), out); }, E_INVALIDARG,
       nullptr},
      {"Add through a reference to a reference", false,
       [&](IXCollection *c, IXItem **) { return c->Add(referenceToReference.Get(), Var::Missing().Get()); },
       E_INVALIDARG, nullptr},
  };
  for (const auto &failure : failures) {
    SCOPED_TRACE(failure.name);
    ComPtr<IXCollection> collection = NewCollection();
    if (!failure.empty)
      AddOrFail(collection.Get(), Var::I4(1), Var::Str(L"one"));
    const std::wstring before = Contents(collection.Get());
    // A failure posts its own error object or clears the thread's: never
    // is an older one left for the client to read.
    PostStaleError();
    IXItem *untouched = reinterpret_cast<IXItem *>(0x1234);
    const HRESULT status = failure.call(collection.Get(), &untouched);
    if (failure.description != nullptr) {
      ExpectReported(status, failure.description);
    } else {
      EXPECT_EQ(failure.status, status);
      EXPECT_FALSE(TakeError().posted);
    }
    EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), untouched);
    EXPECT_EQ(before, Contents(collection.Get()));
  }
}

// A client that asks for the error object after each failure, as C++
// clients do: a failure that posts none leaves none, not the previous
// failure's, on the collection's interface as on its items'.
TEST_F(XCollectionTest, AFailureWithoutErrorObjectLeavesNoOlderOne) {
  AddOrFail(C(), Var::I4(1), Var::Str(L"one"));
  ComPtr<IXItem> item = ItemOf(C(), Var::I4(1));
  const std::function<HRESULT()> silentFailures[] = {
      [&] { return C()->Remove(Var::Str(L"nokey").Get()); },
      [&] { return C()->get_Count(nullptr); },
      [&] { return item->get_Value(nullptr); },
      [&] { return item->get_Key(nullptr); },
  };
  for (const auto &fail : silentFailures) {
    ExpectReported(C()->Remove(Var::I4(9).Get()), L"Subscript out of range");
    EXPECT_EQ(E_FAIL, C()->Remove(Var::I4(9).Get()));
    EXPECT_TRUE(FAILED(fail()));
    EXPECT_FALSE(TakeError().posted);
  }
}

// Script clients pass variables by reference: VT_BYREF | VT_VARIANT
// pointing at the script's own VARIANT.
TEST_F(XCollectionTest, ArgumentsByReferenceAreReadThroughTheReference) {
  Var value = Var::Str(L"stored");
  Var key = Var::Str(L"k");
  Var missing = Var::Missing();
  Var position = Var::I2(2);
  ASSERT_EQ(S_OK, C()->Add(Var::RefTo(&value).Get(), Var::RefTo(&key).Get()));
  VariantClear(&value.Get()); // the member holds the value itself
  // An omitted argument passed through a variable is still omitted.
  ASSERT_EQ(S_OK, C()->Add(Var::RefTo(&missing).Get(), Var::RefTo(&missing).Get()));
  EXPECT_EQ(L"stored=k;=-;", Contents(C()));
  EXPECT_EQ(ItemOf(C(), Var::I4(2)).Get(), ItemOf(C(), Var::RefTo(&position)).Get());
  EXPECT_EQ(ItemOf(C(), Var::I4(1)).Get(), ItemOf(C(), Var::RefTo(&key)).Get());
  ASSERT_EQ(S_OK, C()->put_Item(Var::RefTo(&key).Get(), Var::RefTo(&position).Get()));
  EXPECT_EQ(L"=-;2=k;", Contents(C()));
  ASSERT_EQ(S_OK, C()->Remove(Var::RefTo(&key).Get()));
  ASSERT_EQ(S_OK, C()->Remove(Var::RefTo(&Var::I4(1).Get()).Get()));
  EXPECT_EQ(0, CountOf(C()));
}

/// A client object that, when its last reference goes, uses the collection
/// that held it, holding a reference on it meanwhile as a script engine
/// does.
class ReentrantValue final : public IUnknown {
public:
  explicit ReentrantValue(IXCollection *collection) : m_collection(collection) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override {
    if (!IsEqualIID(iid, IID_IUnknown)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--m_references == 0) {
      m_collection->AddRef();
      countSeen = CountOf(m_collection);
      addStatus = m_collection->Add(Var::I4(7).Get(), Var::Str(L"added").Get());
      m_collection->Release();
      delete this;
      return 0;
    }
    return m_references;
  }

  static LONG countSeen;
  static HRESULT addStatus;

private:
  ULONG m_references = 1;
  IXCollection *m_collection;
};
LONG ReentrantValue::countSeen = -1;
HRESULT ReentrantValue::addStatus = E_UNEXPECTED;

// Releasing a member's value may run client code that uses the collection
// again; by then the collection must already be consistent.
// By then the collection must already be consistent: removing by key or by
// position, replacing by key, or removing all releases the old member the
// same way.
TEST_F(XCollectionTest, ReleasingAValueMayReenterTheCollection) {
  const struct {
    std::function<HRESULT(IXCollection *)> release;
    LONG countSeen;
    const wchar_t *contents;
  } releases[] = {
      {[](IXCollection *c) { return c->Remove(Var::Str(L"r").Get()); }, 1, L"1=x;7=added;"},
      {[](IXCollection *c) { return c->Remove(Var::I4(2).Get()); }, 1, L"1=x;7=added;"},
      {[](IXCollection *c) { return c->Add(Var::I4(2).Get(), Var::Str(L"r").Get()); }, 2, L"1=x;2=r;7=added;"},
      {[](IXCollection *c) {
         ComPtr<IXCollection2> second;
         const HRESULT status =
             c->QueryInterface(IID_IXCollection2, reinterpret_cast<void **>(second.GetAddressOf()));
         return FAILED(status) ? status : second->RemoveAll();
       },
       0, L"7=added;"},
  };
  for (const auto &release : releases) {
    SCOPED_TRACE(release.contents);
    ComPtr<IXCollection> collection = NewCollection();
    Var value;
    V_VT(&value) = VT_UNKNOWN;
    V_UNKNOWN(&value) = new ReentrantValue(collection.Get());
    AddOrFail(collection.Get(), Var::I4(1), Var::Str(L"x"));
    AddOrFail(collection.Get(), value, Var::Str(L"r"));
    VariantClear(&value.Get());
    ReentrantValue::countSeen = -1;
    ReentrantValue::addStatus = E_UNEXPECTED;
    ASSERT_EQ(S_OK, release.release(collection.Get()));
    EXPECT_EQ(release.countSeen, ReentrantValue::countSeen);
    EXPECT_EQ(S_OK, ReentrantValue::addStatus);
    EXPECT_EQ(release.contents, Contents(collection.Get()));
  }
}

// The same while the collection's last reference goes: its members leave it
// before any is released, also one added meanwhile, and it is destroyed
// once, although the value takes and gives back a reference on it.
TEST_F(XCollectionTest, ReleasingAValueMayReenterACollectionThatGoes) {
  const LONG locks = VariantCollection::Module().ModuleLockCount();
  ComPtr<IXCollection> collection = NewCollection();
  Var value;
  V_VT(&value) = VT_UNKNOWN;
  V_UNKNOWN(&value) = new ReentrantValue(collection.Get());
  AddOrFail(collection.Get(), Var::I4(1), Var::Str(L"x"));
  AddOrFail(collection.Get(), value, Var::Str(L"r"));
  VariantClear(&value.Get());
  ReentrantValue::countSeen = -1;
  ReentrantValue::addStatus = E_UNEXPECTED;
  collection.Reset();
  EXPECT_EQ(0, ReentrantValue::countSeen);
  EXPECT_EQ(S_OK, ReentrantValue::addStatus);
  EXPECT_EQ(locks, VariantCollection::Module().ModuleLockCount()); // the collection and every item gone
}

// Each allocation that Add makes may fail: the answer is E_OUTOFMEMORY, the
// collection is unchanged and the new member is not left behind. Sizes
// around the growth steps of the member storage put every allocation in
// the way.
TEST_F(XCollectionTest, AddRunningOutOfMemoryChangesNothing) {
  int failures = 0;
  for (LONG size = 0; size < 40; ++size) {
    for (int kind = 0; kind < 3; ++kind) {
      for (long nth = 1;; ++nth) {
        ComPtr<IXCollection> collection = NewCollection();
        for (LONG i = 0; i < size; ++i)
          AddOrFail(collection.Get(), Var::I4(i), i % 2 ? Var::Missing() : Var::Str(std::to_wstring(i).c_str()));
        const std::wstring before = Contents(collection.Get());
        const LONG locks = VariantCollection::Module().ModuleLockCount();
        const Var key = kind == 0 ? Var::Str(L"new") : kind == 1 ? Var::Str(L"0") : Var::Missing();
        HRESULT status;
        bool failed;
        {
          FailingAttempt failing(nth);
          status = collection->Add(Var::I4(-1).Get(), key.Get());
          failed = failing.Failed();
        }
        if (!failed) {
          EXPECT_EQ(S_OK, status);
          break;
        }
        ++failures;
        ASSERT_EQ(E_OUTOFMEMORY, status) << "size " << size << " kind " << kind << " nth " << nth;
        EXPECT_EQ(before, Contents(collection.Get()));
        EXPECT_EQ(locks, VariantCollection::Module().ModuleLockCount());
      }
    }
  }
  EXPECT_GT(failures, 100);
}

// Removal never fails for want of memory: the storage is tidied up later.
TEST_F(XCollectionTest, RemoveSucceedsWhenTidyingUpRunsOutOfMemory) {
  for (LONG i = 0; i < 64; ++i)
    AddOrFail(C(), Var::I4(i), Var::Str(std::to_wstring(i).c_str()));
  for (LONG i = 0; i < 60; ++i) {
    FailingAttempt failing(1);
    ASSERT_EQ(S_OK, C()->Remove(Var::Str(std::to_wstring(i).c_str()).Get()));
  }
  EXPECT_EQ(4, CountOf(C()));
  EXPECT_EQ(L"60=60;61=61;62=62;63=63;", Contents(C()));
  for (LONG i = 60; i < 63; ++i)
    ASSERT_EQ(S_OK, C()->Remove(Var::I4(1).Get()));
  EXPECT_EQ(L"63=63;", Contents(C()));
}

/// The elements of a Keys or Items array, which must be zero-based,
/// one-dimensional VT_ARRAY | VT_VARIANT, as text: "value;", "-;" for
/// VT_EMPTY.
std::wstring ArrayText(const Var &array) {
  EXPECT_EQ(VT_ARRAY | VT_VARIANT, array.Type());
  if (array.Type() != (VT_ARRAY | VT_VARIANT))
    return L"<not an array>";
  SAFEARRAY *elements = V_ARRAY(&array.Get());
  EXPECT_EQ(1u, SafeArrayGetDim(elements));
  LONG low = -1, high = -1;
  EXPECT_EQ(S_OK, SafeArrayGetLBound(elements, 1, &low));
  EXPECT_EQ(S_OK, SafeArrayGetUBound(elements, 1, &high));
  EXPECT_EQ(0, low);
  std::wstring text;
  for (LONG i = low; i <= high; ++i) {
    Var element;
    EXPECT_EQ(S_OK, SafeArrayGetElement(elements, &i, &element));
    if (element.Type() == VT_EMPTY) {
      text += L"-;";
      continue;
    }
    EXPECT_EQ(S_OK, VariantChangeType(&element, &element, 0, VT_BSTR));
    text += element.Text() + L";";
  }
  return text;
}

// After each step Keys and Items list the members in order, and Exists
// answers for a key of the step, the empty key and one in another case.
TEST_F(XCollectionTest, ExistsKeysAndItemsFollowTheMembers) {
  const struct {
    const char *step;
    std::function<HRESULT(IXCollection2 *)> apply;
    const wchar_t *keys;
    const wchar_t *items;
    bool hasK, hasEmpty;
  } steps[] = {
      {"empty", [](IXCollection2 *) { return S_OK; }, L"", L"", false, false},
      {"add without a key", [](IXCollection2 *c) { return c->Add(Var::I4(1).Get(), Var::Missing().Get()); }, L"-;",
       L"1;", false, false},
      {"add under k", [](IXCollection2 *c) { return c->Add(Var::I4(2).Get(), Var::Str(L"k").Get()); }, L"-;k;",
       L"1;2;", true, false},
      {"add under ''", [](IXCollection2 *c) { return c->Add(Var::Str(L"3").Get(), Var::Str(L"").Get()); }, L"-;k;;",
       L"1;2;3;", true, true},
      {"replace k", [](IXCollection2 *c) { return c->put_Item(Var::Str(L"k").Get(), Var::R8(4.5).Get()); }, L"-;;k;",
       L"1;3;4.5;", true, true},
      {"remove at 1", [](IXCollection2 *c) { return c->Remove(Var::I4(1).Get()); }, L";k;", L"3;4.5;", true, true},
      {"remove k", [](IXCollection2 *c) { return c->Remove(Var::Str(L"k").Get()); }, L";", L"3;", false, true},
      {"remove all", [](IXCollection2 *c) { return c->RemoveAll(); }, L"", L"", false, false},
      {"remove all of none", [](IXCollection2 *c) { return c->RemoveAll(); }, L"", L"", false, false},
      {"add after remove all", [](IXCollection2 *c) { return c->Add(Var::I4(5).Get(), Var::Str(L"k").Get()); }, L"k;",
       L"5;", true, false},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.step);
    ASSERT_EQ(S_OK, step.apply(C2()));
    Var keys, items;
    ASSERT_EQ(S_OK, C2()->Keys(&keys));
    ASSERT_EQ(S_OK, C2()->Items(&items));
    EXPECT_EQ(step.keys, ArrayText(keys));
    EXPECT_EQ(step.items, ArrayText(items));
    const struct {
      Var key;
      bool expected;
    } probes[] = {{Var::Str(L"k"), step.hasK}, {Var::NullStr(), step.hasEmpty}, {Var::Str(L"K"), false}};
    for (const auto &probe : probes) {
      VARIANT_BOOL exists = 12345;
      ASSERT_EQ(S_OK, C2()->Exists(probe.key.Get(), &exists));
      EXPECT_EQ(probe.expected ? VARIANT_TRUE : VARIANT_FALSE, exists);
    }
  }
  EXPECT_FALSE(TakeError().posted);
}

// Keys and Items fail whole: a snapshot or a value's copy that cannot be
// made leaves no array (VT_EMPTY) and nothing allocated, and the
// collection as it was. So does a member's Value.
TEST_F(XCollectionTest, KeysAndItemsFailWhole) {
  ClientRecordInfo *info = ClientRecordInfo::Create();
  ClientRecordInfo::Record record{42};
  Var value;
  V_VT(&value) = VT_RECORD;
  V_RECORD(&value) = &record;
  V_RECORDINFO(&value) = info;
  AddOrFail(C(), Var::Str(L"first"), Var::Str(L"k"));
  ASSERT_EQ(S_OK, C()->Add(value.Get(), Var::Missing().Get()));
  V_VT(&value) = VT_EMPTY; // the record was the test's own
  const long records = ClientRecordInfo::LiveRecords();
  for (int member = 0; member < 2; ++member) {
    Var array = Var::I4(1);
    FailingAttempt failing(1);
    EXPECT_EQ(E_OUTOFMEMORY, member == 0 ? C2()->Keys(&array) : C2()->Items(&array));
    EXPECT_EQ(VT_EMPTY, array.Type());
  }
  // A record that cannot be copied: its size cannot be read, or its copy
  // fails once the platform has taken a block and a reference for it.
  ComPtr<IXItem> recordItem = ItemOf(C(), Var::I4(2));
  for (bool sizeFails : {true, false}) {
    info->FailGetSize(sizeFails);
    info->FailRecordCopy(!sizeFails);
    Var items = Var::I4(1);
    EXPECT_TRUE(FAILED(C2()->Items(&items)));
    EXPECT_EQ(VT_EMPTY, items.Type());
    Var read = Var::I4(1);
    EXPECT_TRUE(FAILED(recordItem->get_Value(&read)));
    EXPECT_EQ(VT_EMPTY, read.Type());
  }
  info->FailRecordCopy(false);
  EXPECT_EQ(records, ClientRecordInfo::LiveRecords());
  Var items;
  Var keys;
  ASSERT_EQ(S_OK, C2()->Keys(&keys));
  EXPECT_EQ(L"k;-;", ArrayText(keys));
  ASSERT_EQ(S_OK, C2()->Items(&items));
  EXPECT_EQ(records + 1, ClientRecordInfo::LiveRecords());
  VariantClear(&items.Get());
  EXPECT_EQ(records, ClientRecordInfo::LiveRecords());
  EXPECT_EQ(1u, info->Release()); // the member's reference is left
}

} // namespace
