//===- ClientObjects.cpp - Objects a client hands to the server -----------===//

#include "ClientObjects.h"

#include <windows.h>

namespace ServerTest {

namespace {
long g_liveObjects = 0;
long g_liveRecordInfos = 0;
long g_liveRecords = 0;
} // namespace

const VariantCollection::InterfaceEntry<ClientObject> ClientObject::kInterfaces[] = {
    {&IID_IUnknown, &VariantCollection::InterfaceOf<IDispatch>},
    {&IID_IDispatch, &VariantCollection::InterfaceOf<IDispatch>},
    {nullptr, nullptr},
};

ClientObject::ClientObject(long id) noexcept : m_id(id) { ++g_liveObjects; }

ClientObject::~ClientObject() { --g_liveObjects; }

ClientObject *ClientObject::Create(long id) { return New(id).Detach(); }

long ClientObject::Live() noexcept { return g_liveObjects; }

HRESULT STDMETHODCALLTYPE ClientObject::GetTypeInfoCount(UINT *count) {
  if (count == nullptr)
    return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClientObject::GetTypeInfo(UINT, LCID, ITypeInfo **info) {
  if (info != nullptr)
    *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ClientObject::GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ClientObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *,
                                               UINT *) {
  return E_NOTIMPL;
}

const VariantCollection::InterfaceEntry<ClientRecordInfo> ClientRecordInfo::kInterfaces[] = {
    {&IID_IUnknown, &VariantCollection::InterfaceOf<IRecordInfo>},
    {&IID_IRecordInfo, &VariantCollection::InterfaceOf<IRecordInfo>},
    {nullptr, nullptr},
};

ClientRecordInfo::ClientRecordInfo() noexcept { ++g_liveRecordInfos; }

ClientRecordInfo::~ClientRecordInfo() { --g_liveRecordInfos; }

ClientRecordInfo *ClientRecordInfo::Create() { return New().Detach(); }

long ClientRecordInfo::Live() noexcept { return g_liveRecordInfos; }

long ClientRecordInfo::LiveRecords() noexcept { return g_liveRecords; }

HRESULT STDMETHODCALLTYPE ClientRecordInfo::RecordInit(PVOID record) {
  if (record == nullptr)
    return E_INVALIDARG;
  ++g_liveRecords;
  static_cast<Record *>(record)->number = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::RecordClear(PVOID record) {
  if (record == nullptr)
    return E_INVALIDARG;
  --g_liveRecords;
  static_cast<Record *>(record)->number = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::RecordCopy(PVOID from, PVOID to) {
  if (from == nullptr || to == nullptr)
    return E_INVALIDARG;
  if (m_copyFails)
    return E_OUTOFMEMORY;
  ++g_liveRecords;
  *static_cast<Record *>(to) = *static_cast<const Record *>(from);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::GetGuid(GUID *guid) {
  if (guid == nullptr)
    return E_POINTER;
  *guid = GUID_NULL;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::GetName(BSTR *name) {
  if (name == nullptr)
    return E_POINTER;
  *name = SysAllocString(L"ClientRecord");
  return *name != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::GetSize(ULONG *size) {
  if (size == nullptr)
    return E_POINTER;
  if (m_sizeFails)
    return E_OUTOFMEMORY;
  *size = sizeof(Record);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::GetTypeInfo(ITypeInfo **info) {
  if (info != nullptr)
    *info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::GetField(PVOID, LPCOLESTR, VARIANT *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ClientRecordInfo::GetFieldNoCopy(PVOID, LPCOLESTR, VARIANT *, PVOID *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ClientRecordInfo::PutField(ULONG, PVOID, LPCOLESTR, VARIANT *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ClientRecordInfo::PutFieldNoCopy(ULONG, PVOID, LPCOLESTR, VARIANT *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ClientRecordInfo::GetFieldNames(ULONG *, BSTR *) { return E_NOTIMPL; }

BOOL STDMETHODCALLTYPE ClientRecordInfo::IsMatchingType(IRecordInfo *other) { return other == this; }

PVOID STDMETHODCALLTYPE ClientRecordInfo::RecordCreate() {
  void *record = CoTaskMemAlloc(sizeof(Record));
  if (record != nullptr)
    RecordInit(record);
  return record;
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::RecordCreateCopy(PVOID from, PVOID *to) {
  if (to == nullptr)
    return E_POINTER;
  *to = CoTaskMemAlloc(sizeof(Record));
  if (*to == nullptr)
    return E_OUTOFMEMORY;
  return RecordCopy(from, *to);
}

HRESULT STDMETHODCALLTYPE ClientRecordInfo::RecordDestroy(PVOID record) {
  if (record == nullptr)
    return S_OK;
  HRESULT status = RecordClear(record);
  CoTaskMemFree(record);
  return status;
}

} // namespace ServerTest
