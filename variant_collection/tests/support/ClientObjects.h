//===- ClientObjects.h - Objects a client hands to the server ---*- C++ -*-===//
//
// Test support: the objects that clients put into VARIANTs (an automation
// object, a record with its record information), counting how many of them
// live, so that a test can see that the server gives back every reference
// and every record copy it took.
//
//===----------------------------------------------------------------------===//
#ifndef VARIANT_COLLECTION_TESTS_SUPPORT_CLIENTOBJECTS_H
#define VARIANT_COLLECTION_TESTS_SUPPORT_CLIENTOBJECTS_H

#include "ComObject.h"

#include <oaidl.h>

namespace ServerTest {

/// The reference count of a client's object: not atomic, and no module
/// lock (the object is the client's, not the server's).
class ClientCount {
public:
  ULONG Increment() noexcept { return ++m_count; }
  ULONG Decrement() noexcept { return --m_count; }

private:
  ULONG m_count = 0;
};

/// A client's automation object, as a script passes one: IDispatch (whose
/// own members answer E_NOTIMPL) and IUnknown, told apart by a number. Not
/// thread-safe.
class ClientObject final : public VariantCollection::ComObject<ClientObject, ClientCount, IDispatch> {
public:
  /// A new object carrying `id`, with one reference for the caller.
  static ClientObject *Create(long id);
  /// The number of objects alive now.
  static long Live() noexcept;

  long Id() const noexcept { return m_id; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override;

private:
  friend ComObject;
  static const VariantCollection::InterfaceEntry<ClientObject> kInterfaces[];

  explicit ClientObject(long id) noexcept;
  ~ClientObject();

  long m_id;
};

/// The record information of a client's record type: one 32-bit number
/// (`Record`). Counts the records that the platform initialises or copies
/// through it and clears again, and its own references. Not thread-safe.
class ClientRecordInfo final : public VariantCollection::ComObject<ClientRecordInfo, ClientCount, IRecordInfo> {
public:
  struct Record {
    LONG number;
  };

  /// A new record information with one reference for the caller.
  static ClientRecordInfo *Create();
  /// The number of record informations alive now.
  static long Live() noexcept;
  /// Records initialised or copied through any record information
  /// (RecordInit, RecordCopy) and not cleared (RecordClear) yet.
  static long LiveRecords() noexcept;

  /// While `fail` holds, GetSize answers E_OUTOFMEMORY: the platform can
  /// then neither copy nor create a record of this type.
  void FailGetSize(bool fail) noexcept { m_sizeFails = fail; }
  /// While `fail` holds, RecordCopy answers E_OUTOFMEMORY, copying nothing:
  /// the platform's copy fails after it has allocated the new record.
  void FailRecordCopy(bool fail) noexcept { m_copyFails = fail; }

  HRESULT STDMETHODCALLTYPE RecordInit(PVOID record) override;
  HRESULT STDMETHODCALLTYPE RecordClear(PVOID record) override;
  HRESULT STDMETHODCALLTYPE RecordCopy(PVOID from, PVOID to) override;
  HRESULT STDMETHODCALLTYPE GetGuid(GUID *guid) override;
  HRESULT STDMETHODCALLTYPE GetName(BSTR *name) override;
  HRESULT STDMETHODCALLTYPE GetSize(ULONG *size) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo **info) override;
  HRESULT STDMETHODCALLTYPE GetField(PVOID, LPCOLESTR, VARIANT *) override;
  HRESULT STDMETHODCALLTYPE GetFieldNoCopy(PVOID, LPCOLESTR, VARIANT *, PVOID *) override;
  HRESULT STDMETHODCALLTYPE PutField(ULONG, PVOID, LPCOLESTR, VARIANT *) override;
  HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG, PVOID, LPCOLESTR, VARIANT *) override;
  HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG *, BSTR *) override;
  BOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo *other) override;
  PVOID STDMETHODCALLTYPE RecordCreate() override;
  HRESULT STDMETHODCALLTYPE RecordCreateCopy(PVOID from, PVOID *to) override;
  HRESULT STDMETHODCALLTYPE RecordDestroy(PVOID record) override;

private:
  friend ComObject;
  static const VariantCollection::InterfaceEntry<ClientRecordInfo> kInterfaces[];

  ClientRecordInfo() noexcept;
  ~ClientRecordInfo();

  bool m_sizeFails = false;
  bool m_copyFails = false;
};

} // namespace ServerTest

#endif // VARIANT_COLLECTION_TESTS_SUPPORT_CLIENTOBJECTS_H
