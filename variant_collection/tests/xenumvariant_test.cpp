//===- xenumvariant_test.cpp - Enumerator over a collection's values ------===//

#include "ServerModule.h"

#include "support/FailingNew.h"
#include "support/ServerTest.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace ServerTest;
using VariantCollection::Module;

namespace {

/// What one Next call gave back.
struct Batch {
  HRESULT status = E_UNEXPECTED;
  ULONG fetched = 12345;
  std::vector<std::wstring> values; // one per requested element, "" for VT_EMPTY
};

class XEnumVARIANTTest : public ::testing::Test {
protected:
  void SetUp() override { m_collection = NewCollection(); }

  IXCollection *C() const { return m_collection.Get(); }

  /// Adds the strings `values` without keys.
  void AddAll(std::initializer_list<const wchar_t *> values) {
    for (const wchar_t *value : values)
      AddOrFail(C(), Var::Str(value));
  }

  static ComPtr<IEnumVARIANT> EnumOf(IXCollection *collection) {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, collection->get__NewEnum(&unknown));
    ComPtr<IEnumVARIANT> enumerator;
    if (unknown) {
      EXPECT_EQ(S_OK, unknown.As(&enumerator));
    }
    return enumerator;
  }

  /// Next(celt) over an array of `celt` elements, each read as text.
  static Batch Next(IEnumVARIANT *enumerator, ULONG celt) {
    Batch batch;
    std::vector<VARIANT> values(celt);
    batch.status = enumerator->Next(celt, values.data(), &batch.fetched);
    for (VARIANT &value : values) {
      batch.values.push_back(V_VT(&value) == VT_BSTR ? V_BSTR(&value) : L"");
      EXPECT_TRUE(V_VT(&value) == VT_BSTR || V_VT(&value) == VT_EMPTY) << V_VT(&value);
      VariantClear(&value);
    }
    return batch;
  }

  /// Every value left, one Next(1) at a time, joined by spaces.
  static std::wstring Rest(IEnumVARIANT *enumerator) {
    std::wstring text;
    for (;;) {
      Batch batch = Next(enumerator, 1);
      if (batch.status != S_OK)
        return text;
      text += (text.empty() ? L"" : L" ") + batch.values[0];
    }
  }

  ComPtr<IXCollection> m_collection;
};

TEST_F(XEnumVARIANTTest, NewEnumLeavesTheCallerTheOnlyReference) {
  AddAll({L"a"});
  const LONG locks = Module().ModuleLockCount();
  IUnknown *unknown = nullptr;
  ASSERT_EQ(S_OK, C()->get__NewEnum(&unknown));
  ASSERT_NE(nullptr, unknown);
  EXPECT_EQ(locks + 1, Module().ModuleLockCount());
  EXPECT_EQ(2u, unknown->AddRef());
  EXPECT_EQ(1u, unknown->Release());

  IEnumVARIANT *enumerator = nullptr;
  ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void **>(&enumerator)));
  EXPECT_EQ(static_cast<void *>(unknown), static_cast<void *>(enumerator));
  enumerator->Release();
  void *other = reinterpret_cast<void *>(1);
  EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_IDispatch, &other));
  EXPECT_EQ(nullptr, other);
  EXPECT_EQ(E_POINTER, unknown->QueryInterface(IID_IUnknown, nullptr));

  EXPECT_EQ(0u, unknown->Release());
  EXPECT_EQ(locks, Module().ModuleLockCount());
  EXPECT_EQ(E_POINTER, C()->get__NewEnum(nullptr));
}

TEST_F(XEnumVARIANTTest, NextOnAnEmptyCollectionYieldsNothing) {
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  Batch batch = Next(enumerator.Get(), 1);
  EXPECT_EQ(S_FALSE, batch.status);
  EXPECT_EQ(0u, batch.fetched);
  EXPECT_EQ(L"", batch.values[0]);
}

TEST_F(XEnumVARIANTTest, NextYieldsInBatchesAndSaysWhenItRanShort) {
  AddAll({L"1", L"2", L"3"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  Batch first = Next(enumerator.Get(), 2);
  EXPECT_EQ(S_OK, first.status);
  EXPECT_EQ(2u, first.fetched);
  EXPECT_EQ((std::vector<std::wstring>{L"1", L"2"}), first.values);

  Batch second = Next(enumerator.Get(), 2);
  EXPECT_EQ(S_FALSE, second.status);
  EXPECT_EQ(1u, second.fetched);
  EXPECT_EQ((std::vector<std::wstring>{L"3", L""}), second.values);

  Batch third = Next(enumerator.Get(), 1);
  EXPECT_EQ(S_FALSE, third.status);
  EXPECT_EQ(0u, third.fetched);

  EXPECT_EQ(S_OK, enumerator->Next(0, nullptr, nullptr));
  EXPECT_EQ(E_POINTER, enumerator->Next(1, nullptr, nullptr));
}

// VBScript's For Each asks for one value at a time without a count.
TEST_F(XEnumVARIANTTest, NextWorksWithoutAFetchedCount) {
  AddAll({L"only"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  Var value;
  EXPECT_EQ(S_OK, enumerator->Next(1, &value, nullptr));
  EXPECT_EQ(L"only", value.Text());
  Var none;
  EXPECT_EQ(S_FALSE, enumerator->Next(1, &none, nullptr));
  EXPECT_EQ(VT_EMPTY, none.Type());
}

TEST_F(XEnumVARIANTTest, SkipStopsAtTheEnd) {
  AddAll({L"1", L"2", L"3"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  EXPECT_EQ(S_OK, enumerator->Skip(2));
  Batch batch = Next(enumerator.Get(), 5);
  EXPECT_EQ(S_FALSE, batch.status);
  EXPECT_EQ(1u, batch.fetched);
  EXPECT_EQ(L"3", batch.values[0]);

  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ(S_FALSE, enumerator->Skip(10));
  EXPECT_EQ(L"", Rest(enumerator.Get()));
  EXPECT_EQ(S_OK, enumerator->Skip(0));

  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ(S_OK, enumerator->Skip(3)); // exactly to the end
  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ(S_OK, enumerator->Skip(1));
  EXPECT_EQ(S_FALSE, enumerator->Skip(ULONG_MAX)); // no wrap-around
  EXPECT_EQ(L"", Rest(enumerator.Get()));
}

TEST_F(XEnumVARIANTTest, ResetStartsAgainFromTheFirstValue) {
  AddAll({L"1", L"2"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  EXPECT_EQ(L"1 2", Rest(enumerator.Get()));
  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ(L"1 2", Rest(enumerator.Get()));
}

TEST_F(XEnumVARIANTTest, CloneCopiesThePositionAndMovesOnItsOwn) {
  AddAll({L"1", L"2", L"3"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  Next(enumerator.Get(), 1);
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(S_OK, enumerator->Clone(&clone));
  ASSERT_NE(enumerator.Get(), clone.Get());
  EXPECT_EQ(S_OK, enumerator->Skip(2));
  EXPECT_EQ(L"2 3", Rest(clone.Get()));
  EXPECT_EQ(S_OK, clone->Reset());
  EXPECT_EQ(L"1 2 3", Rest(clone.Get()));
  EXPECT_EQ(L"", Rest(enumerator.Get()));
  EXPECT_EQ(E_POINTER, enumerator->Clone(nullptr));

  // The clone holds its own references: it outlives the enumerator it was
  // made from.
  enumerator.Reset();
  EXPECT_EQ(S_OK, clone->Reset());
  EXPECT_EQ(L"1 2 3", Rest(clone.Get()));
}

TEST_F(XEnumVARIANTTest, WalksTheMembersTheCollectionHadWhenItWasMade) {
  AddOrFail(C(), Var::Str(L"keyed"), Var::Str(L"k"));
  AddAll({L"plain"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  AddAll({L"late"});
  EXPECT_EQ(S_OK, C()->Remove(Var::Str(L"k").Get()));
  AddOrFail(C(), Var::Str(L"replaced"), Var::Str(L"k"));
  // Values only, never keys; removed members still come; added ones don't.
  EXPECT_EQ(L"keyed plain", Rest(enumerator.Get()));
  EXPECT_EQ(L"plain late replaced", Rest(EnumOf(C()).Get()));
}

TEST_F(XEnumVARIANTTest, OutlivesItsCollectionAndItsMembers) {
  AddAll({L"first", L"second"});
  AddOrFail(C(), Var::Str(L"third"), Var::Str(L"k"));
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  m_collection.Reset();
  // The enumerator and the three members it keeps.
  EXPECT_EQ(4, Module().ModuleLockCount());
  EXPECT_EQ(L"first second third", Rest(enumerator.Get()));
  enumerator.Reset();
  EXPECT_EQ(0, Module().ModuleLockCount());
}

TEST_F(XEnumVARIANTTest, NextTakesNoReferenceOnTheMembers) {
  AddAll({L"1", L"2"});
  ComPtr<IXItem> item = ItemOf(C(), Var::I4(1));
  const ULONG before = item->AddRef() - 1;
  item->Release();
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  EXPECT_EQ(L"1 2", Rest(enumerator.Get()));
  EXPECT_EQ(S_OK, enumerator->Reset());
  EXPECT_EQ(L"1 2", Rest(enumerator.Get()));
  enumerator.Reset();
  EXPECT_EQ(before, item->AddRef() - 1);
  item->Release();
  item.Reset();
  m_collection.Reset();
  EXPECT_EQ(0, Module().ModuleLockCount());
}

TEST_F(XEnumVARIANTTest, FailsCleanlyWhenMemoryRunsOut) {
  AddAll({L"1", L"2"});
  const LONG locks = Module().ModuleLockCount();
  for (long nth : {1L, 2L}) {
    IUnknown *unknown = reinterpret_cast<IUnknown *>(1);
    FailingNew failing(nth); // 1: the enumerator, 2: its snapshot
    const HRESULT status = C()->get__NewEnum(&unknown);
    ASSERT_TRUE(failing.Failed());
    EXPECT_EQ(nth == 1 ? E_OUTOFMEMORY : E_NOINTERFACE, status);
    EXPECT_EQ(nullptr, unknown);
    EXPECT_EQ(locks, Module().ModuleLockCount());
  }

  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  for (long nth : {1L, 2L}) {
    IEnumVARIANT *clone = reinterpret_cast<IEnumVARIANT *>(1);
    FailingNew failing(nth); // 1: the clone, 2: its snapshot
    const HRESULT status = enumerator->Clone(&clone);
    ASSERT_TRUE(failing.Failed());
    EXPECT_EQ(nth == 1 ? E_OUTOFMEMORY : E_NOINTERFACE, status);
    EXPECT_EQ(reinterpret_cast<IEnumVARIANT *>(1), clone);
    EXPECT_EQ(locks + 1, Module().ModuleLockCount());
  }
  EXPECT_EQ(L"1 2", Rest(enumerator.Get()));
}

/// A record type of a client, one LONG wide, whose size can be made
/// unavailable: the platform then cannot copy a record of it.
class ClientRecord final : public IRecordInfo {
public:
  bool broken = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IRecordInfo)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_references; }

  HRESULT STDMETHODCALLTYPE RecordInit(PVOID record) override {
    *static_cast<LONG *>(record) = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RecordClear(PVOID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RecordCopy(PVOID from, PVOID to) override {
    *static_cast<LONG *>(to) = *static_cast<LONG *>(from);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetGuid(GUID *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetName(BSTR *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSize(ULONG *size) override {
    if (broken)
      return E_OUTOFMEMORY;
    *size = sizeof(LONG);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetField(PVOID, LPCOLESTR, VARIANT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFieldNoCopy(PVOID, LPCOLESTR, VARIANT *, PVOID *) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutField(ULONG, PVOID, LPCOLESTR, VARIANT *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG, PVOID, LPCOLESTR, VARIANT *) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG *, BSTR *) override { return E_NOTIMPL; }
  WINBOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo *other) override { return other == this; }
  PVOID STDMETHODCALLTYPE RecordCreate() override { return nullptr; }
  HRESULT STDMETHODCALLTYPE RecordCreateCopy(PVOID, PVOID *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RecordDestroy(PVOID) override { return E_NOTIMPL; }

  ULONG References() const { return m_references; }

private:
  ULONG m_references = 1;
};

TEST_F(XEnumVARIANTTest, NextReturnsTheStatusOfAValueThatCannotBeCopied) {
  ClientRecord type;
  LONG data = 42;
  VARIANT record; // the caller's own, never cleared
  V_VT(&record) = VT_RECORD;
  V_RECORDINFO(&record) = &type;
  V_RECORD(&record) = &data;
  AddAll({L"before"});
  EXPECT_EQ(S_OK, C()->Add(record, Var::Missing().Get()));
  AddAll({L"after"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());

  type.broken = true;
  VARIANT values[3];
  ULONG fetched = 99;
  EXPECT_EQ(E_OUTOFMEMORY, enumerator->Next(3, values, &fetched));
  EXPECT_EQ(0u, fetched);
  // What the failed call copied is given back again.
  for (VARIANT &value : values)
    EXPECT_EQ(VT_EMPTY, V_VT(&value));

  // Nothing moved: the same values come once the record can be copied.
  type.broken = false;
  EXPECT_EQ(S_OK, enumerator->Next(3, values, &fetched));
  EXPECT_EQ(3u, fetched);
  EXPECT_STREQ(L"before", V_BSTR(&values[0]));
  ASSERT_EQ(VT_RECORD, V_VT(&values[1]));
  EXPECT_EQ(42, *static_cast<LONG *>(V_RECORD(&values[1])));
  EXPECT_STREQ(L"after", V_BSTR(&values[2]));
  for (VARIANT &value : values)
    VariantClear(&value);
  enumerator.Reset();
  m_collection.Reset();
  EXPECT_EQ(1u, type.References());
}

} // namespace
