//===- xcollection_test.cpp - Ordered collection of VARIANT values --------===//

#include "ServerModule.h"
#include "XCollection.h"

#include "support/FailingNew.h"
#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <string>

using namespace ServerTest;

namespace {

class XCollectionTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_collection = NewCollection();
    ClearError();
  }

  IXCollection *C() const { return m_collection.Get(); }

  /// Value of the member at `selector`, read as a 32-bit integer.
  LONG IntAt(const Var &selector) {
    ComPtr<IXItem> item = ItemOf(C(), selector);
    if (!item)
      return -1;
    Var value = ValueOf(item.Get());
    return V_VT(&value) == VT_I4 ? V_I4(&value) : -1;
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

  static void ExpectNoError() { EXPECT_FALSE(TakeError().posted); }

  ComPtr<IXCollection> m_collection;
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
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IXItem));
  ComPtr<IXCollection> back;
  ASSERT_EQ(S_OK, support.As(&back));
  EXPECT_EQ(C(), back.Get());

  void *none = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, C()->QueryInterface(IID_IEnumVARIANT, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(E_POINTER, C()->QueryInterface(IID_IUnknown, nullptr));

  void *object = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, VariantCollection::XCollection::Create(IID_IXItem, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, VariantCollection::XCollection::Create(IID_IUnknown, nullptr));
}

TEST_F(XCollectionTest, AddsInOrderAndFindsByOneBasedPosition) {
  EXPECT_EQ(0, CountOf(C()));
  AddOrFail(C(), Var::I4(1));
  AddOrFail(C(), Var::I4(2));
  EXPECT_EQ(2, CountOf(C()));
  EXPECT_EQ(1, IntAt(Var::I4(1)));
  EXPECT_EQ(2, IntAt(Var::I4(2)));
  EXPECT_EQ(2, IntAt(Var::I2(2))); // a 16-bit position is the same position
  EXPECT_EQ(VT_EMPTY, KeyOf(ItemOf(C(), Var::I4(1)).Get()).Type());
  EXPECT_EQ(VT_EMPTY, KeyOf(ItemOf(C(), Var::I4(2)).Get()).Type());
}

TEST_F(XCollectionTest, ItemHandsOutTheSameMemberWithAReference) {
  AddOrFail(C(), Var::I4(5), Var::Str(L"k"));
  ComPtr<IXItem> byKey = ItemOf(C(), Var::Str(L"k"));
  ComPtr<IXItem> byPosition = ItemOf(C(), Var::I4(1));
  EXPECT_EQ(byKey.Get(), byPosition.Get());
}

TEST_F(XCollectionTest, AddingAnExistingKeyReplacesTheMember) {
  AddOrFail(C(), Var::Str(L"x"), Var::Str(L"k"));
  ComPtr<IXItem> old = ItemOf(C(), Var::Str(L"k"));
  AddOrFail(C(), Var::Str(L"y"), Var::Str(L"k"));
  EXPECT_EQ(1, CountOf(C()));
  EXPECT_EQ(L"y", ValueOf(ItemOf(C(), Var::Str(L"k")).Get()).Text());
  EXPECT_EQ(L"x", ValueOf(old.Get()).Text());
}

TEST_F(XCollectionTest, ReplacingMovesTheKeyToTheEnd) {
  AddOrFail(C(), Var::Str(L"v"), Var::Str(L"a"));
  AddOrFail(C(), Var::Str(L"w"), Var::Str(L"b"));
  AddOrFail(C(), Var::Str(L"z"), Var::Str(L"a"));
  EXPECT_EQ(2, CountOf(C()));
  ComPtr<IXItem> first = ItemOf(C(), Var::I4(1));
  EXPECT_EQ(L"b", KeyOf(first.Get()).Text());
  EXPECT_EQ(L"w", ValueOf(first.Get()).Text());
  EXPECT_EQ(L"a", KeyOf(ItemOf(C(), Var::I4(2)).Get()).Text());
}

TEST_F(XCollectionTest, KeysAreCaseSensitiveExactStrings) {
  AddOrFail(C(), Var::I4(1), Var::Str(L"Key"));
  AddOrFail(C(), Var::I4(2), Var::Str(L"key"));
  AddOrFail(C(), Var::I4(3), Var::Str(L"key "));
  EXPECT_EQ(3, CountOf(C()));
  EXPECT_EQ(1, IntAt(Var::Str(L"Key")));
  EXPECT_EQ(2, IntAt(Var::Str(L"key")));
  EXPECT_EQ(E_INVALIDARG, C()->Remove(Var::Str(L"KEY").Get()));
  // Byte for byte: a string one byte longer is another key.
  AddOrFail(C(), Var::I4(4), Var::Bytes("ab", 2));
  AddOrFail(C(), Var::I4(5), Var::Bytes("ab\0", 3));
  EXPECT_EQ(5, CountOf(C()));
  EXPECT_EQ(4, IntAt(Var::Bytes("ab", 2)));
}

TEST_F(XCollectionTest, EmptyStringIsAKeyAndNullStringIsTheSameKey) {
  AddOrFail(C(), Var::I4(1));
  AddOrFail(C(), Var::I4(2), Var::Str(L""));
  EXPECT_EQ(2, CountOf(C()));
  EXPECT_EQ(2, IntAt(Var::Str(L"")));
  EXPECT_EQ(2, IntAt(Var::NullStr()));
  AddOrFail(C(), Var::I4(3), Var::NullStr());
  EXPECT_EQ(2, CountOf(C()));
  EXPECT_EQ(3, IntAt(Var::Str(L"")));
}

TEST_F(XCollectionTest, OmittedAndMissingKeyAreTheSame) {
  AddOrFail(C(), Var::I4(1), Var::Missing());
  Var otherError;
  V_VT(&otherError) = VT_ERROR;
  V_ERROR(&otherError) = E_FAIL;
  AddOrFail(C(), Var::I4(2), otherError);
  EXPECT_EQ(2, CountOf(C()));
  EXPECT_EQ(VT_EMPTY, KeyOf(ItemOf(C(), Var::I4(2)).Get()).Type());
}

TEST_F(XCollectionTest, AnErrorValueIsStoredAsEmpty) {
  AddOrFail(C(), Var::Missing(), Var::Str(L"k"));
  EXPECT_EQ(1, CountOf(C()));
  EXPECT_EQ(VT_EMPTY, ValueOf(ItemOf(C(), Var::Str(L"k")).Get()).Type());
}

TEST_F(XCollectionTest, ItemPutAddsWithTheArgumentsSwapped) {
  ASSERT_EQ(S_OK, C()->put_Item(Var::Str(L"k").Get(), Var::I4(9).Get()));
  ASSERT_EQ(S_OK, C()->put_Item(Var::Str(L"j").Get(), Var::I4(8).Get()));
  ASSERT_EQ(S_OK, C()->put_Item(Var::Str(L"k").Get(), Var::I4(7).Get()));
  EXPECT_EQ(2, CountOf(C()));
  EXPECT_EQ(7, IntAt(Var::Str(L"k")));
  EXPECT_EQ(7, IntAt(Var::I4(2)));
}

TEST_F(XCollectionTest, RemovesByKeyAndByPosition) {
  for (LONG i = 1; i <= 4; ++i)
    AddOrFail(C(), Var::I4(i), Var::Str(std::to_wstring(i).c_str()));
  ASSERT_EQ(S_OK, C()->Remove(Var::Str(L"2").Get()));
  ASSERT_EQ(S_OK, C()->Remove(Var::I2(3).Get()));
  EXPECT_EQ(2, CountOf(C()));
  EXPECT_EQ(1, IntAt(Var::I4(1)));
  EXPECT_EQ(3, IntAt(Var::I4(2)));
  EXPECT_EQ(nullptr, ItemOf(C(), Var::Str(L"4")).Get());
  // A removed key can be added again, at the end.
  AddOrFail(C(), Var::I4(20), Var::Str(L"2"));
  EXPECT_EQ(20, IntAt(Var::I4(3)));
}

TEST_F(XCollectionTest, ReportsEveryFailureOfTheTable) {
  AddOrFail(C(), Var::I4(1), Var::Str(L"one"));
  ClearError();
  IXItem *untouched = reinterpret_cast<IXItem *>(0x1234);

  // Null out-pointers.
  EXPECT_EQ(E_POINTER, C()->get_Item(Var::I4(1).Get(), nullptr));
  EXPECT_EQ(E_POINTER, C()->get_Count(nullptr));
  ExpectNoError();

  // Unknown keys: E_INVALIDARG and no error object.
  EXPECT_EQ(E_INVALIDARG, C()->get_Item(Var::Str(L"two").Get(), &untouched));
  EXPECT_EQ(E_INVALIDARG, C()->Remove(Var::Str(L"two").Get()));
  ExpectNoError();

  // Positions out of range.
  for (LONG position : {0L, 2L, -1L, 0x7FFFFFFFL}) {
    ExpectReported(C()->get_Item(Var::I4(position).Get(), &untouched), L"Subscript out of range");
    ExpectReported(C()->Remove(Var::I4(position).Get()), L"Subscript out of range");
  }
  ExpectReported(C()->get_Item(Var::I2(-32768).Get(), &untouched), L"Subscript out of range");

  // Keys of Add (and of Item put) that are neither strings nor missing.
  ExpectReported(C()->Add(Var::I4(2).Get(), Var::I4(5).Get()), L"Type mismatch");
  ExpectReported(C()->put_Item(Var::I4(5).Get(), Var::I4(2).Get()), L"Type mismatch");
  ExpectReported(C()->Add(Var::I4(2).Get(), Var::Empty().Get()), L"Type mismatch");

  EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), untouched);
  EXPECT_EQ(1, CountOf(C()));
  EXPECT_EQ(1, IntAt(Var::Str(L"one")));
}

TEST_F(XCollectionTest, EmptyCollectionHasNoPositionOne) {
  IXItem *untouched = nullptr;
  ExpectReported(C()->get_Item(Var::I4(1).Get(), &untouched), L"Subscript out of range");
  ExpectReported(C()->Remove(Var::I2(1).Get()), L"Subscript out of range");
  EXPECT_EQ(nullptr, untouched);
}

// Selectors that are neither strings nor 16/32-bit integers are refused
// with "Type mismatch" instead of being ignored.
TEST_F(XCollectionTest, OtherSelectorTypesAreATypeMismatch) {
  AddOrFail(C(), Var::I4(1), Var::Str(L"1"));
  IXItem *untouched = reinterpret_cast<IXItem *>(0x1234);
  Var unsignedByte;
  V_VT(&unsignedByte) = VT_UI1;
  V_UI1(&unsignedByte) = 1;
  for (const Var &selector : {Var::R8(1.0), Var::Empty(), Var::Missing(), unsignedByte}) {
    ExpectReported(C()->get_Item(selector.Get(), &untouched), L"Type mismatch");
    ExpectReported(C()->Remove(selector.Get()), L"Type mismatch");
  }
  EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), untouched);
  EXPECT_EQ(1, CountOf(C()));
}

// Script clients pass variables by reference: VT_BYREF | VT_VARIANT
// pointing at the script's own VARIANT.
TEST_F(XCollectionTest, ArgumentsByReferenceAreReadThroughTheReference) {
  Var value = Var::Str(L"stored");
  Var key = Var::Str(L"k");
  ASSERT_EQ(S_OK, C()->Add(Var::RefTo(&value).Get(), Var::RefTo(&key).Get()));

  // The member holds the value itself, not a pointer to the variable.
  VariantClear(&value.Get());
  V_VT(&value) = VT_I4;
  V_I4(&value) = 99;
  Var position = Var::I2(1);
  Var stored = ValueOf(ItemOf(C(), Var::RefTo(&position)).Get());
  EXPECT_EQ(VT_BSTR, stored.Type());
  EXPECT_EQ(L"stored", stored.Text());
  EXPECT_EQ(L"k", KeyOf(ItemOf(C(), Var::RefTo(&key)).Get()).Text());

  // Item put and Remove read through references too.
  Var otherKey = Var::Str(L"j");
  Var bigPosition = Var::I4(2);
  ASSERT_EQ(S_OK, C()->put_Item(Var::RefTo(&otherKey).Get(), Var::RefTo(&value).Get()));
  EXPECT_EQ(99, IntAt(Var::RefTo(&bigPosition)));
  ASSERT_EQ(S_OK, C()->Remove(Var::RefTo(&key).Get()));
  ASSERT_EQ(S_OK, C()->Remove(Var::RefTo(&position).Get()));
  EXPECT_EQ(0, CountOf(C()));

  // A variable holding a number is a position, not a key, and an omitted
  // value passed through a variable is still omitted.
  Var number = Var::I4(3);
  ExpectReported(C()->Add(Var::I4(1).Get(), Var::RefTo(&number).Get()), L"Type mismatch");
  Var missing = Var::Missing();
  ASSERT_EQ(S_OK, C()->Add(Var::RefTo(&missing).Get(), Var::RefTo(&missing).Get()));
  EXPECT_EQ(VT_EMPTY, ValueOf(ItemOf(C(), Var::I4(1)).Get()).Type());
  EXPECT_EQ(VT_EMPTY, KeyOf(ItemOf(C(), Var::I4(1)).Get()).Type());
}

TEST_F(XCollectionTest, TypedReferencesAreReadToo) {
  BSTR text = SysAllocString(L"k");
  LONG number = 1;
  Var keyRef;
  V_VT(&keyRef) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&keyRef) = &text;
  Var numberRef;
  V_VT(&numberRef) = VT_BYREF | VT_I4;
  V_I4REF(&numberRef) = &number;
  ASSERT_EQ(S_OK, C()->Add(numberRef.Get(), keyRef.Get()));
  number = 5;
  EXPECT_EQ(1, IntAt(Var::Str(L"k")));
  number = 1;
  EXPECT_EQ(1, IntAt(numberRef)); // a position through a typed reference
  SysFreeString(text);
}

// Arguments the platform cannot copy fail with the copy's status; nothing
// changes and nothing is left behind.
TEST_F(XCollectionTest, UncopyableArgumentsFailWithTheCopyStatus) {
  AddOrFail(C(), Var::I4(1), Var::Str(L"k"));
  const LONG locks = VariantCollection::Module().ModuleLockCount();
  char narrow[] = "k";
  VARIANT lpstr;
  V_VT(&lpstr) = VT_LPSTR;
  V_BYREF(&lpstr) = narrow;
  VARIANT lpwstr;
  V_VT(&lpwstr) = VT_LPWSTR;
  V_BYREF(&lpwstr) = const_cast<wchar_t *>(L"k");
  IXItem *untouched = reinterpret_cast<IXItem *>(0x1234);
  for (const VARIANT &bad : {lpstr, lpwstr}) {
    EXPECT_EQ(DISP_E_BADVARTYPE, C()->Add(Var::I4(2).Get(), bad));
    EXPECT_EQ(DISP_E_BADVARTYPE, C()->Add(bad, Var::Str(L"j").Get()));
    EXPECT_EQ(DISP_E_BADVARTYPE, C()->get_Item(bad, &untouched));
    EXPECT_EQ(DISP_E_BADVARTYPE, C()->Remove(bad));
  }
  // A reference to a reference is malformed.
  Var inner = Var::I4(1);
  Var middle = Var::RefTo(&inner);
  Var outer = Var::RefTo(&middle);
  EXPECT_EQ(E_INVALIDARG, C()->get_Item(outer.Get(), &untouched));
  EXPECT_EQ(E_INVALIDARG, C()->Add(outer.Get(), Var::Missing().Get()));

  EXPECT_EQ(reinterpret_cast<IXItem *>(0x1234), untouched);
  EXPECT_EQ(1, CountOf(C()));
  EXPECT_EQ(locks, VariantCollection::Module().ModuleLockCount());
}

TEST_F(XCollectionTest, SnapshotHoldsTheMembersInOrderWithReferences) {
  AddOrFail(C(), Var::I4(1), Var::Str(L"a"));
  AddOrFail(C(), Var::I4(2));
  AddOrFail(C(), Var::I4(3), Var::Str(L"a"));
  auto *collection = static_cast<VariantCollection::XCollection *>(C());
  std::vector<VariantCollection::XItem *> items{nullptr};
  ASSERT_EQ(S_OK, collection->SnapshotItems(items));
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(2, V_I4(&items[0]->Value()));
  EXPECT_EQ(3, V_I4(&items[1]->Value()));
  m_collection.Reset();
  // The snapshot's references keep the members after the collection dies.
  EXPECT_EQ(2, VariantCollection::Module().ModuleLockCount());
  for (VariantCollection::XItem *item : items)
    item->Release();
  EXPECT_EQ(0, VariantCollection::Module().ModuleLockCount());
}

/// A client object that, when its last reference goes, uses the collection
/// that held it.
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
      countSeen = CountOf(m_collection);
      addStatus = m_collection->Add(Var::I4(7).Get(), Var::Str(L"added").Get());
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
TEST_F(XCollectionTest, ReleasingAValueMayReenterTheCollection) {
  for (bool byPosition : {false, true}) {
    Var value;
    V_VT(&value) = VT_UNKNOWN;
    V_UNKNOWN(&value) = new ReentrantValue(C());
    AddOrFail(C(), Var::I4(1), Var::Str(L"x"));
    AddOrFail(C(), value, Var::Str(L"r"));
    VariantClear(&value.Get());
    ReentrantValue::countSeen = -1;
    ASSERT_EQ(S_OK, C()->Remove(byPosition ? Var::I4(2).Get() : Var::Str(L"r").Get()));
    EXPECT_EQ(1, ReentrantValue::countSeen);
    EXPECT_EQ(S_OK, ReentrantValue::addStatus);
    EXPECT_EQ(2, CountOf(C()));
    EXPECT_EQ(7, IntAt(Var::Str(L"added")));
    ASSERT_EQ(S_OK, C()->Remove(Var::Str(L"added").Get()));
    ASSERT_EQ(S_OK, C()->Remove(Var::Str(L"x").Get()));
  }
  // Replacing by key releases the old member the same way.
  Var value;
  V_VT(&value) = VT_UNKNOWN;
  V_UNKNOWN(&value) = new ReentrantValue(C());
  AddOrFail(C(), value, Var::Str(L"r"));
  VariantClear(&value.Get());
  AddOrFail(C(), Var::I4(2), Var::Str(L"r"));
  EXPECT_EQ(1, ReentrantValue::countSeen);
  EXPECT_EQ(2, CountOf(C()));
}

/// The members' values and keys, in order, as text.
std::wstring Contents(IXCollection *collection) {
  std::wstring text;
  for (LONG p = 1; p <= CountOf(collection); ++p) {
    ComPtr<IXItem> item = ItemOf(collection, Var::I4(p));
    Var value = ValueOf(item.Get());
    text += std::to_wstring(V_I4(&value)) + L"=" + KeyOf(item.Get()).Text() + L";";
  }
  return text;
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
          ServerTest::FailingNew failing(nth);
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
    ServerTest::FailingNew failing(1);
    ASSERT_EQ(S_OK, C()->Remove(Var::Str(std::to_wstring(i).c_str()).Get()));
  }
  EXPECT_EQ(4, CountOf(C()));
  EXPECT_EQ(L"60=60;61=61;62=62;63=63;", Contents(C()));
  for (LONG i = 60; i < 63; ++i)
    ASSERT_EQ(S_OK, C()->Remove(Var::I4(1).Get()));
  EXPECT_EQ(L"63=63;", Contents(C()));
}

TEST_F(XCollectionTest, SnapshotRunningOutOfMemoryHoldsNothing) {
  AddOrFail(C(), Var::I4(1));
  auto *collection = static_cast<VariantCollection::XCollection *>(C());
  std::vector<VariantCollection::XItem *> items;
  const LONG locks = VariantCollection::Module().ModuleLockCount();
  {
    ServerTest::FailingNew failing(1);
    EXPECT_EQ(E_OUTOFMEMORY, collection->SnapshotItems(items));
  }
  EXPECT_TRUE(items.empty());
  EXPECT_EQ(locks, VariantCollection::Module().ModuleLockCount());
}

// Keyed and positional operations are indexed: a quadratic implementation
// would not finish this in any reasonable time.
TEST_F(XCollectionTest, LargeKeyedCollectionStaysUsable) {
  const LONG n = 200000;
  for (LONG i = 0; i < n; ++i)
    ASSERT_EQ(S_OK, C()->Add(Var::I4(i).Get(), Var::Str(std::to_wstring(i).c_str()).Get()));
  EXPECT_EQ(n, CountOf(C()));
  for (LONG i = 0; i < n; i += 997)
    ASSERT_EQ(i, IntAt(Var::Str(std::to_wstring(i).c_str())));
  for (LONG p = 1; p <= n; p += 1009)
    ASSERT_EQ(p - 1, IntAt(Var::I4(p)));
  // Remove every other member by key, then the first half by position.
  for (LONG i = 0; i < n; i += 2)
    ASSERT_EQ(S_OK, C()->Remove(Var::Str(std::to_wstring(i).c_str()).Get()));
  EXPECT_EQ(n / 2, CountOf(C()));
  EXPECT_EQ(1, IntAt(Var::I4(1)));
  EXPECT_EQ(n - 1, IntAt(Var::I4(n / 2)));
  for (LONG i = 0; i < n / 4; ++i)
    ASSERT_EQ(S_OK, C()->Remove(Var::I4(1).Get()));
  EXPECT_EQ(n / 4, CountOf(C()));
  EXPECT_EQ(n / 2 + 1, IntAt(Var::I4(1)));
  // Replacing by key moves members to the end.
  for (LONG i = n / 2 + 1; i < n / 2 + 1001; i += 2)
    ASSERT_EQ(S_OK, C()->Add(Var::I4(-i).Get(), Var::Str(std::to_wstring(i).c_str()).Get()));
  EXPECT_EQ(n / 4, CountOf(C()));
  EXPECT_EQ(-(n / 2 + 1), IntAt(Var::I4(n / 4 - 499)));
}

} // namespace
