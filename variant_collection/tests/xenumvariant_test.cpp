//===- xenumvariant_test.cpp - Enumerator over a collection's values ------===//

#include "ServerModule.h"

#include "support/ClientObjects.h"
#include "support/ServerTest.h"

#include <CollectionTesting/FailingNew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

using namespace ServerTest;
using CollectionTest::FailingNew::FailingAttempt;
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

  EXPECT_EQ(0u, unknown->Release());
  EXPECT_EQ(locks, Module().ModuleLockCount());
}

// One enumerator over "1 2 3", moved step by step: Next answers S_FALSE
// whenever it yields fewer than asked for, Skip whenever it reaches the end
// before skipping as many (never wrapping around), Reset starts again.
// (Long random walks, with clones, are checked against a model in
// stress_test.cpp.)
TEST_F(XEnumVARIANTTest, NextSkipAndResetAnswerTheirStatus) {
  ComPtr<IEnumVARIANT> empty = EnumOf(C());
  Batch none = Next(empty.Get(), 1);
  EXPECT_EQ(S_FALSE, none.status);
  EXPECT_EQ(0u, none.fetched);

  AddAll({L"1", L"2", L"3"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  enum Op { NextOp, SkipOp, ResetOp };
  const struct {
    Op op;
    ULONG count;
    HRESULT status;
    std::vector<std::wstring> values; // what Next yields, "" where nothing
  } steps[] = {
      {NextOp, 2, S_OK, {L"1", L"2"}},
      {NextOp, 2, S_FALSE, {L"3", L""}},
      {NextOp, 1, S_FALSE, {L""}},
      {SkipOp, 0, S_OK, {}},
      {ResetOp, 0, S_OK, {}},
      {SkipOp, 3, S_OK, {}}, // exactly to the end
      {NextOp, 1, S_FALSE, {L""}},
      {ResetOp, 0, S_OK, {}},
      {SkipOp, 1, S_OK, {}},
      {SkipOp, ULONG_MAX, S_FALSE, {}},
      {NextOp, 1, S_FALSE, {L""}},
      {ResetOp, 0, S_OK, {}},
      {NextOp, 3, S_OK, {L"1", L"2", L"3"}},
  };
  int number = 0;
  for (const auto &step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << ++number);
    if (step.op == NextOp) {
      Batch batch = Next(enumerator.Get(), step.count);
      EXPECT_EQ(step.status, batch.status);
      EXPECT_EQ(step.values, batch.values);
      EXPECT_EQ(
          std::count_if(step.values.begin(), step.values.end(), [](const std::wstring &v) { return !v.empty(); }),
          static_cast<long>(batch.fetched));
    } else {
      EXPECT_EQ(step.status, step.op == SkipOp ? enumerator->Skip(step.count) : enumerator->Reset());
    }
  }
  // VBScript's For Each asks for one value at a time without a count.
  EXPECT_EQ(S_OK, enumerator->Reset());
  Var value;
  EXPECT_EQ(S_OK, enumerator->Next(1, &value, nullptr));
  EXPECT_EQ(L"1", value.Text());
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
    FailingAttempt failing(nth); // 1: the enumerator, 2: its snapshot
    const HRESULT status = C()->get__NewEnum(&unknown);
    ASSERT_TRUE(failing.Failed());
    EXPECT_EQ(nth == 1 ? E_OUTOFMEMORY : E_NOINTERFACE, status);
    EXPECT_EQ(nullptr, unknown);
    EXPECT_EQ(locks, Module().ModuleLockCount());
  }

  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());
  for (long nth : {1L, 2L}) {
    IEnumVARIANT *clone = reinterpret_cast<IEnumVARIANT *>(1);
    FailingAttempt failing(nth); // 1: the clone, 2: its snapshot
    const HRESULT status = enumerator->Clone(&clone);
    ASSERT_TRUE(failing.Failed());
    EXPECT_EQ(nth == 1 ? E_OUTOFMEMORY : E_NOINTERFACE, status);
    EXPECT_EQ(reinterpret_cast<IEnumVARIANT *>(1), clone);
    EXPECT_EQ(locks + 1, Module().ModuleLockCount());
  }
  EXPECT_EQ(L"1 2", Rest(enumerator.Get()));
}

TEST_F(XEnumVARIANTTest, NextReturnsTheStatusOfAValueThatCannotBeCopied) {
  const long recordsBefore = ClientRecordInfo::LiveRecords();
  ClientRecordInfo *type = ClientRecordInfo::Create();
  ClientRecordInfo::Record data{42};
  VARIANT record; // the caller's own, never cleared
  V_VT(&record) = VT_RECORD;
  V_RECORDINFO(&record) = type;
  V_RECORD(&record) = &data;
  AddAll({L"before"});
  EXPECT_EQ(S_OK, C()->Add(record, Var::Missing().Get()));
  AddAll({L"after"});
  ComPtr<IEnumVARIANT> enumerator = EnumOf(C());

  // The record's size cannot be read, or its copy fails once the platform
  // has taken a block and a reference for it.
  VARIANT values[3];
  ULONG fetched = 99;
  for (bool sizeFails : {true, false}) {
    type->FailGetSize(sizeFails);
    type->FailRecordCopy(!sizeFails);
    EXPECT_EQ(E_OUTOFMEMORY, enumerator->Next(3, values, &fetched));
    EXPECT_EQ(0u, fetched);
    // What the failed call copied is given back again.
    for (VARIANT &value : values)
      EXPECT_EQ(VT_EMPTY, V_VT(&value));
  }

  // Nothing moved: the same values come once the record can be copied.
  type->FailRecordCopy(false);
  EXPECT_EQ(S_OK, enumerator->Next(3, values, &fetched));
  EXPECT_EQ(3u, fetched);
  EXPECT_STREQ(L"before", V_BSTR(&values[0]));
  ASSERT_EQ(VT_RECORD, V_VT(&values[1]));
  EXPECT_EQ(42, static_cast<ClientRecordInfo::Record *>(V_RECORD(&values[1]))->number);
  EXPECT_STREQ(L"after", V_BSTR(&values[2]));
  for (VARIANT &value : values)
    VariantClear(&value);
  enumerator.Reset();
  m_collection.Reset();
  EXPECT_EQ(0u, type->Release()); // the collection gave its references back
  EXPECT_EQ(recordsBefore, ClientRecordInfo::LiveRecords());
}

} // namespace
